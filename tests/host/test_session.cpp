// The session driver, driving a stand-in operator behind an OperatorEntry:
// the steps it takes, the frames it weaves, and each failure's code and
// message.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "host/core/fields.h"
#include "host/core/session.h"
#include "operator/host/vxcore.h"
#include "operator/host/vxcoreimg.h"
#include "operator/host/vxjournal.h"

namespace {

enum Fault { NONE, SET_UP, SIZE, INPUT, SINK, STOP };

// Hands back each field as it gets it (or, faulty in size, a picture of the
// project's size), and notes every action.
struct FakeOperator {
    Fault fault = NONE;
    std::vector<std::string> actions;
};

int act(void *self, ActionRecord *record)
{
    FakeOperator &op = *static_cast<FakeOperator *>(self);
    static const char *names[] = {"", "setup", "teardown", "render", "gadget", "", "", "install"};
    op.actions.push_back(
        names[record->action < 8 ? record->action : 0] +
        (record->action == ACTION_RENDER ? " " + std::to_string(record->field) : std::string()));
    if (record->action == ACTION_SETUP && op.fault == SET_UP) {
        loggerMessage(4, 1, "fake", 0, " ");
        return -1;
    }
    if (record->action != ACTION_RENDER)
        return 0;
    HostImage *image = op.fault == SIZE ? opAllocImage(0, 0, 1, 0) : opGetField(0, record->field);
    if (!image) {
        loggerMessage(4, 2, "fake", 0, " ");
        return -1;
    }
    return opPutField(image);
}

const OpTagItem kNoTags[] = {{OP_TAG_END, 0}};

// Frames of 8 x 5 (odd: the planner pads and crops), rows of a hash.
std::vector<uint32_t> frameOf(long k)
{
    std::vector<uint32_t> f(8 * 5);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = (uint32_t)(i * 2654435761u + k * 7919u) | 0xFF000000u;
    return f;
}

// A session of the fake operator over `fields` fields of 8 x 5 frames; the
// frames it delivers.
int runFake(FakeOperator &op, long fields, std::vector<std::vector<uint32_t>> &delivered,
            std::string &err)
{
    vxh::Host host;
    host.tags = kNoTags;
    host.projectWidth = 8, host.projectHeight = 8;
    vxh::Session s;
    s.entry = {&op, [](void *) { return kNoTags; }, act};
    s.host = &host;
    s.fieldCount = (uint32_t)fields;
    s.plan = vxh::planFields(8, 5, false, false);
    std::vector<uint32_t> frame;
    s.frames = [&](int, long k, std::string &why) -> const uint32_t * {
        if (op.fault == INPUT) {
            why = "frame " + std::to_string(k) + " is gone";
            return nullptr;
        }
        frame = frameOf(k);
        return frame.data();
    };
    const vxh::StopFlag stop{op.fault == STOP ? SIGTERM : 0};
    s.stopSignal = &stop;
    const vxh::FrameSink keep = [&](std::vector<uint32_t> &frame, std::string &why) {
        const uint32_t *f = frame.data();
        delivered.emplace_back(f, f + 8 * 5);
        if (op.fault == SINK)
            why = "disk full";
        return op.fault != SINK;
    };
    const VxHostServices *before = vxHostServices();
    const int code = vxh::runSession(s, {}, 0, fields, 0, keep, err);
    EXPECT_EQ(vxHostServices(), before); // the thread's binding is back
    EXPECT_TRUE(host.liveImages.empty());
    return code;
}

TEST(Session, DrivesTheStepsAndSaysWhatFailed)
{
    const std::vector<std::string> renders = {"render 0", "render 1", "render 2",
                                              "render 3", "render 4", "render 5"};
    struct Case {
        Fault fault;
        int code;
        std::string says;
        std::vector<std::string> actions; // between install and teardown
    } cases[] = {
        {NONE,
         0,
         "",
         {"setup", "render 0", "render 1", "render 2", "render 3", "render 4", "render 5"}},
        // A failed set-up is torn down at once.
        {SET_UP,
         1,
         "set-up failed (level=4 source=fake line=1 module=0x00000000 text=\" \")",
         {"setup"}},
        {SIZE,
         1,
         "render of field 0 failed (it handed back a picture of 8x4, not the field's 8x3)",
         {"setup", "render 0"}},
        {INPUT, 2, "frame 0 is gone", {"setup", "render 0"}},
        {SINK, 2, "disk full", {"setup", "render 0", "render 1"}},
        {STOP, 128 + SIGTERM, "", {"setup"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        FakeOperator op;
        op.fault = c.fault;
        std::vector<std::vector<uint32_t>> delivered;
        std::string err;
        EXPECT_EQ(runFake(op, 6, delivered, err), c.code);
        EXPECT_EQ(err, c.says);
        std::vector<std::string> actions = {"install"};
        actions.insert(actions.end(), c.actions.begin(), c.actions.end());
        actions.push_back("teardown");
        EXPECT_EQ(op.actions, actions);
        if (c.fault == NONE) {
            ASSERT_EQ(delivered.size(), 3u);
            for (long k = 0; k < 3; ++k)
                EXPECT_EQ(delivered[k], frameOf(k)) << "frame " << k;
        }
    }
}

// An odd number of fields: the last frame is its one field woven with
// itself, so each of its lines comes from that field.
TEST(Session, LastFieldOfAnOddCountIsWovenWithItself)
{
    FakeOperator op;
    std::vector<std::vector<uint32_t>> delivered;
    std::string err;
    ASSERT_EQ(runFake(op, 5, delivered, err), 0) << err;
    ASSERT_EQ(delivered.size(), 3u);
    const std::vector<uint32_t> third = frameOf(2);
    for (int line = 0; line < 5; ++line) // field 4 holds frame 2's lines 0, 2, 4
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(delivered[2][line * 8 + x], third[(line & ~1) * 8 + x]) << line;
}

} // namespace
