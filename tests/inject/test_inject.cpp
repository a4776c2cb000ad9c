// Fault injection swept over whole runs: a test host whose opAllocImage and
// opGetField fail at the Nth call, the core's heap and the file layer's
// opens, writes, flushes to disk and renames likewise, each N in turn until
// a run no longer reaches it. Every run must end cleanly: the output of a
// run that says it succeeded is the fault-free one to the bit, a failure
// comes with a message, nothing leaks, and every file on disk is the old one
// or the new one, never a part (nor a temporary left beside it).
//
// Runs in a few seconds by striding over N; VX_FULL_SWEEP=1 takes every N.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#ifdef VX_SANITIZED
#include <sanitizer/lsan_interface.h>
#endif

#include "engine/heap.h"
#include "fileio/atomicfile.h"
#include "fileio/effectfiles.h"
#include "host/cli/edit.h"
#include "host/cli/render.h"
#include "host/cli/sampleeffect.h"
#include "host/cli/script.h"
#include "host/core/home.h"
#include "host/core/instance.h"
#include "host/core/plugin.h"
#include "host/core/session.h"
#include "host/io/y4m.h"
#include "host/gui/gui.h"
#include "operator/frame/dispatch.h"
#include "platform/services.h"
#include "variants/variant.h"

namespace {

namespace fs = std::filesystem;

// The calls that fail, one kind per sweep.
enum Fault { HEAP, GUI_HEAP, IMAGE, FIELD, OPEN, WRITE, SYNC, RENAME, FAULT_KINDS };
const char *const FAULT_NAMES[FAULT_KINDS] = {"heap", "vgAllocGadExt", "opAllocImage", "opGetField",
                                              "open", "write",         "fsync",        "rename"};
const FileCall FILE_CALL_OF[FAULT_KINDS] = {FILE_CALL_KINDS, FILE_CALL_KINDS, FILE_CALL_KINDS,
                                            FILE_CALL_KINDS, FILE_OPEN,       FILE_WRITE,
                                            FILE_SYNC,       FILE_RENAME};

// ---- The test host: the host's own services with two entries counted ----

struct HostFaults {
    long imagesLeft = -1, fieldsLeft = -1; // calls before the failing one; -1 none
    bool failed = false;
    VxHostServices inner = {};
} hostFaults;

bool hostCallAllowed(long &left)
{
    if (left < 0 || left-- > 0)
        return true;
    hostFaults.failed = true;
    return false;
}

HostImage *allocImageCounted(void *host, int a, int b, int c, int d)
{
    return hostCallAllowed(hostFaults.imagesLeft) ? hostFaults.inner.allocImage(host, a, b, c, d)
                                                  : nullptr;
}

HostImage *getFieldCounted(void *host, int input, uint32_t field)
{
    return hostCallAllowed(hostFaults.fieldsLeft) ? hostFaults.inner.getField(host, input, field)
                                                  : nullptr;
}

VxHostServices countedServices(const VxHostServices &services)
{
    hostFaults.inner = services;
    VxHostServices counted = services;
    counted.allocImage = allocImageCounted;
    counted.getField = getFieldCounted;
    return counted;
}

// Makes call N (0: the next) of kind fail; FAULT_KINDS disarms them all.
void arm(Fault kind, long n)
{
    failAllocationAfter(kind == HEAP ? n : -1);
    vxFailGuiAllocationAfter(kind == GUI_HEAP ? n : -1);
    hostFaults.imagesLeft = kind == IMAGE ? n : -1;
    hostFaults.fieldsLeft = kind == FIELD ? n : -1;
    hostFaults.failed = false;
    const FileCall armed = kind < FAULT_KINDS ? FILE_CALL_OF[kind] : FILE_CALL_KINDS;
    failFileCallAfter(armed == FILE_CALL_KINDS ? FILE_OPEN : armed,
                      armed == FILE_CALL_KINDS ? -1 : n);
}

bool fired(Fault kind)
{
    if (kind == HEAP)
        return allocationFailed();
    if (kind == GUI_HEAP)
        return vxGuiAllocationFailed();
    if (kind == IMAGE || kind == FIELD)
        return hostFaults.failed;
    return fileCallFailed(FILE_CALL_OF[kind]);
}

// Blocks lost since the last check (none without the sanitizers).
bool leaked()
{
#ifdef VX_SANITIZED
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}

// The fault of the current run, armed by the run once its operator and
// files are in place.
struct {
    Fault kind = FAULT_KINDS;
    long n = -1;
} pending;

void startFaults()
{
    arm(pending.kind, pending.n);
}

// Runs run() with call N of kind failing (from its startFaults() on), for
// N = 0, stride, 2 stride ... until a run that never reached call N; stops
// at the first leak.
template <class Run> void sweep(Fault kind, long stride, Run run)
{
    if (getenv("VX_FULL_SWEEP"))
        stride = 1;
    long runs = 0, n = 0;
    for (;; n += stride) {
        pending = {kind, n};
        run(n);
        const bool reached = fired(kind);
        arm(FAULT_KINDS, -1);
        ++runs;
        if (leaked()) {
            ADD_FAILURE() << FAULT_NAMES[kind] << " failing at call " << n << " leaked";
            break;
        }
        if (!reached || ::testing::Test::HasFatalFailure())
            break;
    }
    pending = {FAULT_KINDS, -1};
    printf("[ sweep    ] %-13s %4ld runs: calls 0..%ld every %ld\n", FAULT_NAMES[kind], runs, n,
           stride);
}

// ---- Operators living in the test's process, driven as a plug-in is ----

struct Operator {
    const VariantDesc *variant;
    void *self;
    explicit Operator(const VariantDesc &v) : variant(&v), self(v.hooks->create(v)) {}
    ~Operator() { variant->hooks->destroy(self); }
    vxh::OperatorEntry entry() { return {this, describe, act}; }
    static const OpTagItem *describe(void *op)
    {
        const Operator &o = *(const Operator *)op;
        return o.variant->hooks->describe(o.self, nullptr);
    }
    static int act(void *op, ActionRecord *record)
    {
        const Operator &o = *(const Operator *)op;
        return dispatchAction(*o.variant, o.self, record);
    }
};

// A 128x96 clip of 5 frames per input, its values changing with place,
// frame and input.
constexpr int W = 128, H = 96, FRAMES = 5;
struct Clips {
    std::vector<uint32_t> frames[2][FRAMES];
    Clips()
    {
        for (int input = 0; input < 2; ++input)
            for (int k = 0; k < FRAMES; ++k)
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x < W; ++x)
                        frames[input][k].push_back(
                            vxh::packYuva((uint8_t)(x * 7 + y * 3 + k * 29 + input * 90),
                                          (uint8_t)(x + 2 * y), (uint8_t)(255 - x - k * 40), 255));
    }
} clips;

void prepareSession(vxh::Session &s, Operator &op, vxh::Host &host, const VxHostServices &services)
{
    host.instanceNames[1] = "e";
    host.projectWidth = W;
    host.projectHeight = H;
    host.tags = Operator::describe(&op);
    s.entry = op.entry();
    s.host = &host;
    s.services = countedServices(services);
    s.fieldCount = 2 * FRAMES;
    s.plan = vxh::planFields(W, H, false, false);
    s.frames = [](int input, long k, std::string &) {
        return clips.frames[input][std::min<long>(k, FRAMES - 1)].data();
    };
}

fs::path home()
{
    return getenv("VXHOME");
}

std::string slurp(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Temporaries left in dir by replacements.
int temporaries(const fs::path &dir)
{
    int n = 0;
    for (const auto &entry : fs::directory_iterator(dir))
        n += entry.path().filename().string().find(".tmp-") != std::string::npos;
    return n;
}

bool saidWhy(const std::vector<std::string> &journal)
{
    return std::any_of(journal.begin(), journal.end(), [](const std::string &line) {
        return line.find_first_not_of(' ') != std::string::npos;
    });
}

struct Sweeps : ::testing::Test {
    // A home of its own below the test home: ctest runs the tests at once.
    void SetUp() override
    {
        static const fs::path base = getenv("VXHOME") ? getenv("VXHOME") : "/tmp";
        const fs::path dir =
            base / "inject" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir / "programs/vorlux/op");
        setenv("VXHOME", dir.c_str(), 1);
        std::string err;
        ASSERT_TRUE(vxh::ensureHome(err)) << err;
    }
};

// ---- A whole render ----

struct Render {
    int code = 0;
    std::string err;
    std::vector<uint32_t> frames;
};

Render render(const VariantDesc &variant)
{
    Operator op(variant);
    vxh::Host host;
    vxh::Session s;
    prepareSession(s, op, host, vxh::hostServices(host));
    startFaults();
    Render r;
    r.code = vxh::runSession(
        s, {}, 0, s.fieldCount, 0,
        [&r](std::vector<uint32_t> &pixels, std::string &) {
            const uint32_t *frame = pixels.data();
            r.frames.insert(r.frames.end(), frame, frame + W * H);
            return true;
        },
        r.err);
    return r;
}

TEST_F(Sweeps, RendersSucceedWholeOrFailWithAMessage)
{
    std::string err;
    ASSERT_TRUE(vxh::writeSampleEffect(vxh::effectFilePath("e"), W, H / 2, FRAMES, false, err))
        << err;
    const struct {
        const VariantDesc *variant;
        Fault kind;
        long stride;
    } cases[] = {{&vxMorphVariant, HEAP, 1},  {&vxMorphVariant, IMAGE, 1},
                 {&vxMorphVariant, FIELD, 1}, {&vxMorphVariant, OPEN, 1},
                 {&vxOpVariant, HEAP, 1},     {&vxOpVariant, IMAGE, 1},
                 {&vxOpVariant, FIELD, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.variant->name) + " " + FAULT_NAMES[c.kind]);
        const Render clean = render(*c.variant);
        ASSERT_EQ(clean.code, 0) << clean.err;
        ASSERT_EQ(clean.frames.size(), (size_t)W * H * FRAMES);
        sweep(c.kind, c.stride, [&](long n) {
            const Render r = render(*c.variant);
            if (r.code == 0)
                EXPECT_EQ(r.frames, clean.frames) << "call " << n;
            else
                EXPECT_NE(r.err.find_first_not_of(' '), std::string::npos) << "call " << n;
        });
    }
}

// ---- A whole editor session ----

// On a 1024x768 screen the 128x96 clip gets an edit view at (456, 394) and
// a timeline whose marker row is y 507..516 with frame(x) = (x - 282) * 4 /
// 154: paint, copy, paste as a new key, paint another, its level, a
// generator, its undo and redo, a preview, Done.
const char SESSION_SCRIPT[] = "press 520 450\nmove 540 460\nmove 560 470\nrelease 560 470\n"
                              "key 0x20063\nclick 322 510\nkey 0x20076\nclick 359 510\n"
                              "press 520 450\nmove 540 440\nmove 560 430\nrelease 560 430\n"
                              "gadget str:404 200\ngadget key:101 1\ngadget str:110 40\n"
                              "key 0x2007A\nkey 0x20079\n"
                              "gadget str:405 0\ngadget host:50 0\n";

// Plays the script in the editor of VorluxMorph over the clips, as `vxhost
// edit --script` does; the journal lines it wrote.
std::vector<std::string> editSession()
{
    std::vector<vxh::ScriptEvent> events;
    std::string err;
    EXPECT_TRUE(vxh::parseScript(SESSION_SCRIPT, "session", events, err)) << err;
    Operator op(vxMorphVariant);
    vxh::GuiHost gui;
    vxh::Session s;
    prepareSession(s, op, gui.host, vxh::guiHostServices(gui));
    vxh::Screen &screen = gui.screen;
    vxh::initScreen(screen, 1024, 768);
    size_t next = 0;
    bool closed = false;
    screen.waitInput = [&](int) {
        if (next < events.size()) {
            std::string why;
            if (!vxh::playEvent(screen, events[next++], why))
                next = events.size(); // a gadget the editor never made: the user gives up
            return true;
        }
        if (closed)
            return false;
        closed = true;
        vxh::closeScreen(screen);
        return true;
    };
    startFaults();
    gui.host.preview = [&s](int) {
        std::string why;
        return vxh::runPreview(
                   s, [](std::vector<uint32_t> &, std::string &) { return true; }, why) == 0
                   ? 0
                   : -1;
    };
    {
        vxh::SessionBinding binding(s);
        vxh::installOperator(s);
        vxh::GadgetUse edit;
        vxh::useGadgets(s, {edit});
    }
    return gui.host.journal;
}

void putFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST_F(Sweeps, EditorSessionsSaveWholeOrKeepTheOldEffectAndSayWhy)
{
    const fs::path effect = vxh::effectFilePath("e");
    std::string err;
    ASSERT_TRUE(vxh::writeSampleEffect(effect, W, H / 2, FRAMES, false, err)) << err;
    const std::string old = slurp(effect);
    const std::vector<std::string> cleanJournal = editSession();
    const std::string edited = slurp(effect);
    ASSERT_TRUE(cleanJournal.empty()) << cleanJournal[0];
    ASSERT_NE(edited, old);

    // Every 5th of the many heap and picture calls; every call of the rest.
    const long strides[FAULT_KINDS] = {5, 1, 1, 5, 1, 1, 1, 1};
    for (int kind = 0; kind < FAULT_KINDS; ++kind) {
        std::map<std::string, int> outcomes;
        sweep((Fault)kind, strides[kind], [&](long n) {
            putFile(effect, old);
            const std::vector<std::string> journal = editSession();
            const std::string bytes = slurp(effect);
            const bool said = saidWhy(journal);
            // An undo or redo that found no memory leaves the session on
            // the effect it showed, which is saved whole, and says so.
            EffectHeader header;
            std::string fault;
            const bool whole =
                inspectEffectFile(effect.string(), header, fault) == EffectFileState::FOUND;
            const char *outcome = bytes == edited ? "saved"
                                  : bytes == old  ? "kept the old"
                                  : whole && said ? "saved what a failed undo left"
                                                  : "other";
            ++outcomes[outcome];
            EXPECT_EQ(temporaries(effect.parent_path()), 0) << FAULT_NAMES[kind] << " " << n;
            EXPECT_STRNE(outcome, "other") << FAULT_NAMES[kind] << " call " << n;
            EXPECT_TRUE(bytes == edited || said)
                << FAULT_NAMES[kind] << " call " << n << ": " << outcome << " without a word";
        });
        for (const auto &[outcome, count] : outcomes)
            printf("[ outcome  ]   %s: %d\n", outcome.c_str(), count);
    }
}

// ---- The saves: VorluxOp's parameter file and vxhost's instance state ----

struct Save {
    const char *what;
    fs::path path;
    std::function<bool(std::string &err)> save; // false with a message
};

// Saves once to learn the new bytes, then over the old bytes with each
// kind of file call failing at each N: old or new, a failure said.
void sweepSave(const Save &save, const std::string &old)
{
    putFile(save.path, old);
    std::string err;
    ASSERT_TRUE(save.save(err)) << err;
    const std::string saved = slurp(save.path);
    ASSERT_NE(saved, old);
    for (Fault kind : {HEAP, OPEN, WRITE, SYNC, RENAME})
        sweep(kind, 1, [&](long n) {
            putFile(save.path, old);
            std::string why;
            startFaults();
            const bool ok = save.save(why);
            const std::string bytes = slurp(save.path);
            SCOPED_TRACE(std::string(save.what) + " " + FAULT_NAMES[kind] + " call " +
                         std::to_string(n));
            EXPECT_EQ(bytes, ok ? saved : old);
            EXPECT_TRUE(ok || why.find_first_not_of(' ') != std::string::npos);
            EXPECT_EQ(temporaries(save.path.parent_path()), 0);
        });
}

TEST_F(Sweeps, SavesReplaceTheOldFileWholeOrKeepItAndSayWhy)
{
    // VorluxOp's archives button saving its parameter block as "set-a".
    Operator op(vxOpVariant);
    vxh::Host host;
    vxh::Session s;
    prepareSession(s, op, host, vxh::hostServices(host));
    const Save params = {"parameter file", home() / "programs/vorlux/op/set-a",
                         [&](std::string &err) {
                             host.journal.clear();
                             host.replies = {"save", "set-a"};
                             vxh::SessionBinding binding(s);
                             vxh::GadgetUse archives;
                             archives.index = 3;
                             vxh::useGadgets(s, {archives});
                             err = host.journal.empty() ? "" : host.journal.back();
                             return host.journal.empty();
                         }};
    sweepSave(params, std::string(40, 'o'));

    // vxhost's state of a VorluxMorph instance, a gadget value changed.
    Operator morph(vxMorphVariant);
    const OpTagItem *tags = Operator::describe(&morph);
    const std::string path = vxh::instanceStatePath("VorluxMorph.so", "e");
    const Save state = {"instance state", path, [&](std::string &err) {
                            vxh::setGadgetValue(vxh::findGadget(tags, 1), 77);
                            return vxh::storeInstance(path, tags, err);
                        }};
    fs::create_directories(state.path.parent_path());
    sweepSave(state, std::string(10, 'o'));
}

} // namespace

// ---- vxhost's own outputs ----

// vxhost renders VorluxOp to a YUV4MPEG2 file and to a PNG pattern over old
// files of the same names, with each kind of file call failing at each N:
// the run succeeds with the fault-free bytes, or fails and says why, and
// every file is whole: the new one, or (after a failure) the old one.
TEST_F(Sweeps, HostOutputsAreNewOrOldAndAFailureIsSaid)
{
    const fs::path input = home() / "in.y4m";
    vxh::Clip clip;
    clip.width = W, clip.height = H;
    for (const auto &frame : clips.frames[0])
        clip.frames.push_back(frame);
    std::string err;
    ASSERT_TRUE(vxh::writeY4m(input.string(), clip, err)) << err;
    for (const char *out : {"o.y4m", "p_%d.png"}) {
        SCOPED_TRACE(out);
        const fs::path dir = home() / (out[0] == 'o' ? "y4m" : "png");
        fs::create_directories(dir);
        vxh::RenderOptions options;
        ASSERT_TRUE(vxh::parseRenderArgs({std::string(VX_PLUGIN_DIR) + "/VorluxOp.so", "--input0",
                                          input.string(), "--input1", input.string(), "-o",
                                          (dir / out).string(), "-q"},
                                         options, err))
            << err;
        const auto run = [&](std::string &said) {
            ::testing::internal::CaptureStderr();
            startFaults();
            const int code = vxh::runRender(options, "vxhost");
            said = ::testing::internal::GetCapturedStderr();
            return code;
        };
        std::string said;
        ASSERT_EQ(run(said), 0) << said;
        std::map<fs::path, std::string> fresh;
        for (const auto &entry : fs::directory_iterator(dir))
            fresh[entry.path()] = slurp(entry.path());
        for (Fault kind : {OPEN, WRITE, SYNC, RENAME})
            sweep(kind, 1, [&](long n) {
                for (const auto &file : fresh)
                    putFile(file.first, "old");
                const int code = run(said);
                SCOPED_TRACE(std::string(FAULT_NAMES[kind]) + " call " + std::to_string(n));
                for (const auto &file : fresh) {
                    const std::string bytes = slurp(file.first);
                    EXPECT_TRUE(bytes == file.second || (code != 0 && bytes == "old"))
                        << file.first << " is torn";
                }
                EXPECT_TRUE(code == 0 || said.find("vxhost: ") != std::string::npos) << said;
                EXPECT_EQ(temporaries(dir), 0);
            });
    }
}
