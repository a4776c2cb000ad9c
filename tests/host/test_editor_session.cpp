// The four editors driven end to end through `vxhost edit --script`: what
// the saved effect holds, what the journal and the screen show, the
// settings a second opening starts from, and the render of the result.
#include <map>
#include <sstream>

#include "cli_support.h"
#include "fileio/effectcodec.h"
#include "host/io/png.h"

namespace {

using namespace clitest;

struct Key {
    uint32_t frame;
    int32_t level;
    std::vector<float> grid;
    bool painted() const
    {
        return std::any_of(grid.begin(), grid.end(), [](float v) { return v != 0.0f; });
    }
};

std::string slurp(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The keys of an effect file, read with the shared codec.
std::vector<Key> readEffect(const fs::path &path, EffectHeader &header)
{
    const std::string bytes = slurp(path);
    std::vector<Key> keys;
    if (bytes.size() < EFFECT_HEADER_BYTES)
        return keys;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    decodeEffectHeader(p, header);
    if (const char *fault = effectLayoutFault(header, bytes.size())) {
        ADD_FAILURE() << path << " " << fault;
        return keys;
    }
    const size_t nodes = effectNodeCount(header.width, header.height);
    p += EFFECT_HEADER_BYTES;
    for (uint32_t k = 0; k < header.keyCount; ++k) {
        Key key{0, 0, std::vector<float>(2 * nodes)};
        decodeKeyHead(p, key.frame, key.level);
        decodeNodes(p + EFFECT_KEY_HEAD_BYTES, nodes, key.grid.data());
        p += effectKeyBytes(header.width, header.height);
        keys.push_back(std::move(key));
    }
    return keys;
}

// The objects of one list of a --dump-layout file (one object a line), as
// field -> text.
using Fields = std::map<std::string, std::string>;
std::vector<Fields> layoutItems(const fs::path &path, const std::string &list)
{
    std::istringstream in(slurp(path));
    std::vector<Fields> items;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.find("\"" + list + "\": [") != std::string::npos)
            inside = true;
        else if (inside && line.find(']') != std::string::npos &&
                 line.find('{') == std::string::npos)
            inside = false;
        else if (inside) {
            Fields f;
            std::string body =
                line.substr(line.find('{') + 1, line.rfind('}') - line.find('{') - 1);
            std::istringstream parts(body);
            for (std::string part; std::getline(parts, part, ',');) {
                const size_t colon = part.find("\": ");
                const size_t open = part.find('"');
                f[part.substr(open + 1, colon - open - 1)] = part.substr(colon + 3);
            }
            items.push_back(f);
        }
    }
    return items;
}

// The gadget named NAME ("img:203") or bound to key CODE.
Fields gadget(const std::vector<Fields> &gadgets, const std::string &name, uint32_t code = 0)
{
    for (const Fields &g : gadgets)
        if (g.at("name") == "\"" + name + "\"" || (code && g.at("key") == std::to_string(code)))
            return g;
    return {};
}

// The overview picture of a 128x96 clip on a 1024x768 screen.
std::vector<uint32_t> overview(const fs::path &png)
{
    int w = 0, h = 0;
    std::vector<uint32_t> pixels, out;
    std::string err;
    EXPECT_TRUE(vxh::readPng(png.string(), w, h, pixels, err)) << err;
    EXPECT_EQ(w, 1024);
    for (int y = 367; y < 475 && w == 1024; ++y)
        out.insert(out.end(), &pixels[y * w + 280], &pixels[y * w + 424]);
    return out;
}

size_t lineCount(const fs::path &path)
{
    const std::string text = slurp(path);
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

struct Variant {
    const char *plugin;
    bool keyLevel, viewBlend;
    const char *done;
    std::vector<int32_t> levels; // of the keys at frames 0, 2, 3, 4
};

void PrintTo(const Variant &v, std::ostream *os)
{
    *os << v.plugin;
}

// On a 1024x768 screen a 128x96 clip gets an edit view at (456, 394),
// 288x216, an overview at (280, 367) and a timeline whose marker row is
// y 507..516 and key row y 489..502, with frame(x) = (x - 282) * 4 / 154.
std::string sessionScript(const Variant &v, const std::string &painted)
{
    std::string s = "press 520 450\nmove 540 460\nmove 560 470\nrelease 560 470\n" // paint key 0
                    "key 0x20063\n"                                                // copy
                    "click 322 510\nkey 0x20076\n" // frame 1: paste inserts a key (level 63)
                    "click 359 510\n"              // frame 2
                    "press 520 450\nmove 540 440\nmove 560 430\nrelease 560 430\n" // new key, 127
                    "press 600 500 right\nmove 620 510\nmove 640 520\nrelease 640 520 right\n";
    if (v.keyLevel)
        s += "gadget str:404 200\n";
    s += "gadget key:101 1\ngadget str:110 40\n" // a generator on key 2
         "key 0x20073\n"                         // swap: key 2 gets key 0's mesh
         "click 398 510\nkey 0x20076\n"          // frame 3: the generated mesh, level 227
         "click 322 495\ngadget str:403 0\n"     // the key row snaps to key 1; delete it
         "gadget img:212 1\nclick 330 400\n"     // zoom 1 about overview point (50, 33)
         "gadget img:203 1\ngadget key:109 4\ngadget key:115 1\n"
         "gadget host:46 0\n" // the last key, painted at zoom 1
         "press 500 420\nmove 530 430\nmove 560 440\nrelease 560 440\n"
         "screenshot " +
         painted + "\n";
    if (v.viewBlend)
        s += "gadget img:218 0\ngadget key:118 77\n";
    return s + "gadget str:405 0\n" + v.done + "\n";
}

struct EditorSession : Cli, ::testing::WithParamInterface<Variant> {
    std::string edit(const Variant &v, const std::string &args, int &code)
    {
        CliRun run = vxhost("edit " + plugin(v.plugin) + " --input0 " + (dir / "a.y4m").string() +
                                " --input1 " + (dir / "b.y4m").string() + " " + args + " -q",
                            home);
        code = run.code;
        return run.output;
    }
};

TEST_P(EditorSession, PaintsKeysAndRendersWhatItPreviewed)
{
    const Variant &v = GetParam();
    smallClip("a.y4m", 128, 96, 5, 1);
    smallClip("b.y4m", 128, 96, 5, 2);
    std::ofstream(dir / "s.txt") << sessionScript(v, (dir / "painted.png").string());
    int code;
    std::string out = edit(v,
                           "--effect e --script " + (dir / "s.txt").string() + " --preview-out " +
                               (dir / "pv").string(),
                           code);
    ASSERT_EQ(code, 0) << out;

    const fs::path effect = dir / "home/programs/vorlux/e";
    EffectHeader header{};
    const std::vector<Key> keys = readEffect(effect, header);
    EXPECT_EQ(header.width, 128);
    EXPECT_EQ(header.height, 48);
    ASSERT_EQ(keys.size(), 4u);
    for (size_t k = 0; k < keys.size(); ++k) {
        EXPECT_EQ(keys[k].frame, (std::vector<uint32_t>{0, 2, 3, 4})[k]);
        EXPECT_EQ(keys[k].level, v.levels[k]) << "key " << k;
        EXPECT_TRUE(keys[k].painted()) << "key " << k;
    }
    EXPECT_EQ(keys[1].grid, keys[0].grid); // swapped in from the clipboard
    EXPECT_NE(keys[2].grid, keys[0].grid);
    // A new effect logs once that it had no file; nothing else went wrong.
    EXPECT_EQ(lineCount(dir / "home/log/journal"), 1u);

    // The render of the saved effect gives the frames the preview showed.
    CliRun render = vxhost("render " + plugin(v.plugin) + " --effect e --input0 " +
                               (dir / "a.y4m").string() + " --input1 " + (dir / "b.y4m").string() +
                               " -q -o " + (dir / "r%04d.png").string(),
                           home);
    ASSERT_EQ(render.code, 0) << render.output;
    for (int f = 0; f < 5; ++f) {
        const std::string n = "000" + std::to_string(f) + ".png";
        EXPECT_EQ(slurp(dir / ("r" + n)), slurp(dir / "pv" / ("preview1_" + n))) << f;
    }
    EXPECT_FALSE(fs::exists(dir / "pv/preview1_0005.png"));
    EXPECT_FALSE(fs::exists(dir / "pv/preview2_0000.png"));

    // A second opening starts from the settings the first one left and,
    // closed at once, writes the same effect. Its overview shows the last
    // key as the first opening showed it right after painting.
    const std::string before = slurp(effect);
    out = edit(v,
               "--effect e --dump-layout " + (dir / "l.json").string() + " --screenshot " +
                   (dir / "reopened.png").string(),
               code);
    ASSERT_EQ(code, 0) << out;
    EXPECT_EQ(slurp(effect), before);
    EXPECT_EQ(overview(dir / "reopened.png"), overview(dir / "painted.png"));
    EXPECT_EQ(lineCount(dir / "home/log/journal"), 1u);
    const std::vector<Fields> gadgets = layoutItems(dir / "l.json", "gadgets");
    const struct {
        const char *name;
        uint32_t key;
        const char *value;
    } restored[] = {{"img:203", 0, "1"}, {"img:201", 0, "0"},
                    {"img:212", 0, "1"}, {"", 109, "4"},
                    {"str:400", 0, "1"}, {"", 101, "1"},
                    {"", 0x200074, "4"}, {"", 118, v.viewBlend ? "77" : ""}};
    for (const auto &r : restored)
        EXPECT_EQ(gadget(gadgets, r.name, r.key)["value"], r.value) << r.name << r.key;
    EXPECT_EQ(gadget(gadgets, "str:110")["enabled"], "true");
    const CliRun state = vxhost("state " + plugin(v.plugin) + " --effect e", home);
    for (const char *line : {"  zoom point x   50\n", "  zoom point y   33\n",
                             "  scroll x       6\n", "  scroll y       1\n"})
        EXPECT_NE(state.output.find(line), std::string::npos) << line << state.output;

    // Ctrl+Z as a script line takes a stroke back; Ctrl+Y and Ctrl+Shift+Z
    // bring it back as the stroke alone leaves it.
    const std::string stroke = "press 520 450\nmove 540 460\nmove 560 470\nrelease 560 470\n";
    std::map<std::string, std::string> saved;
    for (const char *keys : {"", "key 0x2007A\n", "key 0x2007A\nkey 0x20079\n",
                             "key 0x2007A\nkey 0x22007A\nkey 0x2007A\nkey 0x22007A\n"}) {
        std::ofstream(effect, std::ios::binary) << before;
        std::ofstream(dir / "u.txt") << stroke + keys + v.done + "\n";
        out = edit(v, "--effect e --script " + (dir / "u.txt").string(), code);
        ASSERT_EQ(code, 0) << out;
        saved[keys] = slurp(effect);
    }
    EXPECT_NE(saved[""], before);
    EXPECT_EQ(saved["key 0x2007A\n"], before);
    EXPECT_EQ(saved["key 0x2007A\nkey 0x20079\n"], saved[""]);
    EXPECT_EQ(saved["key 0x2007A\nkey 0x22007A\nkey 0x2007A\nkey 0x22007A\n"], saved[""]);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, EditorSession,
    ::testing::Values(Variant{"VorluxMorph", true, true, "gadget host:50 0", {0, 200, 227, 255}},
                      Variant{"VorluxDraw", false, true, "gadget host:50 0", {0, 0, 0, 255}},
                      Variant{"VorluxFX", true, true, "gadget host:50 0", {0, 200, 227, 255}},
                      Variant{"VorluxWarp", false, false, "key 0x100069", {0, 0, 0, 100}}),
    [](const ::testing::TestParamInfo<Variant> &info) { return std::string(info.param.plugin); });

// Panels 1-9 (overview box, edit box, preview, brush and generator boxes,
// overview and edit view pictures, logo box and picture) and the Done
// button, worked out from the layout rules by hand. The font gives rows of
// 19 pixels.
TEST_F(Cli, EditorLayoutFollowsScreenAndClip)
{
    using Rect = std::array<int, 4>;
    const struct Case {
        const char *plugin;
        int guiMode, sw, sh, fw, fh, fields;
        std::array<Rect, 9> panels;
        const char *done, *reset;
        Rect doneRect;
    } cases[] = {
        // clang-format off
        // The edit box fits: W = 195; the bottom row moves right by 7 / 2 = 3.
        // The classic GUI has a wider Done button of the plug-in's own.
        {"VorluxMorph", 0, 641, 768, 480, 360, 4,
         {{{0, 252, 217, 327}, {227, 252, 414, 370}, {99, 669, 150, 93}, {259, 669, 184, 93},
           {453, 669, 184, 93}, {8, 260, 203, 154}, {235, 287, 398, 300}, {3, 654, 86, 108},
           {13, 664, 68, 90}}},
         "img:215", "str:408", {589, 731, 40, 23}},
        // Too low for the edit box of W = 322 (561 > 295): it takes the 295
        // pixels there are and W becomes int(int(217 * 4 / 3) * 0.5) = 144;
        // without a key level the overview box is 19 + 8 pixels shorter.
        {"VorluxDraw", 3, 1024, 768, 128, 96, 10,
         {{{268, 355, 166, 262}, {444, 355, 312, 295}, {291, 669, 150, 93}, {451, 669, 184, 93},
           {645, 669, 184, 93}, {276, 363, 152, 116}, {452, 390, 296, 224}, {195, 654, 86, 108},
           {205, 664, 68, 90}}},
         "host:50", "str:401", {789, 731, 32, 23}},
        // Narrower than the bottom row: it moves by -333 / 2 = -166; three
        // fields make a one-frame clip.
        {"VorluxWarp", 3, 301, 480, 128, 96, 3,
         {{{50, 211, 70, 190}, {130, 211, 120, 151}, {-70, 381, 150, 93}, {90, 381, 184, 93},
           {284, 381, 184, 93}, {58, 219, 56, 44}, {138, 246, 104, 80}, {-166, 366, 86, 108},
           {-156, 376, 68, 90}}},
         "host:51", "str:401", {428, 443, 32, 23}},
        // clang-format on
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.plugin);
        const std::string clip = smallClip("c.y4m", c.fw, c.fh, 2, 0);
        const fs::path layout = dir / "l.json";
        const CliRun run = vxhost(
            "edit " + plugin(c.plugin) + " --input0 " + clip + " --input1 " + clip + " --fields " +
                std::to_string(c.fields) + " --screen " + std::to_string(c.sw) + "x" +
                std::to_string(c.sh) + " -q --effect l" + std::to_string(c.sw) + " --gui-mode " +
                std::to_string(c.guiMode) + " --dump-layout " + layout.string(),
            home);
        ASSERT_EQ(run.code, 0) << run.output;
        const std::vector<Fields> panels = layoutItems(layout, "panels");
        const std::vector<Fields> gadgets = layoutItems(layout, "gadgets");
        ASSERT_EQ(panels.size(), 13u);
        auto rect = [](const Fields &f) {
            return Rect{std::stoi(f.at("x")), std::stoi(f.at("y")), std::stoi(f.at("w")),
                        std::stoi(f.at("h"))};
        };
        for (size_t i = 0; i < 9; ++i)
            EXPECT_EQ(rect(panels[i]), c.panels[i]) << "panel " << i + 1;
        const bool warp = std::string(c.plugin) == "VorluxWarp";
        const Fields done = gadget(gadgets, c.done);
        ASSERT_FALSE(done.empty());
        EXPECT_EQ(rect(done), c.doneRect);
        EXPECT_FALSE(gadget(gadgets, c.reset).empty());
        EXPECT_EQ(done.at("key"), std::to_string(warp ? 0x100069 : 0x100063));
        const Fields frame = gadget(gadgets, "", 0x200074);
        EXPECT_EQ(frame.at("max"), std::to_string(c.fields / 2 - 1));
        // Only the morph and FX editors have a key level; the warp's has no view blend row.
        EXPECT_EQ(gadget(gadgets, "str:404").empty(), std::string(c.plugin) != "VorluxMorph");
        for (const char *name : {"img:216", "img:217", "img:218"})
            EXPECT_EQ(gadget(gadgets, name).empty(), warp) << name;
        EXPECT_EQ(gadget(gadgets, "", 118).empty(), warp);
    }
}

// One effect through several openings: close drops the current key's
// edits and Done keeps them; Reset asks first.
TEST_F(Cli, EditorLeavesAndResets)
{
    const std::string clip = smallClip("c.y4m", 128, 96, 5, 3);
    const std::string paint = "press 520 450\nmove 560 470\nrelease 560 470\n";
#ifdef VX_HAVE_SDL2
    const std::string window = "--window"; // the script plays in a (dummy) window
#else
    const std::string window;
#endif
    const struct Step {
        std::string script, args;
        std::vector<uint32_t> frames;
        std::vector<int32_t> levels;
        std::vector<bool> painted;
        std::string keyLevel; // the slider as the editor leaves
    } steps[] = {
        {paint + "close\n", "", {0, 4}, {0, 255}, {false, false}, "0"},
        {paint + "gadget host:50 0\n", window, {0, 4}, {0, 255}, {true, false}, "0"},
        // Frame 2 (saved): the press inserts a key with the level and mesh
        // interpolated there; the stroke itself is dropped by close.
        {"click 359 510\n" + paint + "gadget str:401 0\n",
         "--reply 2",
         {0, 2, 4},
         {0, 127, 255},
         {true, true, false},
         "127"},
        {"gadget str:401 0\n", "--reply 1", {0, 4}, {0, 255}, {false, false}, "0"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.script);
        std::ofstream(dir / "s.txt") << s.script;
        const CliRun run =
            vxhost("edit " + plugin("VorluxMorph") + " --input0 " + clip + " --input1 " + clip +
                       " -q --script " + (dir / "s.txt").string() + " --dump-layout " +
                       (dir / "l.json").string() + " " + s.args,
                   home + " SDL_VIDEODRIVER=dummy");
        ASSERT_EQ(run.code, 0) << run.output;
        EffectHeader header{};
        const std::vector<Key> keys = readEffect(dir / "home/programs/vorlux/untitled", header);
        ASSERT_EQ(keys.size(), s.frames.size());
        for (size_t k = 0; k < keys.size(); ++k) {
            EXPECT_EQ(keys[k].frame, s.frames[k]);
            EXPECT_EQ(keys[k].level, s.levels[k]);
            EXPECT_EQ(keys[k].painted(), s.painted[k]) << "key " << k;
        }
        EXPECT_EQ(gadget(layoutItems(dir / "l.json", "gadgets"), "str:404")["value"], s.keyLevel);
    }
}

// Key navigation with keys on frames 0, 3, 6 and 8 of frames 0..8, one
// opening per step, each starting where the last one left. Thumbnails:
// previous x 302..333, current 344..375, next 386..417, y 527..550; the
// timeline maps x to (x - 282) * 8 / 154 on its key row (y 495) and its
// marker row (y 510).
TEST_F(Cli, EditorNavigatesKeys)
{
    const std::string clip = smallClip("c.y4m", 128, 96, 9, 4);
    // The keys inserted on 3 and 6 take the levels there: 255 * 3 / 8 = 95
    // and (255 * 3 + 95 * 2) / 5 = 191; the key-level slider follows.
    const struct Step {
        const char *script;
        int frame, level;
    } steps[] = {
        {"click 340 510\npress 520 450\nrelease 520 450\n"
         "click 398 510\npress 520 450\nrelease 520 450",
         6, 191},
        {"click 310 535", 3, 95},                 // previous key
        {"click 310 535", 0, 0},                  //
        {"click 310 535", 0, 0},                  // none before frame 0
        {"click 400 535", 3, 95},                 // next key
        {"click 359 510\nclick 310 535", 3, 95},  // from frame 4 inside 3..6: its key
        {"click 379 510\nclick 350 535", 3, 95},  // from 5: the key at or before
        {"click 379 510\nclick 400 535", 6, 191}, // from 5: the next key
        {"gadget host:46 0", 8, 255},             // last key
        {"click 400 535", 8, 255},                // none after the last frame
        {"gadget host:45 0", 0, 0},               // first key
        {"click 417 495", 6, 191},                // frame 7: a tie goes to the earlier key
        {"click 379 495", 6, 191},                // frame 5: the nearer key
        {"click 278 495", 0, 0},                  // left of the scale: frame 0
        {"click 440 495", 8, 255},                // right of it: the last frame
        // The frame slider by keyboard: two steps back, let go, pictures refreshed.
        {"key 0x200074\nkey 0xE004\nkey 0xE004\nkey 0xE001", 6, 191},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.script);
        std::ofstream(dir / "s.txt") << s.script << "\n";
        const CliRun run =
            vxhost("edit " + plugin("VorluxFX") + " -q --input0 " + clip + " --input1 " + clip +
                       " --script " + (dir / "s.txt").string() + " --dump-layout " +
                       (dir / "l.json").string(),
                   home);
        ASSERT_EQ(run.code, 0) << run.output;
        const std::vector<Fields> gadgets = layoutItems(dir / "l.json", "gadgets");
        EXPECT_EQ(gadget(gadgets, "", 0x200074)["value"], std::to_string(s.frame));
        EXPECT_EQ(gadget(gadgets, "str:404")["value"], std::to_string(s.level));
    }
    EffectHeader header{};
    std::vector<uint32_t> frames;
    for (const Key &k : readEffect(dir / "home/programs/vorlux/untitled", header))
        frames.push_back(k.frame);
    EXPECT_EQ(frames, (std::vector<uint32_t>{0, 3, 6, 8}));
}

// Fields as render makes them: an effect made on a clip of odd height,
// bottom field first, fits its render, and the preview is that render.
TEST_F(Cli, EditorEffectFitsOddBottomFirstClips)
{
    vxh::Clip clip;
    clip.width = 128, clip.height = 97, clip.interlace = 'b';
    for (uint32_t f = 0; f < 3; ++f) {
        clip.frames.emplace_back(128 * 97);
        for (size_t i = 0; i < clip.frames[f].size(); ++i)
            clip.frames[f][i] = (uint32_t)(i * 2654435761u + f * 7919u) | 0xFF000000u;
    }
    std::string err;
    ASSERT_TRUE(vxh::writeClip((dir / "c.y4m").string(), clip, err)) << err;
    std::ofstream(dir / "s.txt") << "press 520 450\nmove 560 470\nrelease 560 470\n"
                                    "gadget str:405 0\nkey 0x100069\n";
    const std::string in = plugin("VorluxWarp") + " -q --input0 " + (dir / "c.y4m").string();
    CliRun run = vxhost("edit " + in + " --script " + (dir / "s.txt").string() + " --preview-out " +
                            (dir / "pv").string(),
                        home);
    ASSERT_EQ(run.code, 0) << run.output;
    EffectHeader header{};
    const std::vector<Key> keys = readEffect(dir / "home/programs/vorlux/untitled", header);
    EXPECT_EQ(header.height, 49);
    ASSERT_FALSE(keys.empty());
    EXPECT_TRUE(keys[0].painted());
    run = vxhost("render " + in + " -o " + (dir / "r%04d.png").string(), home);
    ASSERT_EQ(run.code, 0) << run.output;
    for (int f = 0; f < 3; ++f) {
        const std::string n = "000" + std::to_string(f) + ".png";
        EXPECT_EQ(slurp(dir / ("r" + n)), slurp(dir / "pv" / ("preview1_" + n))) << f;
    }
}

// An effect file the editor cannot load is not opened unasked (leaving
// would replace it with the default effect); one it cannot write is a
// failed session.
TEST_F(Cli, EditorKeepsEffectsItCannotOpenOrSave)
{
    const std::string clip = smallClip("c.y4m", 64, 32, 2, 0);
    const fs::path effects = dir / "home/programs/vorlux";
    ASSERT_EQ(vxhost("sample-effect other --size 128x48 --frames 5", home).code, 0);
    fs::create_directories(effects / "busy");
    const std::string other = slurp(effects / "other");
    const struct Case {
        const char *args;
        int code;
        std::string says;
    } cases[] = {
        {"--effect other", 2, "made for pictures of 128x48 but these fields are 64x16"},
        {"--effect busy", 2, "(" + (effects / "busy").string() + ") is a directory"},
        {"--effect busy --allow-default-effect", 1,
         "the effect " + (effects / "busy").string() + " was not saved\nvxhost: journal: level=4"},
    };
    for (const Case &c : cases) {
        const CliRun run = vxhost("edit " + plugin("VorluxFX") + " -q --input0 " + clip +
                                      " --input1 " + clip + " " + c.args,
                                  home);
        EXPECT_EQ(run.code, c.code) << c.args;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
    EXPECT_EQ(slurp(effects / "other"), other);
    EXPECT_TRUE(fs::is_directory(effects / "busy"));
}

} // namespace

namespace {

// A progressive clip of w x h: lines alternately light and dark, a little
// different in each frame.
std::string linesClip(const fs::path &path, int w, int h, int n)
{
    vxh::Clip clip;
    clip.width = w;
    clip.height = h;
    clip.interlace = 'p';
    for (int f = 0; f < n; ++f) {
        std::vector<uint32_t> frame((size_t)w * h);
        for (int y = 0; y < h; ++y)
            std::fill_n(&frame[(size_t)y * w], w, (y % 2 ? 0xFF808020u : 0xFF8080E0u) + f);
        clip.frames.push_back(frame);
    }
    std::string err;
    EXPECT_TRUE(vxh::writeClip(path.string(), clip, err)) << err;
    return path.string();
}

// An effect of two keys (frames 0 and frames-1, level 255) that shift the
// picture down by `lines` of its own lines.
void writeShift(const fs::path &path, int w, int h, uint32_t frames, float lines)
{
    const size_t nodes = effectNodeCount(w, h), key = effectKeyBytes(w, h);
    std::vector<float> grid(2 * nodes);
    for (size_t i = 1; i < grid.size(); i += 2)
        grid[i] = -lines / 2; // in mesh rows of two lines
    std::vector<unsigned char> bytes(EFFECT_HEADER_BYTES + 2 * key);
    encodeEffectHeader({EFFECT_MAGIC, frames, w, h, 2}, bytes.data());
    for (int k = 0; k < 2; ++k) {
        unsigned char *at = bytes.data() + EFFECT_HEADER_BYTES + k * key;
        encodeKeyHead(k ? frames - 1 : 0, 255, at);
        encodeNodes(grid.data(), nodes, at + EFFECT_KEY_HEAD_BYTES);
    }
    std::ofstream(path, std::ios::binary).write((const char *)bytes.data(), bytes.size());
}

} // namespace

// A progressive clip is edited as whole frames, in a window and by script:
// the effect is made for the frame size and the clip's length, the render
// picks whole frames from its size and gives what the preview showed.
// Warped by a shift of one line, a frame of alternating lines turns over
// whole, where its fields (each of one shade) would not move at all.
TEST_F(Cli, ProgressiveClipsAreEditedAndRenderedAsWholeFrames)
{
    const std::string clip = linesClip(dir / "p.y4m", 128, 96, 5);
    const fs::path effects = dir / "home/programs/vorlux";
    const std::string warp = plugin("VorluxWarp") + " -q --input0 " + clip;
#ifdef VX_HAVE_SDL2
    const std::string window = " --window";
#else
    const std::string window;
#endif
    std::ofstream(dir / "s.txt")
        << "press 520 450\nmove 560 470\nrelease 560 470\ngadget str:405 0\nkey 0x100069\n";
    for (const std::string &args : {" --progressive" + window, std::string(" --progressive")}) {
        fs::remove_all(dir / "pv");
        const CliRun edit =
            vxhost("edit " + warp + " --effect e --script " + (dir / "s.txt").string() +
                       " --preview-out " + (dir / "pv").string() + args,
                   home + " SDL_VIDEODRIVER=dummy");
        ASSERT_EQ(edit.code, 0) << args << "\n" << edit.output;
        EffectHeader header{};
        const std::vector<Key> keys = readEffect(effects / "e", header);
        EXPECT_EQ(header.width, 128);
        EXPECT_EQ(header.height, 96);
        EXPECT_EQ(header.frameCount, 5u);
        ASSERT_FALSE(keys.empty());
        EXPECT_TRUE(keys[0].painted());
        const CliRun render =
            vxhost("render " + warp + " --effect e -o " + (dir / "r%04d.png").string(), home);
        ASSERT_EQ(render.code, 0) << render.output;
        EXPECT_NE(render.output.find("effect 'e' is made for whole frames of 128x96: rendering "
                                     "them progressive"),
                  std::string::npos)
            << render.output;
        for (int f = 0; f < 5; ++f) {
            const std::string n = "000" + std::to_string(f) + ".png";
            EXPECT_EQ(slurp(dir / ("r" + n)), slurp(dir / "pv" / ("preview1_" + n))) << f;
        }
        EXPECT_FALSE(fs::exists(dir / "pv/preview1_0005.png"));
    }

    // A new effect for a progressive clip is made for its fields unless asked.
    const CliRun fresh = vxhost("edit " + warp + " --effect fresh", home);
    EXPECT_NE(fresh.output.find("input 0 is progressive, but the new effect 'fresh' is made for "
                                "its fields: --progressive makes it for whole frames"),
              std::string::npos)
        << fresh.output;

    writeShift(effects / "shift", 128, 96, 5, 1);
    ASSERT_EQ(vxhost("effect resize shift fshift --size 128x48", home).code, 0);
    const struct Case {
        const char *args;
        int turned; // 1: each line takes the next one's shade; 0: unchanged
    } cases[] = {
        {" --effect shift", 1},
        {" --effect shift --progressive", 1},
        {" --effect fshift --interlaced", 0},
        {" --effect fshift", 0},
    };
    std::string err;
    vxh::Clip frames;
    ASSERT_TRUE(vxh::readClip(clip, frames, err) &&
                vxh::writeClip((dir / "in%04d.png").string(), frames, err))
        << err;
    for (const Case &c : cases) {
        const CliRun render =
            vxhost("render " + warp + c.args + " -o " + (dir / "o%04d.png").string(), home);
        ASSERT_EQ(render.code, 0) << c.args << "\n" << render.output;
        for (int f = 0; f < 5; ++f) {
            std::vector<uint32_t> in, out;
            int w, h;
            const std::string n = "000" + std::to_string(f) + ".png";
            ASSERT_TRUE(vxh::readPng((dir / ("in" + n)).string(), w, h, in, err)) << err;
            ASSERT_TRUE(vxh::readPng((dir / ("o" + n)).string(), w, h, out, err)) << err;
            // Within the mesh: the last cell column and row are not moved.
            for (int y = 2; y < h - 2; ++y)
                for (int x = 0; x < w - 4; ++x)
                    ASSERT_EQ(out[(size_t)y * w + x], in[(size_t)(y - c.turned) * w + x])
                        << c.args << " frame " << f << " line " << y << " x " << x;
        }
    }
}
