// The screen in an SDL2 window: the framebuffer is shown 1:1, the mouse and
// the keyboard are the screen's input, the window's close button sends the
// close message.
#include "host/gui/window.h"

#ifdef VX_HAVE_SDL2
#include <SDL.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "host/core/pixels.h"

namespace vxh {

uint32_t keyCode(int sym, int scancode, unsigned modifiers)
{
#ifdef VX_HAVE_SDL2
    static const std::pair<int, uint32_t> special[] = {
        {SDLK_ESCAPE, KEY_ESCAPE},
        {SDLK_DELETE, KEY_DELETE},
        {SDLK_INSERT, KEY_INSERT},
        {SDLK_LEFT, KEY_LEFT},
        {SDLK_RIGHT, KEY_RIGHT},
        {SDLK_UP, KEY_UP},
        {SDLK_DOWN, KEY_DOWN},
        {SDLK_TAB, KEY_TAB},
        {SDLK_BACKSPACE, KEY_BACKSPACE},
        {SDLK_HOME, KEY_HOME},
        {SDLK_END, KEY_END},
        {SDLK_PAGEUP, KEY_PAGE_UP},
        {SDLK_PAGEDOWN, KEY_PAGE_DOWN},
        {SDLK_RETURN, KEY_RETURN},
        {SDLK_KP_ENTER, KEY_RETURN},
        {SDLK_KP_PERIOD, KEY_DELETE},
        {SDLK_KP_0, '0'},
        {SDLK_KP_1, '1'},
        {SDLK_KP_2, '2'},
        {SDLK_KP_3, '3'},
        {SDLK_KP_4, '4'},
        {SDLK_KP_5, '5'},
        {SDLK_KP_6, '6'},
        {SDLK_KP_7, '7'},
        {SDLK_KP_8, '8'},
        {SDLK_KP_9, '9'},
        {SDLK_KP_PLUS, '+'},
        {SDLK_KP_MINUS, '-'},
        {SDLK_KP_MULTIPLY, '*'},
        {SDLK_KP_DIVIDE, '/'},
    };
    uint32_t code = 0;
    if (sym >= 32 && sym < 127)
        code = static_cast<uint32_t>(sym >= 'A' && sym <= 'Z' ? sym - 'A' + 'a' : sym);
    else if (sym >= SDLK_F1 && sym <= SDLK_F12)
        code = KEY_F1 + static_cast<uint32_t>(sym - SDLK_F1);
    for (const auto &[key, value] : special)
        if (sym == key)
            code = value;
    if (!code)
        return 0;
    if (modifiers & KMOD_CTRL)
        code |= KEY_CTRL;
    if (modifiers & KMOD_ALT)
        code |= KEY_ALT;
    if (modifiers & KMOD_SHIFT)
        code |= KEY_SHIFT;
    if (modifiers & KMOD_GUI)
        code |= KEY_SUPER;
    if (scancode >= SDL_SCANCODE_KP_DIVIDE && scancode <= SDL_SCANCODE_KP_PERIOD)
        code |= KEY_KEYPAD;
    return code;
#else
    (void)sym, (void)scancode, (void)modifiers;
    return 0;
#endif
}

#ifdef VX_HAVE_SDL2

namespace {

struct Window {
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    SDL_Texture *texture = nullptr;
    int width = 0, height = 0;
    bool closed = false;
};

Window win;

void present(const uint8_t *rgb, int w, int h)
{
    if (!win.texture)
        return;
    SDL_Rect area{0, 0, w, h};
    SDL_UpdateTexture(win.texture, &area, rgb, w * 3);
    SDL_RenderClear(win.renderer);
    SDL_RenderCopy(win.renderer, win.texture, &area, &area);
    SDL_RenderPresent(win.renderer);
}

// Turns one SDL event into input of the screen.
void feed(Screen &s, const SDL_Event &e)
{
    switch (e.type) {
    case SDL_QUIT:
        if (!win.closed)
            closeScreen(s);
        s.closedByUser = true;
        win.closed = true;
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const int button = e.button.button == SDL_BUTTON_LEFT    ? 0
                           : e.button.button == SDL_BUTTON_RIGHT ? 1
                                                                 : -1;
        if (button < 0)
            break;
        if (e.type == SDL_MOUSEBUTTONDOWN)
            pressMouse(s, e.button.x, e.button.y, button);
        else
            releaseMouse(s, e.button.x, e.button.y, button);
        break;
    }
    case SDL_MOUSEMOTION:
        moveMouse(s, e.motion.x, e.motion.y);
        break;
    case SDL_KEYDOWN:
        if (uint32_t code = keyCode(e.key.keysym.sym, e.key.keysym.scancode, e.key.keysym.mod))
            pressKey(s, code);
        break;
    default:
        break;
    }
}

} // namespace

namespace {

// SDL falls back to drivers that show nothing when no display is reached;
// one of them is used only when SDL_VIDEODRIVER names it.
bool showsNothing(const char *driver)
{
    static const char *const invisible[] = {"offscreen", "dummy", "evdev"};
    for (const char *name : invisible)
        if (driver && !SDL_strcasecmp(driver, name))
            return true;
    return false;
}

} // namespace

bool openWindow(const Screen &s, std::string &err)
{
    // vxhost handles SIGINT and SIGTERM itself (leaving the editor safely).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        err = std::string("--window: no display to open a window on (") + SDL_GetError() +
              "); set DISPLAY or WAYLAND_DISPLAY, or run under xvfb-run";
        return false;
    }
    const char *driver = SDL_GetCurrentVideoDriver();
    if (showsNothing(driver) && !getenv("SDL_VIDEODRIVER")) {
        err = std::string("--window: no display to open a window on (SDL found only its '") +
              driver + "' driver); set DISPLAY or WAYLAND_DISPLAY, or run under xvfb-run";
        SDL_Quit();
        return false;
    }
    win = Window{};
    win.width = s.width, win.height = s.height;
    win.window = SDL_CreateWindow("vxhost", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, s.width,
                                  s.height, SDL_WINDOW_RESIZABLE);
    if (win.window)
        win.renderer = SDL_CreateRenderer(win.window, -1, 0);
    // A window resized by the user scales the screen; SDL hands the mouse
    // positions back in screen pixels.
    if (win.renderer)
        SDL_RenderSetLogicalSize(win.renderer, s.width, s.height);
    if (win.renderer)
        win.texture = SDL_CreateTexture(win.renderer, SDL_PIXELFORMAT_RGB24,
                                        SDL_TEXTUREACCESS_STREAMING, s.width, s.height);
    if (!win.texture) {
        err = std::string("no window: ") + SDL_GetError();
        closeWindow();
        return false;
    }
    showWindow(s);
    return true;
}

void showWindow(const Screen &s)
{
    static SDL_Cursor *arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
    static SDL_Cursor *wait = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_WAIT);
    if (SDL_Cursor *c = s.busy ? wait : arrow)
        SDL_SetCursor(c);
    present(s.rgb.data(), std::min(s.width, win.width), std::min(s.height, win.height));
}

bool pumpWindow(Screen &s, int timeout)
{
    if (!win.window || win.closed)
        return false;
    showWindow(s);
    SDL_Event e;
    if (!(timeout < 0 ? SDL_WaitEvent(&e) : SDL_WaitEventTimeout(&e, timeout)))
        return timeout >= 0;
    // Leave room in the queue for the messages one event makes.
    auto q = s.queues.find(s.requestQueue);
    const size_t room = q == s.queues.end() ? 0 : static_cast<size_t>(q->second);
    do {
        feed(s, e);
    } while (s.messages.size() + 3 <= room && SDL_PollEvent(&e));
    return true;
}

int askInWindow(Screen &s, const std::string &text, int buttons)
{
    const int palette = s.guiMode == 3 ? 1 : 0;
    const RequesterBox box = requesterBox(s, text);
    const int x = box.x, y = box.y, w = box.w, h = box.h;
    const int lines = (h - 76) / kFontHeight;
    const std::vector<uint8_t> under = saveArea(s, x, y, w, h);
    const uint8_t keep[3] = {s.colour[0], s.colour[1], s.colour[2]};
    setColourYuva(s, paletteColour(palette, 1));
    fillRect(s, x, y, x + w - 1, y + h - 1);
    drawBevel(s, x, y, w, h, false);
    setColourYuva(s, paletteColour(palette, 5));
    drawBoxText(s, box.text, x + kRequesterMargin, y + 16, w - 2 * kRequesterMargin,
                lines * kFontHeight, 0);
    const char *labels[2] = {"OK", "Cancel"};
    SDL_Rect hit[2];
    for (int b = 0; b < buttons; ++b) {
        hit[b] = {buttons == 1 ? x + (w - 90) / 2 : x + w / 2 - 100 + b * 110, y + h - 36, 90, 23};
        setColourYuva(s, paletteColour(palette, 11));
        fillRect(s, hit[b].x, hit[b].y, hit[b].x + hit[b].w - 1, hit[b].y + hit[b].h - 1);
        drawBevel(s, hit[b].x, hit[b].y, hit[b].w, hit[b].h, false);
        setColourYuva(s, paletteColour(palette, 5));
        drawBoxText(s, labels[b], hit[b].x, hit[b].y, hit[b].w, hit[b].h, 0x18);
    }
    setColourRgb(s, keep[0], keep[1], keep[2]);
    int result = -1;
    while (result < 0 && win.window) {
        showWindow(s);
        SDL_Event e;
        if (s.stop && *s.stop)
            result = 0;
        else if (!SDL_WaitEventTimeout(&e, 100))
            continue; // nothing happened: look at the stop again
        else if (e.type == SDL_QUIT) {
            SDL_PushEvent(&e); // the editor still gets its close
            result = 0;
        } else if (e.type == SDL_KEYDOWN &&
                   (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER)) {
            result = 1;
        } else if (e.type == SDL_KEYDOWN && e.key.keysym.sym == SDLK_ESCAPE) {
            result = buttons == 1;
        } else if (e.type == SDL_MOUSEBUTTONUP && e.button.button == SDL_BUTTON_LEFT) {
            SDL_Point p{e.button.x, e.button.y};
            for (int b = 0; b < buttons; ++b)
                if (SDL_PointInRect(&p, &hit[b]))
                    result = b == 0;
        }
    }
    restoreArea(s, under, x, y, w, h);
    showWindow(s);
    return result < 0 ? 0 : result;
}

namespace {

// Waits until the playback's due time; false when a key, click or close
// ended it (a close is passed on: the editor still gets it).
bool waitFrameTime(Playback &p)
{
    SDL_Event e;
    while (!p.ended && SDL_GetTicks() < p.due)
        if (SDL_WaitEventTimeout(&e, static_cast<int>(p.due - SDL_GetTicks())) &&
            (e.type == SDL_KEYDOWN || e.type == SDL_MOUSEBUTTONDOWN || e.type == SDL_QUIT)) {
            if (e.type == SDL_QUIT)
                SDL_PushEvent(&e);
            p.ended = true;
        }
    return !p.ended;
}

} // namespace

void playFrame(Playback &p, const uint32_t *frame, int width, int height)
{
    if (!win.texture || !waitFrameTime(p))
        return;
    const int w = std::min(width, win.width), h = std::min(height, win.height);
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *px = &rgb[(static_cast<size_t>(y) * w + x) * 3], a;
            yuvaToRgba(frame[static_cast<size_t>(y) * width + x], px[0], px[1], px[2], a);
        }
    present(rgb.data(), w, h);
    p.due = SDL_GetTicks() + p.frameMs;
}

void endPlayback(Playback &p)
{
    if (win.texture)
        waitFrameTime(p);
}

void closeWindow()
{
    if (win.texture)
        SDL_DestroyTexture(win.texture);
    if (win.renderer)
        SDL_DestroyRenderer(win.renderer);
    if (win.window)
        SDL_DestroyWindow(win.window);
    win = Window{};
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

#else

bool openWindow(const Screen &, std::string &err)
{
    err = "this vxhost was built without SDL2: no window";
    return false;
}
void showWindow(const Screen &) {}
bool pumpWindow(Screen &, int)
{
    return false;
}
int askInWindow(Screen &, const std::string &, int)
{
    return 0;
}
void playFrame(Playback &, const uint32_t *, int, int) {}
void endPlayback(Playback &) {}
void closeWindow() {}

#endif

RequesterBox requesterBox(const Screen &s, const std::string &text)
{
    // Room beside each line for the ink past its last advance and the two
    // pixels drawBoxText starts in.
    const int slack = 8;
    RequesterBox box;
    box.text = wrapText(text, std::max(1, s.width - 2 * kRequesterMargin - slack));
    int lines = 1;
    for (char c : box.text)
        lines += c == '\n';
    box.w = std::min(s.width, std::max(260, textWidth(box.text) + 2 * kRequesterMargin + slack));
    box.h = std::min(s.height, lines * kFontHeight + 76);
    box.x = (s.width - box.w) / 2;
    box.y = (s.height - box.h) / 2;
    return box;
}

} // namespace vxh
