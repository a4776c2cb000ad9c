// A real window (SDL2) showing the stand-in screen; the mouse and the
// keyboard become the screen's input. Without SDL2 in the build there is
// no window and openWindow says so.
#ifndef VXH_WINDOW_H
#define VXH_WINDOW_H

#include <cstdint>
#include <string>

#include "host/gui/screen.h"

namespace vxh {

bool openWindow(const Screen &screen, std::string &err);
// Shows the screen as it is now.
void showWindow(const Screen &screen);
// Shows the screen, then waits up to timeout ms (-1: until something
// happens) and turns what happened into input of the screen. False when
// the window is gone.
bool pumpWindow(Screen &screen, int timeout);
// A modal question in the window with one button (OK) or two (OK,
// Cancel): 1 for the first, 0 for the other or a closed window.
int askInWindow(Screen &screen, const std::string &text, int buttons);

// Where a requester of askInWindow sits and its text, wrapped to fit the
// screen; the text is drawn from (x + kRequesterMargin, y + 16) in a box of
// w - 2 x kRequesterMargin, which leaves every line room for the ink that
// passes its last glyph's advance.
constexpr int kRequesterMargin = 20;
struct RequesterBox {
    int x = 0, y = 0, w = 0, h = 0;
    std::string text;
};
RequesterBox requesterBox(const Screen &screen, const std::string &text);
// Frames played in the window as they come, one per frame time; any key or
// click ends the playback early (later frames are not shown).
struct Playback {
    uint32_t frameMs = 40; // how long each frame shows
    uint32_t due = 0;      // when the next frame may show (0: at once)
    bool ended = false;
};
// Shows a frame of w x h host pixels once the one before has had its time.
void playFrame(Playback &playback, const uint32_t *frame, int w, int h);
// Lets the last frame have its time.
void endPlayback(Playback &playback);
void closeWindow();

// The key code of an SDL key with its modifiers (see README), 0 for keys
// that give none.
uint32_t keyCode(int sym, int scancode, unsigned modifiers);

} // namespace vxh

#endif
