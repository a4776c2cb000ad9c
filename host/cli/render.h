// `vxhost render`: drives one plug-in instance over a clip like a host does,
// reading input frames when the plug-in asks for them and writing output
// frames as they are delivered.
#ifndef VXH_RENDER_H
#define VXH_RENDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/clipio.h"
#include "host/hostcore.h"
#include "host/stream.h"

namespace vxh {

struct GadgetUse {
    int index = 0;
    bool hasValue = false;
    int value = 0;
    // As typed: a gadget index or label, and a number or popup entry text;
    // resolved against the descriptor by resolveGadgets.
    std::string target, setting;
};

enum class FieldOrder { FromInput, TopFirst, BottomFirst };

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
    bool progressive = false; // one field per frame, the whole frame
    PixFmt pixFmt = PixFmt::Yuva444;
    bool pixFmtGiven = false; // else media files are written in 4:2:0
    std::string codec;        // media output encoder; empty: H.264
    int crf = -1;             // media output quality; -1: the encoder's default
    int64_t maxPixels = kDefaultMaxPixels;
    bool strict = false; // warnings and journal lines fail the run
    bool allowDefaultEffect = false;
    bool fresh = false; // defaults instead of the saved state, which stays untouched
    long rangeBegin = -1, rangeEnd = -1; // output fields [begin, end); -1: all
    int jobs = 1;
    std::string workerState; // set in worker processes: state to render with
};

// Parses the arguments after "render"; false with a one-line message.
bool parseRenderArgs(const std::vector<std::string> &args, RenderOptions &options,
                     std::string &err);
// Resolves labels and entry texts of --gadget and checks every use against
// the descriptor (gadget present, value in range). False with a message.
bool resolveGadgets(const OpTagItem *tags, std::vector<GadgetUse> &uses, std::string &err);

// Runs the render; returns the exit code (0 ok, 1 the plug-in failed,
// 2 bad arguments or input, 128+n interrupted by signal n). Messages go to
// stderr.
int runRender(const RenderOptions &options, const char *self);

// An effect operator (its parameter block is the editor's 28 bytes) keeps
// an effect file.
bool usesEffectFile(const OpTagItem *tags);

// Whether the effect file at path loads for fields of fieldW x fieldH, as
// the plug-in reads it; fault says why not.
enum class EffectFileState { FITS, MISSING, UNUSABLE };
EffectFileState inspectEffectFile(const std::string &path, int fieldW, int fieldH,
                                  std::string &fault);

// Makes sure VXHOME names a directory: when unset, a per-user data
// directory is used (and said); a directory made now is said too. False
// with a message when none can be made.
bool ensureHome(std::string &err);

// How frames become fields: top field first (field 2k = even lines),
// bottom field first (field 2k = odd lines), or progressive (field k =
// frame k). An odd frame height is padded by repeating the last line.
struct FieldPlan {
    int width = 0, height = 0; // frame size
    bool progressive = false, bottomFirst = false;
    int fieldWidth = 0, fieldHeight = 0;
};
FieldPlan planFields(int width, int height, bool progressive, bool bottomFirst);
void extractField(const FieldPlan &plan, const uint32_t *frame, uint32_t field, Picture &pic);
// Weaves the pictures of fields 2k and 2k+1 (first, second) into a frame of
// the plan's size, dropping a padding line.
void weaveFrame(const FieldPlan &plan, const Picture &first, const Picture &second,
                std::vector<uint32_t> &frame);

// Renders in memory (for tests and benchmarks): install, gadgets, set-up,
// one render per field, tear-down, over whole clips. Fills out (frames
// woven from the output fields). On a failed render returns false with a
// message naming the field and the journal line.
bool renderClip(Plugin &plugin, Host &host, const RenderOptions &options, const Clip &in0,
                const Clip &in1, Clip &out, std::string &err);

} // namespace vxh

#endif
