// `vxhost edit` on the command line, the nested preview, and the window's
// key codes.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "host/cli/edit.h"
#include "host/core/session.h"
#include "host/gui/gui.h"
#include "host/gui/window.h"
#include "host/io/png.h"
#include "operator/host/vxgui.h"
#include "operator/host/vxmsgq.h"
#include "operator/host/vxreq.h"

#ifdef VX_HAVE_SDL2
#include <SDL.h>
#endif

namespace {

namespace fs = std::filesystem;

struct Edit : ::testing::Test {
    fs::path dir;
    void SetUp() override
    {
        const char *base = getenv("VXHOME");
        dir = fs::path(base ? base : "/tmp/vx-test-home") / "edit" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
    }
    // Exit code and output (stdout and stderr) of vxhost edit.
    int run(const std::string &args, std::string &output, const std::string &env = "",
            const std::string &plugin = std::string(VX_BUILD_PLUGIN_DIR) + "/VorluxMorph.so")
    {
        const std::string command = "VXHOME=" + (dir / "home").string() + " " + env +
                                    " " VX_VXHOST " edit " + plugin + " " + args + " 2>&1";
        FILE *pipe = popen(command.c_str(), "r");
        char buffer[4096];
        size_t n;
        output.clear();
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        const int status = pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string file(const std::string &name, const std::string &text)
    {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
    std::vector<std::string> lines(const fs::path &path)
    {
        std::ifstream in(path);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }
};

// The test editor logs every message it receives ("type code x y value";
// for gadget messages code is the handle). Its gadgets: brush sizes 1-4
// (handles 3-6), popup 7, check box 8, frame slider 9, key level 10,
// Preview 11, Done 12.
TEST_F(Edit, ScriptDrivesAnEditorEndToEnd)
{
    const std::string script = file("s.txt", "click 600 300\n"
                                             "gadget img:202 1\n"
                                             "click 40 85\n"
                                             "screenshot " +
                                                 (dir / "popup.png").string() +
                                                 "\n"
                                                 "click 40 140\n"
                                                 "key 0x200074\n"
                                                 "key 0xE005\n"
                                                 "set key:0x200074 3\n"
                                                 "key 115\n"
                                                 "gadget str:405 0\n"
                                                 "gadget str:404 10\n"
                                                 "press 700 700 right\n"
                                                 "move 701 702\n"
                                                 "release 703 704 right\n"
                                                 "key 0x20063\n");
    std::string out;
    EXPECT_EQ(run("--script " + script + " --fields 8 --reply 2 --preview-out " +
                      (dir / "preview").string(),
                  out, "", VX_FAKE_EDITOR),
              0)
        << out;
    EXPECT_EQ(lines(dir / "home" / "messages.txt"),
              (std::vector<std::string>{"3 0x1 600 300 0",  "3 0x81 600 300 0", "4 0x5 0 59 1",
                                        "3 0x81 112 59 0",  "3 0x81 40 85 0",   "4 0x7 0 91 2",
                                        "3 0x81 40 140 0",  "4 0x9 0 151 1",    "4 0x9 0 151 3",
                                        "4 0x8 0 121 1",    "4 0xB 0 211 0",    "preview 0",
                                        "3 0x81 95 211 0",  "4 0xA 0 181 10",   "asked 0",
                                        "3 0x81 112 181 0", "3 0x2 700 700 0",  "2 0x0 701 702 0",
                                        "3 0x82 703 704 0", "1 0x20063 0 0 0",  "7 0x0 0 0 0"}));
    EXPECT_TRUE(fs::exists(dir / "popup.png"));
    for (int f = 0; f < 4; ++f)
        EXPECT_TRUE(fs::exists(dir / "preview" / ("preview1_000" + std::to_string(f) + ".png")));
    EXPECT_FALSE(fs::exists(dir / "preview" / "preview1_0004.png"));
}

TEST_F(Edit, ScriptStopsAtCloseOrAtAMissingGadget)
{
    struct Case {
        std::string script;
        int code;
        std::vector<std::string> messages;
        std::string says;
    } cases[] = {
        {"close\nkey 1\n", 0, {"7 0x0 0 0 0"}, ""},
        {"key 1\ngadget img:999 1\nkey 2\n",
         1,
         {"1 0x1 0 0 0", "7 0x0 0 0 0"},
         "line 2: no gadget img:999"},
        {"gadget host:50 0\nkey 2\n", 0, {"4 0xC 0 241 0"}, ""},
        // Escape closes the open popup list, choosing nothing: the next click
        // reaches the frame slider under the list.
        {"click 40 85\nkey 0xE001\nclick 40 140\n",
         0,
         {"3 0x81 40 85 0", "4 0x9 0 151 3", "3 0x81 40 140 0", "7 0x0 0 0 0"},
         ""},
    };
    for (const Case &c : cases) {
        std::string out;
        EXPECT_EQ(run("--script " + file("s.txt", c.script), out, "", VX_FAKE_EDITOR), c.code)
            << out;
        EXPECT_EQ(lines(dir / "home" / "messages.txt"), c.messages) << c.script;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
}

TEST_F(Edit, ArgumentsAndScriptsAreCheckedBeforeAnythingRuns)
{
    const std::string shot = (dir / "shot.png").string();
    const std::string bad = file("bad.txt", "click 1 2\n\nkey\n");
    const std::string clip = (dir / "c.y4m").string();
    std::string made;
    EXPECT_EQ(system((VX_VXHOST " samples " + dir.string() + " >/dev/null").c_str()), 0);
    fs::rename(dir / "sample0.y4m", clip);
    struct Case {
        std::string args, says, env = "";
    } cases[] = {
        {"--script " + bad + " --screenshot " + shot, "bad.txt:3: expected 'key CODE'"},
        {"--input0 " + clip,
         "VorluxMorph.so takes two clips: give the second with --input1 FILE (or --input1 "
         "sample for the built-in sample clip)"},
#ifdef VX_HAVE_SDL2
        {"--window --fields 2", "--window: no display to open a window on",
         "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER"},
#endif
        {"--script " + (dir / "none.txt").string(), "cannot open the script"},
        {"--script /dev/zero", "/dev/zero: the script is larger than 4 MiB"},
        {"--screen 10x10", "--screen takes WxH"},
        {"--screen 800x600x", "--screen takes WxH"},
        {"--gui-mode 4", "--gui-mode takes 0..3"},
        {"-o out.y4m", "edit writes no clip"},
        {"--fields 0", "--fields takes"},
        {"--effect ../x", "--effect takes a plain name"},
        {"--script", "--script needs a value"},
        {"--press 1", "--gadget and --press are for render"},
        {"--progressive --interlaced", "--progressive and --interlaced ask for opposite things"},
        {"--progressive --top-first", "--progressive has no field order"},
        {"--jobs 2", "--jobs is for render"},
        {"--project 64x48 --fields 2",
         "--project 64x48: the editor edits input 0's frames of 720x576"},
    };
    for (const Case &c : cases) {
        std::string out;
        EXPECT_EQ(run(c.args, out, c.env), 2) << c.args << "\n" << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << c.args << "\n" << out;
    }
    EXPECT_FALSE(fs::exists(shot));
}

// The editor finds no room for its panels: the screen is named as the
// cause, with the option that gives a larger one.
TEST_F(Edit, ATooSmallScreenIsSaidToBeTheCause)
{
    std::vector<uint32_t> frame(64 * 48, 0xFF808080u);
    std::string err;
    ASSERT_TRUE(vxh::writePng((dir / "small.png").string(), 64, 48, frame.data(), err)) << err;
    std::string out;
    EXPECT_EQ(run("--input0 " + (dir / "small.png").string() +
                      " --input1 sample --screen 320x240 --effect small",
                  out),
              1);
    EXPECT_NE(out.find("the screen of 320x240 is too small for the editor's panels: give a "
                       "larger one with --screen WxH"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("was not saved"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir / "home/programs/vorlux/small"));
}

TEST_F(Edit, LeavesScreenshotAndLayout)
{
    const std::string shot = (dir / "shot.png").string(), layout = (dir / "layout.json").string();
    const std::string script = file("s.txt", "click 5 5\nkey 0x20063\nclose\n");
    std::string out;
    EXPECT_EQ(run("--script " + script + " --screen 640x480 --screenshot " + shot +
                      " --dump-layout " + layout + " --fields 6",
                  out),
              0)
        << out;
    int w = 0, h = 0;
    std::vector<uint32_t> pixels;
    std::string err;
    ASSERT_TRUE(vxh::readPng(shot, w, h, pixels, err)) << err;
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_NE(out.find("the editor was closed: the current key's edits since it was last stored "
                       "were not kept"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("saved " + (dir / "home/programs/vorlux/untitled").string() + " (2 keys)"),
              std::string::npos)
        << out;
    std::ifstream in(layout);
    std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(json.find("\"screen\": {\"width\": 640, \"height\": 480}"), std::string::npos)
        << json;
    EXPECT_NE(json.find("\"gadgets\": ["), std::string::npos);
}

// A signal leaves the effect file as it was (or absent) and keeps the
// session's keys beside it; the exit code is 128 + the signal.
TEST_F(Edit, SignalsLeaveTheEffectAndKeepTheKeys)
{
    const fs::path effects = dir / "home/programs/vorlux";
    const std::string shown = (dir / "shown.png").string();
    const std::string script = file("s.txt", "screenshot " + shown + "\nwait 60000\n");
    EXPECT_EQ(system(("VXHOME=" + (dir / "home").string() +
                      " " VX_VXHOST " sample-effect kept --size 720x288 >/dev/null")
                         .c_str()),
              0);
    std::ifstream in(effects / "kept", std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(in)), {});
    struct Case {
        int signal;
        std::string effect;
        long keys;
    } cases[] = {{SIGINT, "kept", 4}, {SIGTERM, "kept", 4}, {SIGHUP, "fresh", 2}};
    for (const Case &c : cases) {
        fs::remove(shown);
        fs::remove(effects / (c.effect + ".recovered"));
        const pid_t pid = fork();
        if (pid == 0) {
            const std::string command = "VXHOME=" + (dir / "home").string() +
                                        " exec " VX_VXHOST " edit " VX_BUILD_PLUGIN_DIR
                                        "/VorluxWarp.so -q --fields 4 --effect " +
                                        c.effect + " --script " + script + " 2>" +
                                        (dir / "err.txt").string();
            execl("/bin/sh", "sh", "-c", command.c_str(), (char *)nullptr);
            _exit(127);
        }
        for (int i = 0; i < 3000 && !fs::exists(shown); ++i)
            usleep(10000);
        kill(pid, c.signal);
        int status = 0;
        waitpid(pid, &status, 0);
        std::ifstream err(dir / "err.txt");
        const std::string said((std::istreambuf_iterator<char>(err)), {});
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + c.signal) << said;
        const fs::path effect = effects / c.effect, recovered = effects / (c.effect + ".recovered");
        if (c.effect == "kept") {
            std::ifstream now(effect, std::ios::binary);
            EXPECT_EQ(std::string((std::istreambuf_iterator<char>(now)), {}), before);
        } else {
            EXPECT_FALSE(fs::exists(effect));
        }
        EXPECT_TRUE(fs::exists(recovered));
        EXPECT_NE(said.find(effect.string() +
                            (c.effect == "kept" ? " was left as it was" : " was not made")),
                  std::string::npos)
            << said;
        EXPECT_NE(said.find("the session's " + std::to_string(c.keys) + " keys are in " +
                            recovered.string() + ": render or edit them with --effect " + c.effect +
                            ".recovered, or keep them with: mv"),
                  std::string::npos)
            << said;
    }
}

#ifdef VX_HAVE_SDL2
TEST_F(Edit, OpensAWindow)
{
    std::string out;
    EXPECT_EQ(run("--window --script " + file("s.txt", "key 5\n") + " --fields 4", out,
                  "SDL_VIDEODRIVER=dummy", VX_FAKE_EDITOR),
              0)
        << out;
    EXPECT_EQ(lines(dir / "home" / "messages.txt"),
              (std::vector<std::string>{"1 0x5 0 0 0", "7 0x0 0 0 0"}));
}

// SDL events pushed into a dummy window come out as the screen's messages.
TEST(Window, EventsBecomeMessages)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    vxh::GuiHost host;
    vxh::installGuiHost(&host);
    vxh::initScreen(host.screen, 200, 100);
    std::string err;
    ASSERT_TRUE(vxh::openWindow(host.screen, err)) << err;
    RequestRecord request{};
    request.messageQueue = msgQCreate(10, 44, 0);
    ASSERT_EQ(vreqCreateRequest(&request), 0);
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN, e.button.button = SDL_BUTTON_RIGHT, e.button.x = 30,
    e.button.y = 40;
    SDL_PushEvent(&e);
    e.type = SDL_MOUSEBUTTONUP;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_KEYDOWN, e.key.keysym.sym = 'c', e.key.keysym.mod = KMOD_LCTRL;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    std::vector<std::pair<int, uint32_t>> got;
    EditorMessage m;
    host.screen.waitInput = [&](int timeout) { return vxh::pumpWindow(host.screen, timeout); };
    while (vgMsgQReceive(&m, 0) == 0)
        got.emplace_back(m.type, m.type == EDITOR_MSG_MOUSE_BUTTON ? m.u.mouse.button : m.u.code);
    vxh::closeWindow();
    vxh::installHost(nullptr);
    EXPECT_EQ(got,
              (std::vector<std::pair<int, uint32_t>>{{3, 2}, {3, 0x82}, {1, 0x20063}, {7, 0}}));
}

TEST(Window, KeysGiveTheirCodes)
{
    struct Case {
        int sym, scancode;
        unsigned mod;
        uint32_t code;
    } cases[] = {
        {'a', SDL_SCANCODE_A, 0, 'a'},
        {'c', SDL_SCANCODE_C, KMOD_LCTRL, 0x20063},
        {'v', SDL_SCANCODE_V, KMOD_RCTRL, 0x20076},
        {'s', SDL_SCANCODE_S, KMOD_LCTRL, 0x20073},
        {'z', SDL_SCANCODE_Z, KMOD_LCTRL | KMOD_RSHIFT, 0x22007A},
        {'c', SDL_SCANCODE_C, KMOD_LALT, 0x100063},
        {'i', SDL_SCANCODE_I, KMOD_LALT, 0x100069},
        {'t', SDL_SCANCODE_T, KMOD_LSHIFT, 0x200074},
        {'1', SDL_SCANCODE_1, KMOD_LSHIFT, 0x200031},
        {SDLK_HOME, SDL_SCANCODE_HOME, KMOD_LSHIFT, 0x20E00A},
        {SDLK_END, SDL_SCANCODE_END, KMOD_LSHIFT, 0x20E00B},
        {SDLK_DELETE, SDL_SCANCODE_DELETE, KMOD_LSHIFT, 0x20E002},
        {SDLK_F1, SDL_SCANCODE_F1, 0, 0xE010},
        {SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, KMOD_LCTRL | KMOD_LGUI, 0x4002E009},
        {SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, KMOD_LCTRL, 0x8002E002},
        {SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(vxh::keyCode(c.sym, c.scancode, c.mod), c.code) << std::hex << c.code;
}
#endif

// A preview runs set-up, every field and tear-down of the plug-in inside
// the running action and weaves the frames.
TEST_F(Edit, PreviewRendersEveryFieldNested)
{
    vxh::Plugin plugin;
    std::string err;
    ASSERT_TRUE(vxh::loadPlugin(std::string(VX_BUILD_PLUGIN_DIR) + "/VorluxMorph.so", plugin, err))
        << err;
    setenv("VXHOME", (dir / "home").c_str(), 1);
    vxh::Host host;
    host.tags = plugin.getInfo();
    host.projectWidth = 64, host.projectHeight = 32;
    host.instanceNames[1] = "preview";
    vxh::Session session;
    session.entry = vxh::entryOf(plugin);
    session.host = &host;
    session.fieldCount = 6;
    session.plan = vxh::planFields(64, 32, false, false);
    // Field f of input i is all Y = 40 + 20 i + f: frame k's even lines
    // carry field 2k, its odd lines field 2k + 1.
    std::vector<uint32_t> input;
    session.frames = [&](int i, long k, std::string &) {
        input.resize(64 * 32);
        for (int y = 0; y < 32; ++y)
            std::fill_n(&input[(size_t)y * 64], 64,
                        vxh::packYuva(uint8_t(40 + 20 * i + 2 * k + (y & 1)), 128, 128, 255));
        return (const uint32_t *)input.data();
    };
    std::vector<std::vector<uint32_t>> frames;
    const vxh::FrameSink keep = [&](std::vector<uint32_t> &pixels, std::string &) {
        const uint32_t *frame = pixels.data();
        frames.emplace_back(frame, frame + 64 * 32);
        return true;
    };
    {
        vxh::SessionBinding binding(session);
        vxh::installOperator(session);
        EXPECT_EQ(vxh::runPreview(session, keep, err), 0) << err;
    }
    EXPECT_EQ(frames.size(), 3u);
    EXPECT_TRUE(host.liveImages.empty());
    // The first frame is input 0 (the morph starts there): even lines of
    // field 0, odd lines of field 1, down to the frame's last line.
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0][0] & 0xFF, 40u);
    EXPECT_EQ(frames[0][64] & 0xFF, 41u);
    EXPECT_EQ(frames[0][64 * 31] & 0xFF, 41u);
}

} // namespace
