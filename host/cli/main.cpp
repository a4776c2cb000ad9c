// vxhost: the command-line stand-in host. One table row per command.
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <string>

#include "host/cli/autokey.h"
#include "host/cli/commands.h"
#include "host/cli/edit.h"

#ifndef VX_VERSION
#define VX_VERSION "1.1"
#endif

namespace {

int editCommand(int argc, char **argv)
{
    return vxh::runEdit(std::vector<std::string>(argv, argv + argc));
}

struct Command {
    const char *name;
    int (*run)(int argc, char **argv);
    const char *usage;   // the synopsis
    const char *summary; // one line: what the command does (null: the synopsis says it)
    const char *options; // shown by CMD --help
};

const Command commands[] = {
    {"info", vxh::infoCommand, "vxhost info PLUGIN",
     "descriptor, gadgets and parameter block defaults",
     "Prints the plug-in's descriptor, gadgets and parameter block defaults.\n"},
    {"render", vxh::renderMain, "vxhost render PLUGIN -o OUT [options]", "render a clip",
     "  -o OUT                  .y4m file, - (standard output), a FIFO, a PNG pattern\n"
     "                          such as out_%04d.png, or a media file (.mp4, .mov, .mkv,\n"
     "                          .avi, ...: any container FFmpeg's libraries write)\n"
     "  --input0 FILE, --input1 FILE\n"
     "                          YUV4MPEG2 file or stream (- is standard input), PNG still,\n"
     "                          PNG pattern, or a media file (MP4, MOV, MKV, ...);\n"
     "                          without them the built-in sample clips; a plug-in of two\n"
     "                          inputs given --input0 needs --input1 (sample: the sample clip)\n"
     "  --fields N              fields to render (default: every field of input 0)\n"
     "  --range A:B             render output fields A..B-1 only (A and B on frame boundaries)\n"
     "  --jobs N                split the clip across N worker processes (output identical)\n"
     "  --effect NAME           instance name; its effect file is $VXHOME/programs/vorlux/NAME\n"
     "  --allow-default-effect  render the default effect when NAME's file is missing or does not "
     "fit\n"
     "  --project WxH           project frame size (default: input 0's)\n"
     "  --project-size          the first render prepares the effect at the project size\n"
     "  --gadget G=V            set gadget G (index 0..3 or label) to V (number or popup entry), "
     "then use it\n"
     "  --press G               use gadget G without a value\n"
     "  --reply TEXT            queued answer for the next requester (file names without / or ..)\n"
     "  --fresh                 render from the defaults; the saved instance state is not read or "
     "written\n"
     "  --top-first, --bottom-first\n"
     "                          field order (default: the input's I tag; top first when absent)\n"
     "  --progressive           whole frames: one picture a frame (the effect made for the\n"
     "                          frame size); without it and --interlaced, the effect's size\n"
     "                          picks: the frame size gives whole frames, else two fields\n"
     "  --interlaced            two fields a frame, whatever the effect's size\n"
     "  --pix-fmt F             output chroma: 444alpha (.y4m default: exact host bytes),\n"
     "                          444 or 420 (media file default; H.264 needs even sizes)\n"
     "  --audio A               sound of a media file output: input0 (default: input 0's,\n"
     "                          copied), mix (transitions: input 1's mixed in as the\n"
     "                          picture dissolves) or none\n"
     "  --codec NAME            encoder of a media file output (default: H.264)\n"
     "  --crf N                 its quality, 0 (best) to 63 (default: 23 for H.264)\n"
     "  --max-pixels N          largest picture accepted (default 67108864)\n"
     "  --strict                warnings and journal lines fail the run\n"
     "  -q                      no progress bar\n"},
    {"farm", vxh::farmMain, "vxhost farm PLUGIN -o OUT (--parts N | --frames-per-part K) [options]",
     "render on a Slurm cluster; farm status|resume DIR",
     "Checks the render as vxhost render does, then queues it on a Slurm cluster: a job array\n"
     "of one task per part (each renders its fields into DIR/parts/ as a --jobs worker does)\n"
     "and a join that writes OUT once every part is there. It prints the two job IDs.\n"
     "  --parts N               split the clip into N parts\n"
     "  --frames-per-part K     or into parts of K frames\n"
     "  --work DIR              the farm folder, on the shared file system (default OUT.farm)\n"
     "  --sbatch ARG            passed to sbatch (partition, time limit, memory, account);\n"
     "                          repeat for more\n"
     "  and every option of vxhost render but --jobs and --range.\n"
     "vxhost farm status DIR    which parts are done, queued, running or failed, and the join\n"
     "vxhost farm resume DIR [--sbatch ARG]...\n"
     "                          queues again the parts that failed or are missing, and the join\n"},
    {"edit", editCommand, "vxhost edit PLUGIN [options]", "open the plug-in's editor",
     "  Render's options that edit takes, as render takes them:\n"
     "  --input0 FILE, --input1 FILE, --fields N, --effect NAME, --project WxH,\n"
     "  --top-first, --bottom-first, --progressive, --interlaced, --reply TEXT,\n"
     "  --allow-default-effect, --max-pixels N, -q\n"
     "  The editor's own:\n"
     "  --script FILE           headless: one event a line, one of\n"
     "                            click X Y [left|right]; press X Y [left|right];\n"
     "                            release X Y [left|right]; move X Y; key CODE;\n"
     "                            gadget NAME VALUE; set NAME VALUE; screenshot FILE.png;\n"
     "                            wait MS; close\n"
     "  --window                show the screen in a window; mouse and keys drive the editor\n"
     "  --screenshot FILE.png   the screen as the editor leaves it\n"
     "  --dump-layout FILE.json every panel and gadget created\n"
     "  --screen WxH            screen size (default 1024x768)\n"
     "  --gui-mode N            GUI mode reported to the editor (default 3)\n"
     "  --preview-out DIR       frames of each preview as PNG\n"
     "  Ctrl-C (or kill) leaves the effect file as it was and keeps the session's keys\n"
     "  in NAME.recovered beside it.\n"},
    {"state", vxh::stateCommand, "vxhost state PLUGIN [--effect NAME] [--reset]",
     "an instance's saved settings, decoded; --reset restores the defaults",
     "Shows an instance's saved parameter block decoded and its gadget values;\n"
     "--reset restores the defaults.\n"},
    {"effects", vxh::effectsCommand, "vxhost effects [--like CLIP]",
     "the effect files with keys, frames, size and mode (fields or whole frames)",
     "Lists the effect files below $VXHOME/programs/vorlux/ with keys, frames, picture size\n"
     "and mode: fields (of frames twice as high) or whole frames. --like CLIP says for each\n"
     "whether it fits the clip's fields or whole frames, and if neither, how to resize it.\n"},
    {"sample-effect", vxh::sampleEffectCommand,
     "vxhost sample-effect NAME [--size WxH] [--frames N] [--like CLIP] [--progressive] [--force]",
     "a demo effect, for fields or whole frames",
     "Writes a demo effect for fields of WxH (default 720x288) over N frames (default 50).\n"
     "  --progressive           for whole frames of WxH (default 720x576): one picture a frame\n"
     "  --interlaced            for fields, even when --like's clip is progressive\n"
     "  --like CLIP             the clip's size and length: its whole frames when the clip is\n"
     "                          progressive, else its fields\n"
     "An existing effect is kept unless --force is given.\n"},
    {"effect", vxh::effectCommand,
     "vxhost effect resize FROM TO [--size WxH] [--frames N] [--like CLIP] [--progressive] "
     "[--force]",
     "a copy of an effect for another picture size and/or length",
     "Writes effect TO, a copy of effect FROM for pictures of WxH and/or N frames, so that an\n"
     "effect painted on a proxy renders the original, or a field effect renders whole frames\n"
     "(960x270 fields <-> 960x540 frames). Each key's mesh is resampled over the new nodes with\n"
     "its displacements scaled to the new size, its frame moved as loading into a clip of N\n"
     "frames moves it, and its level kept. Without --size the size stays; without --frames the\n"
     "length stays. --like CLIP takes the clip's size and length (whole frames for a\n"
     "progressive clip or with --progressive, else fields; --interlaced forces fields).\n"
     "An existing TO is kept unless --force is given.\n"},
    {"auto-key", vxh::autoKeyCommand,
     "vxhost auto-key PLUGIN -i IN0 -i IN1 --frames F[,F...] [options]",
     "morph or draw keys found from the pictures by optical flow",
     "At each frame F, finds the mesh that warps input 0's picture onto input 1's by dense\n"
     "optical flow (from input 1 to input 0), smooths it where the flow is unreliable, and\n"
     "writes it as the key on F of the instance's effect (a new key, or the one on F\n"
     "replaced); the other keys stay. A missing effect is started as the plug-in starts it.\n"
     "PLUGIN is morph or draw (input 0 onto its guide, input 1). Prints per key the flow's\n"
     "mean displacement, the share of unreliable nodes and the luma difference before and\n"
     "after the warp; then `vxhost edit` refines the keys.\n"
     "  -i FILE, --input0 FILE, --input1 FILE\n"
     "                          the two inputs (the first -i is input 0), of one size\n"
     "  --frames F[,F...]       the frames to key, from 0 to the clip's last\n"
     "  --effect NAME           instance name; its effect file is $VXHOME/programs/vorlux/NAME\n"
     "  --level L               the keys' level, 0..255 (default: the level the effect has\n"
     "                          at each frame)\n"
     "  --levels L[,L...]       one level per frame\n"
     "  --flow dis|farneback    the optical flow (default dis)\n"
     "  --progressive, --interlaced, --top-first, --bottom-first\n"
     "                          whole frames or fields, as render picks them\n"},
    {"samples", vxh::samplesCommand, "vxhost samples DIR",
     "write the two built-in sample clips as .y4m",
     "Writes the two built-in sample clips as .y4m.\n"},
    {"contact", vxh::contactCommand, "vxhost contact OUT.png CLIP...", "contact sheet of clips",
     "Writes a contact sheet of clips.\n"},
};

// One line of the usage: the synopsis, then its summary from column 42 (on
// the next line when the synopsis is longer).
void usageLine(FILE *out, const char *synopsis, const char *summary)
{
    const int column = 42;
    const int length = (int)strlen(synopsis);
    if (length + 2 <= column)
        fprintf(out, "%s%*s%s\n", synopsis, column - length, "", summary);
    else
        fprintf(out, "%s\n%*s%s\n", synopsis, column, "", summary);
}

// The usage, as the README's Usage block shows it.
void usage(FILE *out)
{
    for (const Command &c : commands)
        usageLine(out, c.usage, c.summary);
    usageLine(out, "vxhost --version", "the version");
    usageLine(out, "vxhost COMMAND --help", "that command's options");
}

// A render allocates and frees pictures of a whole frame for every field,
// in the plug-in as in the host. Left to its defaults the C library maps
// such blocks afresh or gives the heap's top back after each free, and
// faulting the pages in again took more time than the render itself. Kept
// in the heap, they are reused as they are.
void keepPicturesInTheHeap()
{
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
}

} // namespace

int main(int argc, char **argv)
{
    keepPicturesInTheHeap();
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string first = argv[1];
    if (first == "-h" || first == "--help" || first == "help") {
        usage(stdout);
        return 0;
    }
    if (first == "--version") {
        printf("vxhost %s\n", VX_VERSION);
        return 0;
    }
    for (const Command &c : commands) {
        if (first != c.name)
            continue;
        for (int i = 2; i < argc; ++i)
            if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
                printf("usage: %s\n%s", c.usage, c.options);
                return 0;
            }
        return vxh::guarded(c.run, argc - 2, argv + 2);
    }
    fprintf(stderr, "vxhost: unknown command '%s'\n", first.c_str());
    usage(stderr);
    return 2;
}
