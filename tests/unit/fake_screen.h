// A recording stand-in for the host's screen, meter, requesters and input
// fields: every drawing call is kept with its coordinates and colour.
#ifndef VX_FAKE_SCREEN_H
#define VX_FAKE_SCREEN_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "editor/state.h"
#include "operator/host/vxgui.h"

struct ScreenCall {
    std::string name;             // fill, line, pixel, rect, box, picture
    int x0, y0, x1, y1;           // corners; x, y, w, h of a picture
    int mode;                     // fill and box mode; bytes per row of a picture
    uint32_t colour;              // colour set when the call was made
    std::vector<uint32_t> pixels; // picture content
};

struct FakeGadget {
    int kind; // VG_GADGET_*
    int x, y, w, h;
    int32_t minimum, maximum, value;
    uint32_t flags;
    const char *text;
    void *image;
    int32_t handle;
    int32_t key; // shortcut bound with attribute 57
    bool enabled;
};

// One scripted message; fill() may read the editor's record (layout,
// handles) when the message is delivered.
struct ScriptStep {
    EditorMessage (*fill)(const EditorState &ed, const ScriptStep &step);
    int a, b = 0, c = 0;
};

struct FakeScreen {
    std::vector<ScreenCall> calls;
    uint32_t colour = 0;
    std::vector<std::string> meter; // "open N", "update W S", "close"
    // Input fields: width x height, pixel value fieldValue(input, frame, i).
    int fieldWidth = 0, fieldHeight = 0;
    std::set<uint32_t> missingFrames;
    int liveImages = 0;
    int textAnswer = 1;
    std::vector<std::string> texts;
    // GUI metrics and records of the editor's screen.
    int screenWidth = 1024, screenHeight = 768, fontHeight = 14, addHeight = 4, guiMode = 0;
    std::vector<FakeGadget> gadgets;
    std::vector<std::vector<int>> panels; // x, y, w, h, flags
    std::vector<ScriptStep> script;
    const EditorState *editor = nullptr; // the editor the script drives
    size_t nextStep = 0;
    int previews = 0, requestsDeleted = 0;
    bool noImage = false, noQueue = false;

    std::vector<ScreenCall> named(const std::string &name) const;
    FakeGadget *gadget(int32_t handle);
};
// Distinct colours per palette (0 classic, 1 new) and number.
inline uint32_t fakeGuiColour(int palette, int n)
{
    return 0xC0000000u | (uint32_t)palette << 16 | (uint32_t)n;
}
// Pixel i of an input field of frame: differs per input, frame and pixel.
inline uint32_t fieldValue(int input, uint32_t frame, int i)
{
    return (0x01010101u * (uint32_t)(frame * 16 + input * 7)) ^
           ((uint32_t)i * 0x9E3779B1u & 0x0F0F0F0Fu);
}

// Installs the fake on top of the current services table.
void installFakeScreen(FakeScreen &screen);

#endif
