// Gadgets on the screen and the user's input: what a press, a move, a
// release, a key or a closed window does to the gadgets, and which
// messages it puts in the open request's queue.
//
// Messages: a press or move outside gadgets becomes a mouse message (button
// codes 1 and 2 pressed, 0x81 and 0x82 released); every release becomes a
// mouse message, also the one that ends the use of a gadget, after that
// gadget's own message; using a gadget gives a gadget message with its
// handle and value; a key bound to a gadget acts as a click on it, any
// other key gives a key message.
#include "host/gui/screen.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vxh {

namespace {

constexpr int kMaxPopupEntries = 1000;

int palette(const Screen &s)
{
    return s.guiMode == 3 ? 1 : 0;
}

void colour(Screen &s, int n)
{
    setColourYuva(s, paletteColour(palette(s), n));
}

bool isButton(const Gadget &g)
{
    return g.kind == VG_GADGET_IMAGE_BUTTON || g.kind == VG_GADGET_TEXT_BUTTON;
}

bool isToggle(const Gadget &g)
{
    return g.kind == VG_GADGET_IMAGE_BUTTON && (g.flags & 0x20000);
}

bool contains(const Gadget &g, int x, int y)
{
    return x >= g.x && y >= g.y && x < g.x + g.w && y < g.y + g.h;
}

int32_t clampValue(const Gadget &g, int32_t v)
{
    switch (g.kind) {
    case VG_GADGET_SLIDER:
        return std::clamp(v, std::min(g.minimum, g.maximum), std::max(g.minimum, g.maximum));
    case VG_GADGET_POPUP:
        return std::clamp(v, 0, std::max(0, static_cast<int32_t>(g.entries.size()) - 1));
    case VG_GADGET_CHECK_BOX:
        return v ? 1 : 0;
    default:
        return isToggle(g) ? (v ? 1 : 0) : v;
    }
}

std::string sliderText(const Gadget &g)
{
    char value[64] = {};
    if (g.formatter)
        g.formatter(g.value, value, sizeof value);
    else
        snprintf(value, sizeof value, "%d", static_cast<int>(g.value));
    value[sizeof value - 1] = '\0';
    return g.text.empty() ? std::string(value) : g.text + ": " + value;
}

void drawFace(Screen &s, const Gadget &g, bool sunken, int face)
{
    colour(s, face);
    fillRect(s, g.x, g.y, g.x + g.w - 1, g.y + g.h - 1);
    drawBevel(s, g.x, g.y, g.w, g.h, sunken);
}

void textColour(Screen &s, const Gadget &g)
{
    colour(s, g.enabled ? 5 : 17);
}

// Dims a disabled gadget: every other pixel in the face colour.
void dim(Screen &s, const Gadget &g)
{
    colour(s, 1);
    for (int y = g.y + 1; y < g.y + g.h - 1; ++y)
        for (int x = g.x + 1 + (y & 1); x < g.x + g.w - 1; x += 2)
            putPixel(s, x, y);
}

void drawSlider(Screen &s, const Gadget &g, bool focused)
{
    colour(s, 11);
    fillRect(s, g.x, g.y, g.x + g.w - 1, g.y + g.h - 1);
    const int64_t span = static_cast<int64_t>(g.maximum) - g.minimum;
    if (g.enabled && span > 0 && g.w > 4) {
        const int fill =
            static_cast<int>((static_cast<int64_t>(g.value) - g.minimum) * (g.w - 4) / span);
        colour(s, 6);
        if (fill > 0)
            fillRect(s, g.x + 2, g.y + 2, g.x + 1 + fill, g.y + g.h - 3);
    }
    drawBevel(s, g.x, g.y, g.w, g.h, true);
    if (focused) {
        colour(s, 15);
        drawFrame(s, g.x - 1, g.y - 1, g.x + g.w, g.y + g.h);
    }
    textColour(s, g);
    drawBoxText(s, sliderText(g), g.x, g.y, g.w, g.h, 0x18);
}

void drawCheckBox(Screen &s, const Gadget &g)
{
    const int side = std::max(6, std::min(g.w, g.h) - 6);
    const int bx = g.x + (g.w - side) / 2, by = g.y + (g.h - side) / 2;
    colour(s, 11);
    fillRect(s, bx, by, bx + side - 1, by + side - 1);
    drawBevel(s, bx, by, side, side, true);
    if (g.value) {
        colour(s, g.enabled ? 6 : 17);
        for (int k = 0; k < 2; ++k) {
            drawLine(s, bx + 3, by + side / 2 + k - 1, bx + side / 2 - 1, by + side - 4 + k - 1);
            drawLine(s, bx + side / 2 - 1, by + side - 4 + k - 1, bx + side - 4, by + 3 + k - 1);
        }
    }
    if (!g.text.empty()) {
        // The label stands left of the box, ending at the gadget.
        const int tw = textWidth(g.text);
        textColour(s, g);
        drawBoxText(s, g.text, g.x - tw - 8, g.y, tw + 6, g.h, 0x14);
    }
}

void drawPopupGadget(Screen &s, const Gadget &g, bool open)
{
    drawFace(s, g, open, 1);
    const int v = g.value;
    const std::string text = v >= 0 && v < static_cast<int>(g.entries.size()) ? g.entries[v] : "";
    textColour(s, g);
    drawBoxText(s, text, g.x + 4, g.y, g.w - 20, g.h, 0x10);
    // A small arrow pointing down at the right end.
    const int ax = g.x + g.w - 13, ay = g.y + g.h / 2 - 2;
    for (int k = 0; k < 4; ++k)
        fillRect(s, ax + k, ay + k, ax + 6 - k, ay + k);
}

// The open popup menu: entries below the gadget (above it when the
// screen ends), the hovered one highlighted.
void drawMenu(Screen &s)
{
    PopupMenu &m = s.popup;
    const Gadget &g = s.gadgets[m.gadget];
    colour(s, 11);
    fillRect(s, m.x, m.y, m.x + m.w - 1, m.y + m.h - 1);
    const int rowH = kFontHeight + 2;
    for (int i = 0; i < static_cast<int>(g.entries.size()); ++i) {
        const int y = m.y + 2 + i * rowH;
        if (i == m.hover || i == g.value) {
            colour(s, i == m.hover ? 6 : 1);
            fillRect(s, m.x + 2, y, m.x + m.w - 3, y + rowH - 1);
        }
        colour(s, i == m.hover ? 3 : 5);
        drawBoxText(s, g.entries[i], m.x + 6, y, m.w - 10, rowH, 0x10);
    }
    drawBevel(s, m.x, m.y, m.w, m.h, false);
}

void openMenu(Screen &s, int index)
{
    const Gadget &g = s.gadgets[index];
    PopupMenu &m = s.popup;
    m.gadget = index;
    m.w = g.w;
    for (const std::string &e : g.entries)
        m.w = std::max(m.w, textWidth(e) + 14);
    m.h = static_cast<int>(g.entries.size()) * (kFontHeight + 2) + 4;
    m.x = std::min(g.x, s.width - m.w);
    m.y = g.y + g.h;
    if (m.y + m.h > s.height)
        m.y = std::max(0, g.y - m.h);
    m.hover = -1;
    m.under = saveArea(s, m.x, m.y, m.w, m.h);
    drawPopupGadget(s, g, true);
    drawMenu(s);
}

void closeMenu(Screen &s)
{
    PopupMenu &m = s.popup;
    if (m.gadget < 0)
        return;
    restoreArea(s, m.under, m.x, m.y, m.w, m.h);
    const int index = m.gadget;
    m = PopupMenu{};
    drawGadget(s, s.gadgets[index]);
}

int menuEntryAt(const Screen &s, int x, int y)
{
    const PopupMenu &m = s.popup;
    if (m.gadget < 0 || x < m.x || x >= m.x + m.w || y < m.y + 2 || y >= m.y + m.h - 2)
        return -1;
    const int i = (y - m.y - 2) / (kFontHeight + 2);
    return i < static_cast<int>(s.gadgets[m.gadget].entries.size()) ? i : -1;
}

// Sets a gadget's value as the user or the plug-in does; a toggle that is
// selected deselects the others of its group.
void assignValue(Screen &s, int index, int32_t value)
{
    Gadget &g = s.gadgets[index];
    g.value = clampValue(g, value);
    if (isToggle(g) && g.value && g.group)
        for (size_t i = 0; i < s.gadgets.size(); ++i) {
            Gadget &o = s.gadgets[i];
            if (static_cast<int>(i) != index && !o.removed && isToggle(o) && o.group == g.group &&
                o.value) {
                o.value = 0;
                drawGadget(s, o);
            }
        }
    drawGadget(s, g);
}

void postGadget(Screen &s, const Gadget &g, int32_t value)
{
    postMessage(s, EDITOR_MSG_GADGET, static_cast<uint32_t>(g.handle), 0, g.y + g.h / 2, value);
}

int32_t sliderValueAt(const Gadget &g, int x)
{
    if (g.w <= 4)
        return g.minimum;
    const int64_t span = static_cast<int64_t>(g.maximum) - g.minimum;
    const int64_t pos = std::clamp(x - g.x - 2, 0, g.w - 4);
    // Round to the nearest value so that both ends are reachable.
    return static_cast<int32_t>(g.minimum + (pos * span * 2 + (g.w - 4)) / (2 * (g.w - 4)));
}

// A slider follows the pointer; a message for every new value.
void dragSlider(Screen &s, int index, int x, bool always)
{
    Gadget &g = s.gadgets[index];
    const int32_t v = clampValue(g, sliderValueAt(g, x));
    if (!g.enabled || (v == g.value && !always))
        return;
    g.value = v;
    drawGadget(s, g);
    postGadget(s, g, v);
}

// A click (or its shortcut key) on a button, toggle or check box.
void clickGadget(Screen &s, int index)
{
    Gadget &g = s.gadgets[index];
    if (g.kind == VG_GADGET_CHECK_BOX || (isToggle(g) && !g.group))
        assignValue(s, index, !g.value);
    else if (isToggle(g))
        assignValue(s, index, 1);
    postGadget(s, g, g.value);
}

void setFocus(Screen &s, int index)
{
    const int old = s.focus;
    s.focus = index;
    if (old >= 0 && old != index && old < static_cast<int>(s.gadgets.size()))
        drawGadget(s, s.gadgets[old]);
    if (index >= 0)
        drawGadget(s, s.gadgets[index]);
}

} // namespace

int32_t addGadget(Screen &s, const VxGadgetInfo &info)
{
    if (info.kind < VG_GADGET_IMAGE_BUTTON || info.kind > VG_GADGET_SLIDER || info.w <= 0 ||
        info.h <= 0)
        return -1;
    Gadget g;
    g.handle = s.nextHandle++;
    g.kind = info.kind;
    g.x = info.x, g.y = info.y, g.w = info.w, g.h = info.h;
    if (info.image && vxResImageLive(info.image)) {
        g.image = static_cast<const VxResImage *>(info.image);
        g.imageId = g.image->id;
        g.imageTable = g.image->table;
    }
    const char *text = info.text;
    if (info.kind == VG_GADGET_CHECK_BOX && info.extension)
        text = info.extension->text;
    if (text) {
        g.text = text;
        g.textId = vxResStringId(text);
    }
    if (info.list) {
        int n = 0;
        for (const ListNode *node = info.list->head; node && n < kMaxPopupEntries;
             node = node->next, ++n)
            g.entries.emplace_back(node->text ? node->text : "");
    }
    g.minimum = info.minimum, g.maximum = info.maximum;
    g.flags = info.flags;
    if (info.extension) {
        g.group = info.extension->group;
        g.formatter = info.extension->formatter;
    }
    s.gadgets.push_back(g);
    const int index = static_cast<int>(s.gadgets.size()) - 1;
    assignValue(s, index, info.kind == VG_GADGET_IMAGE_BUTTON ? (info.flags & 1) : info.value);
    return g.handle;
}

int findGadget(const Screen &s, int32_t handle)
{
    for (size_t i = 0; i < s.gadgets.size(); ++i)
        if (s.gadgets[i].handle == handle && !s.gadgets[i].removed)
            return static_cast<int>(i);
    return -1;
}

int gadgetAt(const Screen &s, int x, int y)
{
    // The last created lies on top.
    for (size_t i = s.gadgets.size(); i-- > 0;) {
        const Gadget &g = s.gadgets[i];
        if (!g.removed && contains(g, x, y))
            return static_cast<int>(i);
    }
    return -1;
}

int gadgetWithKey(const Screen &s, uint32_t key)
{
    for (size_t i = 0; i < s.gadgets.size(); ++i)
        if (!s.gadgets[i].removed && s.gadgets[i].key == key && key)
            return static_cast<int>(i);
    return -1;
}

int changeGadget(Screen &s, int32_t handle, int attribute, int32_t value, int redraw)
{
    const int index = findGadget(s, handle);
    if (index < 0)
        return -1;
    if (attribute == 57) {
        s.gadgets[index].key = static_cast<uint32_t>(value);
        return 0;
    }
    if (attribute != 40)
        return -1;
    if (redraw) {
        assignValue(s, index, value);
    } else {
        Gadget &g = s.gadgets[index];
        g.value = clampValue(g, value);
    }
    return 0;
}

void enableGadget(Screen &s, int32_t handle, bool enable)
{
    const int index = findGadget(s, handle);
    if (index < 0)
        return;
    s.gadgets[index].enabled = enable;
    if (!enable && s.focus == index)
        s.focus = -1;
    drawGadget(s, s.gadgets[index]);
}

void drawGadget(Screen &s, const Gadget &g)
{
    if (g.removed)
        return;
    switch (g.kind) {
    case VG_GADGET_SLIDER:
        drawSlider(s, g, s.focus >= 0 && s.gadgets[s.focus].handle == g.handle);
        break;
    case VG_GADGET_CHECK_BOX:
        drawCheckBox(s, g);
        break;
    case VG_GADGET_POPUP:
        drawPopupGadget(s, g, false);
        break;
    default: {
        const bool down = g.pressed || (isToggle(g) && g.value);
        drawFace(s, g, down, isToggle(g) && g.value ? 6 : 1);
        if (g.image && vxResImageLive(g.image)) {
            drawImage(s, g.image, g.x + (g.w - g.image->width) / 2 + down,
                      g.y + (g.h - g.image->height) / 2 + down);
        } else {
            textColour(s, g);
            drawBoxText(s, g.text, g.x + down, g.y + down, g.w, g.h, 0x18);
        }
    }
    }
    if (!g.enabled && g.kind != VG_GADGET_SLIDER)
        dim(s, g);
}

void postMessage(Screen &s, int type, uint32_t code, int x, int y, int32_t value)
{
    if (!s.request)
        return;
    EditorMessage m{};
    m.type = static_cast<uint16_t>(type);
    m.u.code = code;
    if (type == EDITOR_MSG_MOUSE_MOVE || type == EDITOR_MSG_MOUSE_BUTTON) {
        m.u.mouse.button = static_cast<uint16_t>(code);
        m.u.mouse.x = static_cast<int16_t>(x);
    }
    m.y = static_cast<int16_t>(y);
    m.value = value;
    // Moves in a row are one move to where the pointer is now.
    if (type == EDITOR_MSG_MOUSE_MOVE && !s.messages.empty() &&
        s.messages.back().type == EDITOR_MSG_MOUSE_MOVE) {
        s.messages.back() = m;
        return;
    }
    auto q = s.queues.find(s.requestQueue);
    const size_t capacity = q == s.queues.end() ? 0 : static_cast<size_t>(q->second);
    if (s.messages.size() >= capacity) {
        ++s.droppedMessages;
        return;
    }
    s.messages.push_back(m);
}

void postButton(Screen &s, int button, int x, int y)
{
    postMessage(s, EDITOR_MSG_MOUSE_BUTTON, static_cast<uint32_t>(button), x, y, 0);
}

void pressMouse(Screen &s, int x, int y, int button)
{
    if (button != 0 && button != 1)
        return;
    if (s.popup.gadget >= 0) {
        // A press in the open menu picks at the release; elsewhere it only
        // closes the menu.
        const int entry = menuEntryAt(s, x, y);
        if (entry >= 0 && button == 0) {
            s.popup.hover = entry;
            drawMenu(s);
            return;
        }
        closeMenu(s);
        s.active = -1;
        return;
    }
    const int index = gadgetAt(s, x, y);
    if (index < 0) {
        setFocus(s, -1);
        s.dragged[button] = true;
        postButton(s, button == 0 ? 1 : 2, x, y);
        return;
    }
    Gadget &g = s.gadgets[index];
    if (button != 0 || !g.enabled)
        return;
    s.active = index;
    setFocus(s, g.kind == VG_GADGET_SLIDER ? index : -1);
    if (g.kind == VG_GADGET_POPUP) {
        openMenu(s, index);
    } else if (g.kind == VG_GADGET_SLIDER) {
        dragSlider(s, index, x, true);
    } else if (isButton(g) || g.kind == VG_GADGET_CHECK_BOX) {
        g.pressed = true;
        drawGadget(s, g);
    }
}

void moveMouse(Screen &s, int x, int y)
{
    if (s.popup.gadget >= 0) {
        const int entry = menuEntryAt(s, x, y);
        if (entry != s.popup.hover && entry >= 0) {
            s.popup.hover = entry;
            drawMenu(s);
        }
        return;
    }
    if (s.active >= 0) {
        Gadget &g = s.gadgets[s.active];
        if (g.kind == VG_GADGET_SLIDER) {
            dragSlider(s, s.active, x, false);
        } else if (g.pressed != contains(g, x, y)) {
            g.pressed = contains(g, x, y);
            drawGadget(s, g);
        }
        return;
    }
    if (s.dragged[0] || s.dragged[1] || gadgetAt(s, x, y) < 0)
        postMessage(s, EDITOR_MSG_MOUSE_MOVE, 0, x, y, 0);
}

void releaseMouse(Screen &s, int x, int y, int button)
{
    if (button != 0 && button != 1)
        return;
    s.dragged[button] = false;
    if (button == 0 && s.popup.gadget >= 0) {
        const int entry = menuEntryAt(s, x, y);
        const int index = s.popup.gadget;
        Gadget &g = s.gadgets[index];
        if (entry >= 0) {
            closeMenu(s);
            g.value = entry;
            drawGadget(s, g);
            postGadget(s, g, entry);
        } else if (!(s.active == index && contains(g, x, y))) {
            closeMenu(s); // released away from the menu: nothing chosen
        }                 // released on the popup itself: the menu stays open for a click
        s.active = -1;
    } else if (button == 0 && s.active >= 0) {
        Gadget &g = s.gadgets[s.active];
        const bool over = contains(g, x, y);
        if (g.pressed) {
            g.pressed = false;
            drawGadget(s, g);
        }
        if (over && g.kind != VG_GADGET_SLIDER)
            clickGadget(s, s.active);
        s.active = -1;
    }
    postButton(s, button == 0 ? 0x81 : 0x82, x, y);
}

void pressKey(Screen &s, uint32_t code)
{
    if (s.popup.gadget >= 0 && code == KEY_ESCAPE) {
        closeMenu(s); // nothing chosen, as a press away from the menu
        s.active = -1;
        return;
    }
    if (s.focus >= 0 && s.gadgets[s.focus].enabled) {
        int step = code == KEY_LEFT || code == KEY_DOWN  ? -1
                   : code == KEY_RIGHT || code == KEY_UP ? 1
                                                         : 0;
        if (step) {
            Gadget &g = s.gadgets[s.focus];
            const int32_t v =
                clampValue(g, static_cast<int32_t>(std::clamp<int64_t>(
                                  static_cast<int64_t>(g.value) + step, INT32_MIN, INT32_MAX)));
            if (v != g.value) {
                g.value = v;
                drawGadget(s, g);
                postGadget(s, g, v);
            }
            return;
        }
        if (code == KEY_ESCAPE) {
            // Letting go ends the slider's use like the mouse's release over
            // it, and the reactions to that release follow.
            const Gadget &g = s.gadgets[s.focus];
            const int x = g.x + g.w / 2, y = g.y + g.h / 2;
            setFocus(s, -1);
            postButton(s, 0x81, x, y);
            return;
        }
    }
    const int index = gadgetWithKey(s, code);
    if (index < 0) {
        postMessage(s, EDITOR_MSG_KEY, code, 0, 0, 0);
        return;
    }
    Gadget &g = s.gadgets[index];
    if (!g.enabled)
        return;
    if (g.kind == VG_GADGET_SLIDER) {
        setFocus(s, index);
    } else if (g.kind == VG_GADGET_POPUP) {
        const int n = static_cast<int>(g.entries.size());
        if (n > 0) {
            g.value = (g.value + 1) % n;
            drawGadget(s, g);
            postGadget(s, g, g.value);
        }
    } else {
        clickGadget(s, index);
    }
}

void closeScreen(Screen &s)
{
    postMessage(s, EDITOR_MSG_CLOSE, 0, 0, 0, 0);
}

void useGadget(Screen &s, int index, int32_t value, bool release)
{
    if (index < 0 || index >= static_cast<int>(s.gadgets.size()))
        return;
    Gadget &g = s.gadgets[index];
    if (isToggle(g) || g.kind != VG_GADGET_IMAGE_BUTTON)
        assignValue(s, index, value);
    // The message carries the value as the user gave it; the gadget shows
    // it within its range.
    postGadget(s, g, value);
    if (release)
        postButton(s, 0x81, g.x + g.w / 2, g.y + g.h / 2);
}

int receiveMessage(Screen &s, EditorMessage &message, int timeout)
{
    if (!s.request)
        return -1;
    while (s.messages.empty()) {
        if (!s.waitInput || !s.waitInput(timeout))
            return -1;
        if (s.messages.empty() && timeout >= 0)
            return -1;
        if (!s.request)
            return -1;
    }
    message = s.messages.front();
    s.messages.pop_front();
    return 0;
}

} // namespace vxh
