// The stand-in host's screen: an RGB framebuffer the GUI library draws into,
// the panels and gadgets of the open request, the request's message queue
// and the input that feeds it (a script, a window, or a test).
#ifndef VXH_SCREEN_H
#define VXH_SCREEN_H

#include <csignal>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/core/stopflag.h"
#include "operator/host/vxgui.h"
#include "platform/services.h"

namespace vxh {

// Key codes: a printable key gives its character (letters lower case),
// other keys 0xE000 + n; modifier bits are added. No code with a modifier
// bit or above 0xE000 collides with a plain character.
enum : uint32_t {
    KEY_ESCAPE = 0xE001,
    KEY_DELETE = 0xE002,
    KEY_INSERT = 0xE003,
    KEY_LEFT = 0xE004,
    KEY_RIGHT = 0xE005,
    KEY_UP = 0xE006,
    KEY_DOWN = 0xE007,
    KEY_TAB = 0xE008,
    KEY_BACKSPACE = 0xE009,
    KEY_HOME = 0xE00A,
    KEY_END = 0xE00B,
    KEY_PAGE_UP = 0xE00C,
    KEY_PAGE_DOWN = 0xE00D,
    KEY_RETURN = 0xE00E,
    KEY_F1 = 0xE010, // F1..F12: 0xE010..0xE01B
    KEY_CTRL = 0x20000,
    KEY_ALT = 0x100000,
    KEY_SHIFT = 0x200000,
    KEY_SUPER = 0x40000000,
    KEY_KEYPAD = 0x80000000,
};

struct Panel {
    int32_t handle = 0;
    int x = 0, y = 0, w = 0, h = 0;
    uint32_t flags = 0;
    bool removed = false;
};

struct Gadget {
    int32_t handle = 0;
    int kind = 0; // VG_GADGET_*
    int x = 0, y = 0, w = 0, h = 0;
    const VxResImage *image = nullptr; // read only while its table is loaded
    int imageId = -1, imageTable = 0;  // its id and table (0 "vorlux_ops", 1 host)
    std::string text;                  // button text, slider or check box label
    int textId = -1;                   // resource id of the text, -1 when it is none
    std::vector<std::string> entries;  // popup
    int32_t minimum = 0, maximum = 0, value = 0;
    uint32_t flags = 0;
    int group = 0; // toggle group (0: none)
    void (*formatter)(int32_t, char *, int32_t) = nullptr;
    uint32_t key = 0; // shortcut key code (0: none)
    bool enabled = true;
    bool pressed = false; // drawn pushed in while the button is held
    bool removed = false; // its request was closed
};

// Pixel positions inside the open popup menu.
struct PopupMenu {
    int gadget = -1; // index into gadgets, -1: closed
    int x = 0, y = 0, w = 0, h = 0;
    int hover = -1;
    std::vector<uint8_t> under; // screen pixels the menu covers
};

struct Meter {
    bool open = false;
    std::string title;
    int steps = 0, done = 0;
    int x = 0, y = 0, w = 0, h = 0;
    std::vector<uint8_t> under;
};

struct Screen {
    int width = 1024, height = 768;
    std::vector<uint8_t> rgb; // width * height * 3
    uint8_t colour[3] = {255, 255, 255};
    int guiMode = 3, videoMode = 0, defaultMonitor = 0;
    bool busy = false;

    std::vector<Panel> panels;
    std::vector<Gadget> gadgets;
    int32_t nextHandle = 1;

    // Message queues (msgQCreate): handle -> capacity in messages.
    std::map<uint32_t, int> queues;
    uint32_t nextQueue = 1;
    // The open request: its handle (0 none) and queue.
    uint32_t request = 0;
    uint32_t requestQueue = 0;
    uint32_t nextRequest = 1;
    std::deque<EditorMessage> messages;
    int droppedMessages = 0;
    // Set by the host when a signal asks the editor to leave: a waiting
    // requester then answers as cancelled.
    const StopFlag *stop = nullptr;
    // The user closed the editor (the window's close button, a script's
    // close line) rather than leaving it through its own gadgets.
    bool closedByUser = false;
    // Called when a receive finds the queue empty: delivers more input
    // (which posts messages). False when no input is left; the receive
    // then fails. timeout -1 waits, 0 only polls.
    std::function<bool(int timeout)> waitInput;

    // Input state.
    int active = -1; // gadget held by the left button
    int focus = -1;  // slider the arrow keys move
    bool dragged[2] = {false, false};
    PopupMenu popup;
    Meter meter;
    bool meterOnStderr = true; // progress lines on stderr too
    // Shows the screen where a person sees it (a window), e.g. while the
    // meter runs; unset headless.
    std::function<void()> present;
};

// ---- framebuffer (screen.cpp) ----

// Sizes the screen (sides 64..8192) and paints it with the background.
bool initScreen(Screen &s, int width, int height);
// True once the framebuffer is allocated; drawing on a screen that is not
// does nothing.
bool screenReady(const Screen &s);
void setColourRgb(Screen &s, uint8_t r, uint8_t g, uint8_t b);
void setColourYuva(Screen &s, uint32_t yuva);
// The colour of palette 0 (classic) or 1 (new) entry n, as packed YUVA.
uint32_t paletteColour(int palette, int n);
// Background colour of fill mode (0 screen, others the panels' inside).
uint32_t backgroundColour(const Screen &s, int mode);
void putPixel(Screen &s, int x, int y);
// Inclusive corners in any order; clipped.
void fillRect(Screen &s, int x0, int y0, int x1, int y1);
void drawLine(Screen &s, int x0, int y0, int x1, int y1);
void drawFrame(Screen &s, int x0, int y0, int x1, int y1);
// Width and height.
void drawYuva(Screen &s, const uint32_t *pixels, int bytesPerRow, int x, int y, int w, int h);
void drawImage(Screen &s, const VxResImage *image, int x, int y);
void drawPanel(Screen &s, const Panel &panel);
// Raised (or sunken) bevel around the rectangle x, y, w, h.
void drawBevel(Screen &s, int x, int y, int w, int h, bool sunken);
// The RGB of pixel (x, y); 0 outside.
uint32_t pixelRgb(const Screen &s, int x, int y);
// Saves or restores a rectangle of the framebuffer (clipped).
std::vector<uint8_t> saveArea(const Screen &s, int x, int y, int w, int h);
void restoreArea(Screen &s, const std::vector<uint8_t> &pixels, int x, int y, int w, int h);

// ---- text (font.cpp) ----

constexpr int kFontHeight = 15; // line height the metrics report
constexpr int kAddHeight = 4;   // added around text in gadgets

// Width in pixels of text in the screen font.
int textWidth(const std::string &text);
// The text with its lines broken between words so that each is at most
// width pixels wide (a longer word keeps a line of its own).
std::string wrapText(const std::string &text, int width);
// Draws text with its top-left corner at (x, y), in the current colour,
// clipped to the screen and to the clip rectangle (inclusive corners).
void drawText(Screen &s, const std::string &text, int x, int y, int cx0, int cy0, int cx1, int cy1);
// Text in a box, clipped to it: flags 0x01 tab behind the text, 0x04
// right aligned, 0x08 centred, 0x10 centred vertically; lines break at \n.
void drawBoxText(Screen &s, const std::string &text, int x, int y, int w, int h, uint32_t flags);
// True when a font was found (text is drawn).
bool fontAvailable();

// ---- gadgets and input (gadgets.cpp) ----

int32_t addGadget(Screen &s, const VxGadgetInfo &info);
int changeGadget(Screen &s, int32_t handle, int attribute, int32_t value, int redraw);
void enableGadget(Screen &s, int32_t handle, bool enable);
void drawGadget(Screen &s, const Gadget &g);
int findGadget(const Screen &s, int32_t handle);  // index or -1
int gadgetAt(const Screen &s, int x, int y);      // index or -1
int gadgetWithKey(const Screen &s, uint32_t key); // index or -1

void postMessage(Screen &s, int type, uint32_t code, int x, int y, int32_t value);
void postButton(Screen &s, int button, int x, int y);
// User input; button 0 left, 1 right.
void pressMouse(Screen &s, int x, int y, int button);
void moveMouse(Screen &s, int x, int y);
void releaseMouse(Screen &s, int x, int y, int button);
void pressKey(Screen &s, uint32_t code);
void closeScreen(Screen &s);
// The user sets gadget index to value: its message; with release also the
// left release over it (a mouse use), else alone (keyboard use).
void useGadget(Screen &s, int index, int32_t value, bool release);
// The next message; 0, or -1 when none is left (no open request, or the
// input is exhausted, or nothing came within the timeout).
int receiveMessage(Screen &s, EditorMessage &message, int timeout);

// ---- requests and meter (gui.cpp) ----

uint32_t createQueue(Screen &s, int count, int size);
int openRequest(Screen &s, RequestRecord *record);
int closeRequest(Screen &s, RequestRecord *record);
void openMeter(Screen &s, const MeterRecord *meter);
void updateMeter(Screen &s, int step);
void closeMeter(Screen &s);
// "frame (h:mm:ss:ff)" at 25 frames per second.
void formatFramesTime(int32_t value, char *buffer, int32_t size);
// The whole layout as JSON (panels and gadgets created, with their ids).
std::string layoutJson(const Screen &s);

} // namespace vxh

#endif
