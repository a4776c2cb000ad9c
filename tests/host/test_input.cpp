// The stand-in screen's input side: synthetic presses, moves, releases and
// keys on gadgets made through the GUI library, and the messages the
// request's queue then hands out.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "host/cli/script.h"
#include "host/gui/gui.h"
#include "operator/host/vxfmt.h"
#include "operator/host/vxgui.h"
#include "operator/host/vxlist.h"
#include "operator/host/vxmsgq.h"
#include "operator/host/vxreq.h"

namespace {

static_assert(sizeof(EditorMessage) == 44);
static_assert(offsetof(EditorMessage, type) == 8 && offsetof(EditorMessage, u) == 12 &&
              offsetof(EditorMessage, y) == 16 && offsetof(EditorMessage, value) == 20);

// type, code (button for mouse messages), x, y, value; x and y of gadget
// and key messages are not compared.
struct Msg {
    int type;
    uint32_t code;
    int x = 0, y = 0, value = 0;
    bool operator==(const Msg &o) const
    {
        const bool mouse = type == EDITOR_MSG_MOUSE_BUTTON || type == EDITOR_MSG_MOUSE_MOVE;
        return type == o.type && code == o.code && value == o.value &&
               (!mouse || (x == o.x && y == o.y));
    }
};

std::ostream &operator<<(std::ostream &out, const Msg &m)
{
    return out << "{" << m.type << ", 0x" << std::hex << m.code << std::dec << ", " << m.x << ", "
               << m.y << ", " << m.value << "}";
}

struct Input : ::testing::Test {
    vxh::GuiHost host;
    RequestRecord request{};
    ListHeader list{};
    ListNode nodes[3] = {};
    GadgetExtension group{}, mirror{};
    int32_t button = 0, toggle1 = 0, toggle2 = 0, check = 0, popup = 0, slider = 0, disabled = 0;

    void SetUp() override
    {
        host.screen.meterOnStderr = false;
        vxh::initScreen(host.screen, 320, 200);
        vxh::installGuiHost(&host);
        request.messageQueue = msgQCreate(10, 44, 0);
        ASSERT_EQ(vreqCreateRequest(&request), 0);
        const uint32_t r = request.handle;
        button = vgAddTextButton(r, 10, 10, 60, 20, "Button", 0, 0);
        group.group = 100;
        toggle1 = vgAddImageButton(r, 10, 40, 32, 20, nullptr, 0x20001, &group);
        toggle2 = vgAddImageButton(r, 44, 40, 32, 20, nullptr, 0x20000, &group);
        mirror.text = "Mirror";
        check = vgAddCheckBox(r, 100, 40, 32, 20, 0, 0, &mirror);
        listInitHeader(&list);
        for (ListNode &n : nodes) {
            n.kind = 513;
            n.text = "entry";
            listAppendNode(&list, &n);
        }
        popup = vgAddPopup(r, 10, 70, 100, 20, &list, 0, 0, 0, 0);
        slider = vgAddSlider(r, 10, 100, 104, 20, 0, 10, 5, 0, nullptr, 0x30000, nullptr);
        disabled = vgAddTextButton(r, 150, 10, 40, 20, "Off", 0, 0);
        vgDisableElement(r, disabled);
        vgChangeElement(r, button, 57, 'n', 0);
        vgChangeElement(r, toggle2, 57, 0x200031, 0);
        vgChangeElement(r, check, 57, 's', 0);
        vgChangeElement(r, popup, 57, 'e', 0);
        vgChangeElement(r, slider, 57, 'v', 0);
        vgChangeElement(r, disabled, 57, 'd', 0);
    }
    void TearDown() override { vxh::installHost(nullptr); }

    std::vector<Msg> drain()
    {
        std::vector<Msg> out;
        EditorMessage m;
        while (vgMsgQReceive(&m, -1) == 0) {
            const bool mouse = m.type == EDITOR_MSG_MOUSE_BUTTON || m.type == EDITOR_MSG_MOUSE_MOVE;
            out.push_back({m.type, mouse ? m.u.mouse.button : m.u.code, mouse ? m.u.mouse.x : 0,
                           m.y, m.value});
        }
        return out;
    }
    int value(int32_t handle)
    {
        return host.screen.gadgets[vxh::findGadget(host.screen, handle)].value;
    }
};

enum Action { PRESS, MOVE, RELEASE, KEY };
struct Step {
    Action action;
    int x = 0, y = 0, button = 0;
};

TEST_F(Input, EventsBecomeMessages)
{
    const uint32_t B = button, T2 = toggle2, C = check, P = popup, S = slider;
    struct Case {
        const char *what;
        std::vector<Step> steps;
        std::vector<Msg> want;
    } cases[] = {
        {"left click outside",
         {{PRESS, 300, 190, 0}, {RELEASE, 301, 191, 0}},
         {{3, 1, 300, 190}, {3, 0x81, 301, 191}}},
        {"right click outside",
         {{PRESS, 200, 150, 1}, {RELEASE, -5, 150, 1}},
         {{3, 2, 200, 150}, {3, 0x82, -5, 150}}},
        {"click on a button",
         {{PRESS, 20, 15, 0}, {RELEASE, 21, 16, 0}},
         {{4, B}, {3, 0x81, 21, 16}}},
        {"press on a button, let go elsewhere",
         {{PRESS, 20, 15, 0}, {RELEASE, 250, 150, 0}},
         {{3, 0x81, 250, 150}}},
        {"toggle",
         {{PRESS, 50, 45, 0}, {RELEASE, 50, 45, 0}},
         {{4, T2, 0, 0, 1}, {3, 0x81, 50, 45}}},
        {"check box twice",
         {{PRESS, 110, 45, 0}, {RELEASE, 110, 45, 0}, {PRESS, 110, 45, 0}, {RELEASE, 110, 45, 0}},
         {{4, C, 0, 0, 1}, {3, 0x81, 110, 45}, {4, C, 0, 0, 0}, {3, 0x81, 110, 45}}},
        {"popup: open, pick the third entry",
         {{PRESS, 20, 75, 0},
          {RELEASE, 20, 75, 0},
          {PRESS, 20, 90 + 2 + 2 * 17 + 3, 0},
          {RELEASE, 20, 90 + 2 + 2 * 17 + 3, 0}},
         {{3, 0x81, 20, 75}, {4, P, 0, 0, 2}, {3, 0x81, 20, 129}}},
        {"popup: closed by a press outside",
         {{PRESS, 20, 75, 0}, {RELEASE, 20, 75, 0}, {PRESS, 300, 10, 0}, {RELEASE, 300, 10, 0}},
         {{3, 0x81, 20, 75}, {3, 0x81, 300, 10}}},
        {"slider dragged to both ends",
         {{PRESS, 12, 105, 0}, {MOVE, 200, 105, 0}, {MOVE, 210, 105, 0}, {RELEASE, 200, 105, 0}},
         {{4, S, 0, 0, 0}, {4, S, 0, 0, 10}, {3, 0x81, 200, 105}}},
        {"moves outside gadgets, not over them",
         {{MOVE, 300, 150, 0}, {MOVE, 20, 15, 0}},
         {{2, 0, 300, 150}}},
        {"a drag from outside is followed over gadgets",
         {{PRESS, 300, 150, 1}, {MOVE, 20, 15, 0}, {RELEASE, 20, 15, 1}},
         {{3, 2, 300, 150}, {2, 0, 20, 15}, {3, 0x82, 20, 15}}},
        {"disabled button", {{PRESS, 160, 15, 0}, {RELEASE, 160, 15, 0}}, {{3, 0x81, 160, 15}}},
        {"right press on a gadget",
         {{PRESS, 20, 15, 1}, {RELEASE, 20, 15, 1}},
         {{3, 0x82, 20, 15}}},
        {"unbound keys", {{KEY, 'q'}, {KEY, 0x20063}}, {{1, 'q'}, {1, 0x20063}}},
        {"shortcuts act as clicks",
         {{KEY, 'n'}, {KEY, 0x200031}, {KEY, 's'}, {KEY, 'e'}, {KEY, 'e'}, {KEY, 'e'}, {KEY, 'd'}},
         {{4, B}, {4, T2, 0, 0, 1}, {4, C, 0, 0, 1}, {4, P, 0, 0, 1}, {4, P, 0, 0, 2}, {4, P}}},
        {"a slider's key gives it the arrows",
         {{KEY, vxh::KEY_RIGHT},
          {KEY, 'v'},
          {KEY, vxh::KEY_RIGHT},
          {KEY, vxh::KEY_LEFT},
          {KEY, vxh::KEY_LEFT},
          {KEY, vxh::KEY_ESCAPE},
          {KEY, vxh::KEY_LEFT}},
         {{1, vxh::KEY_RIGHT},
          {4, S, 0, 0, 6},
          {4, S, 0, 0, 5},
          {4, S, 0, 0, 4},
          {3, 0x81, 62, 110},
          {1, vxh::KEY_LEFT}}},
    };
    for (const Case &c : cases) {
        host.screen = vxh::Screen{};
        request = RequestRecord{};
        SetUp();
        for (const Step &s : c.steps) {
            if (s.action == PRESS)
                vxh::pressMouse(host.screen, s.x, s.y, s.button);
            else if (s.action == MOVE)
                vxh::moveMouse(host.screen, s.x, s.y);
            else if (s.action == RELEASE)
                vxh::releaseMouse(host.screen, s.x, s.y, s.button);
            else
                vxh::pressKey(host.screen, static_cast<uint32_t>(s.x));
        }
        EXPECT_EQ(drain(), c.want) << c.what;
    }
}

TEST_F(Input, ToggleGroupsKeepOneSelected)
{
    EXPECT_EQ(value(toggle1), 1);
    vxh::pressKey(host.screen, 0x200031);
    EXPECT_EQ(value(toggle1), 0);
    EXPECT_EQ(value(toggle2), 1);
    EXPECT_EQ(vgChangeElement(request.handle, toggle1, 40, 1, 1), 0);
    EXPECT_EQ(value(toggle2), 0);
    EXPECT_EQ(vgChangeElement(request.handle, slider, 40, 99, 1), 0);
    EXPECT_EQ(value(slider), 10); // shown within its range
    EXPECT_EQ(vgChangeElement(request.handle, slider, 41, 1, 1), -1);
    EXPECT_EQ(vgChangeElement(request.handle, 999, 40, 1, 1), -1);
}

TEST_F(Input, CodesAndCoordinatesLieWhereTheRecordSays)
{
    vxh::pressMouse(host.screen, -3, 7, 1);
    vxh::pressKey(host.screen, 0x8002E002);
    EditorMessage m;
    ASSERT_EQ(vgMsgQReceive(&m, -1), 0);
    uint8_t raw[44];
    memcpy(raw, &m, 44);
    EXPECT_EQ(raw[8] | raw[9] << 8, 3);
    EXPECT_EQ(raw[12] | raw[13] << 8, 2);           // button
    EXPECT_EQ(int16_t(raw[14] | raw[15] << 8), -3); // x
    EXPECT_EQ(int16_t(raw[16] | raw[17] << 8), 7);  // y
    ASSERT_EQ(vgMsgQReceive(&m, -1), 0);
    memcpy(raw, &m, 44);
    EXPECT_EQ(raw[8], 1);
    EXPECT_EQ(uint32_t(raw[12] | raw[13] << 8 | raw[14] << 16 | uint32_t(raw[15]) << 24),
              0x8002E002u);
}

TEST_F(Input, ReceiveBlocksOnInputAndFailsCleanly)
{
    EditorMessage m{};
    EXPECT_EQ(vgMsgQReceive(&m, -1), -1); // no input source: nothing will come
    int calls = 0;
    host.screen.waitInput = [&](int) {
        if (++calls == 1)
            return true; // input that made no message: keep waiting
        if (calls == 2) {
            vxh::closeScreen(host.screen);
            return true;
        }
        return false;
    };
    ASSERT_EQ(vgMsgQReceive(&m, -1), 0);
    EXPECT_EQ(m.type, EDITOR_MSG_CLOSE);
    EXPECT_EQ(calls, 2);
    m.type = 99;
    EXPECT_EQ(vgMsgQReceive(&m, -1), -1);
    EXPECT_EQ(m.type, 99); // a failed receive leaves the record alone
    EXPECT_EQ(vgMsgQReceive(nullptr, -1), -1);

    // Queues and requests that cannot be.
    EXPECT_EQ(msgQCreate(0, 44, 0), 0u);
    EXPECT_EQ(msgQCreate(10, 43, 0), 0u);
    RequestRecord second{};
    second.messageQueue = msgQCreate(10, 44, 0);
    EXPECT_EQ(vreqCreateRequest(&second), -1); // one request at a time
    EXPECT_EQ(vreqDeleteRequest(&request), 0);
    EXPECT_EQ(vgMsgQReceive(&m, -1), -1);
    RequestRecord noQueue{};
    EXPECT_EQ(vreqCreateRequest(&noQueue), -1);
    EXPECT_EQ(vreqCreateRequest(&second), 0);
}

TEST_F(Input, FullQueueDropsAndMovesCoalesce)
{
    vxh::GuiHost small;
    small.screen.meterOnStderr = false;
    vxh::installGuiHost(&small);
    RequestRecord r{};
    r.messageQueue = msgQCreate(2, 44, 0);
    ASSERT_EQ(vreqCreateRequest(&r), 0);
    for (int x = 0; x < 5; ++x)
        vxh::moveMouse(small.screen, 300 + x, 5);
    vxh::pressKey(small.screen, 'a');
    vxh::pressKey(small.screen, 'b');
    EXPECT_EQ(small.screen.messages.size(), 2u);
    EXPECT_EQ(small.screen.messages[0].u.mouse.x, 304);
    EXPECT_EQ(small.screen.droppedMessages, 1);
    vxh::installGuiHost(&host);
}

TEST(Formatting, BoundedTexts)
{
    struct Case {
        int32_t value;
        int size;
        const char *want;
    } cases[] = {{0, 64, "0 (0:00:00:00)"},
                 {1499, 64, "1499 (0:00:59:24)"},
                 {90000, 64, "90000 (1:00:00:00)"},
                 {-26, 64, "-26 (-0:00:01:01)"},
                 {1499, 5, "1499"}};
    for (const Case &c : cases) {
        char buffer[64];
        memset(buffer, 'x', sizeof buffer);
        vxh::formatFramesTime(c.value, buffer, c.size);
        EXPECT_STREQ(buffer, c.want);
        if (c.size < 64) {
            EXPECT_EQ(buffer[c.size], 'x'); // nothing written past the size
        }
    }
    char text[8];
    memset(text, 'x', sizeof text);
    EXPECT_EQ(sxprintf(text, 6, "%d-%d", 12345, 678), 5);
    EXPECT_STREQ(text, "12345");
    EXPECT_EQ(text[6], 'x');
    EXPECT_EQ(sxprintf(text, 0, "%d", 1), 0);
}

TEST(Script, MalformedLinesAreNamed)
{
    struct Case {
        const char *text;
        const char *error; // empty: parses
    } cases[] = {
        {"click 10 20\n# note\n\nclick 1 2 right\nmove -4 5\nkey 0x20063\nkey 99\n"
         "gadget str:405 1\nset key:0x200074 -3\nscreenshot a.png\nclose\nwait 20\n",
         ""},
        {"click 10\n", "s:1: expected 'click X Y [left|right]'"},
        {"move 1 2\npress 1 2 middle\n", "s:2: expected 'press X Y [left|right]'"},
        {"key\n", "s:1: expected 'key CODE'"},
        {"key 0x1G\n", "s:1: expected 'key CODE'"},
        {"gadget 405 1\n", "s:1: expected 'gadget NAME VALUE'"},
        {"gadget txt:405 1\n", "s:1: expected 'gadget NAME VALUE'"},
        {"set str:405\n", "s:1: expected 'set NAME VALUE'"},
        {"screenshot\n", "s:1: expected 'screenshot FILE.png'"},
        {"close now\n", "s:1: expected 'close'"},
        {"wait -1\n", "s:1: expected 'wait MS'"},
        {"wait 60001\n", "s:1: expected 'wait MS'"},
        {"\n\njump 1 2\n", "s:3: unknown event 'jump'"},
        {"click 1 99999\n", "s:1: expected"},
    };
    for (const Case &c : cases) {
        std::vector<vxh::ScriptEvent> events;
        std::string err;
        const bool ok = vxh::parseScript(c.text, "s", events, err);
        EXPECT_EQ(ok, !*c.error) << c.text << err;
        if (*c.error)
            EXPECT_EQ(err.rfind(c.error, 0), 0u) << err;
        else
            EXPECT_EQ(events.size(), 10u);
    }
}

TEST_F(Input, ScriptNamesFindGadgets)
{
    EXPECT_EQ(vxh::gadgetByName(host.screen, "key:0x200031"),
              vxh::findGadget(host.screen, toggle2));
    EXPECT_EQ(vxh::gadgetByName(host.screen, "key:0x7777"), -1);
    EXPECT_EQ(vxh::gadgetByName(host.screen, "str:405"), -1); // texts not from the table
    vxh::ScriptEvent e;
    e.kind = vxh::ScriptEvent::GADGET;
    e.name = "key:0x76"; // the slider
    e.value = 7;
    std::string err;
    ASSERT_TRUE(vxh::playEvent(host.screen, e, err)) << err;
    e.kind = vxh::ScriptEvent::SET;
    e.value = 3;
    ASSERT_TRUE(vxh::playEvent(host.screen, e, err)) << err;
    EXPECT_EQ(drain(), (std::vector<Msg>{{4, uint32_t(slider), 0, 0, 7},
                                         {3, 0x81, 10 + 52, 110},
                                         {4, uint32_t(slider), 0, 0, 3}}));
    e.name = "img:999";
    EXPECT_FALSE(vxh::playEvent(host.screen, e, err));
    e.name = "key:0x64"; // the disabled button: a user cannot use it
    EXPECT_FALSE(vxh::playEvent(host.screen, e, err));
    EXPECT_NE(err.find("is disabled"), std::string::npos);
}

} // namespace
