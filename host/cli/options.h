// The options of `vxhost render` and `vxhost edit`, parsed through one
// table: one row per option with its value, range, message and the
// commands that take it.
#ifndef VXH_OPTIONS_H
#define VXH_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/core/session.h"
#include "host/io/input.h"
#include "host/io/media.h"
#include "host/io/planes.h"

namespace vxh {

enum class FieldOrder { FromInput, TopFirst, BottomFirst };
// How frames reach the operator: as two fields each or whole (progressive).
// FromEffect picks by the effect file's picture size, fields when it tells
// nothing; a run replaces it by what it picked.
enum class Scan { FromEffect, Interlaced, Progressive };

struct RenderOptions {
    std::string plugin;
    std::string output;
    std::string input0, input1; // empty: the built-in sample clips; "-": standard input
    long fields = -1;           // -1: two per frame of input 0
    std::string effect;         // instance name; empty: "untitled"
    int projectWidth = 0, projectHeight = 0; // 0: input 0's frame size
    bool projectSize = false;                // flags bit 0 on the first render
    std::vector<GadgetUse> gadgets;
    std::vector<std::string> replies;
    bool quiet = false;
    FieldOrder order = FieldOrder::FromInput;
    Scan scan = Scan::FromEffect;
    PixFmt pixFmt = PixFmt::Yuva444;
    bool pixFmtGiven = false;            // else media files are written in 4:2:0
    std::string codec;                   // media output encoder; empty: H.264
    int crf = -1;                        // media output quality; -1: the encoder's default
    AudioMode audio = AudioMode::Input0; // the sound of a media output
    int64_t maxPixels = kDefaultMaxPixels;
    bool strict = false; // warnings and journal lines fail the run
    bool allowDefaultEffect = false;
    bool fresh = false; // defaults instead of the saved state, which stays untouched
    long rangeBegin = -1, rangeEnd = -1; // output fields [begin, end); -1: all
    int jobs = 1;
    std::string workerState; // set in worker processes: state to render with
    // vxhost farm: the clip's parts rendered as a Slurm job array into the
    // folder `work`, then joined. Submitting when parts or framesPerPart is set.
    struct Farm {
        int parts = 0;
        long framesPerPart = 0;
        std::string work;
        std::vector<std::string> sbatch;     // passed to sbatch as they are
        std::vector<std::string> renderArgs; // the render's own, for the join
    } farm;
    std::string fromParts; // set in a farm's join: the folder whose parts make the output
};

// What only the editor takes.
struct EditSettings {
    std::string script, screenshot, layout, previewOut;
    int width = 1024, height = 768, guiMode = 3;
    bool window = false;
};

// Parses the arguments after "render"; false with a one-line message.
bool parseRenderArgs(const std::vector<std::string> &args, RenderOptions &options,
                     std::string &err);
// Parses the arguments after "edit": render's inputs, fields and instance,
// and the editor's own; false with a one-line message.
bool parseEditArgs(const std::vector<std::string> &args, RenderOptions &options, EditSettings &edit,
                   std::string &err);

} // namespace vxh

#endif
