// The field planner every host path splits and weaves through.
#include <gtest/gtest.h>

#include <vector>

#include "host/core/fields.h"

namespace {

// Rows of a hash, so any misplaced line or pixel shows.
std::vector<uint32_t> hashFrame(int w, int h)
{
    std::vector<uint32_t> f((size_t)w * h);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = (uint32_t)(i * 2654435761u) | 0xFF000000u;
    return f;
}

TEST(FieldPlan, FieldsTakeTheirLinesAndWeaveBack)
{
    struct Case {
        int height;
        bool progressive, bottomFirst;
        int fieldHeight;
        std::vector<int> field0Lines, field1Lines; // frame lines of fields 0 and 1
    };
    const Case cases[] = {
        {6, false, false, 3, {0, 2, 4}, {1, 3, 5}},
        {6, false, true, 3, {1, 3, 5}, {0, 2, 4}},
        // Odd: the last line repeats as padding and is cropped when woven.
        {5, false, false, 3, {0, 2, 4}, {1, 3, 4}},
        {5, false, true, 3, {1, 3, 4}, {0, 2, 4}},
        {7, false, false, 4, {0, 2, 4, 6}, {1, 3, 5, 6}},
        {1, false, false, 1, {0}, {0}},
        {5, true, false, 5, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}},
    };
    const int w = 5;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.height) + (c.progressive   ? " progressive"
                                                 : c.bottomFirst ? " bottom first"
                                                                 : " top first"));
        const auto frame = hashFrame(w, c.height);
        const vxh::FieldPlan plan = vxh::planFields(w, c.height, c.progressive, c.bottomFirst);
        ASSERT_EQ(plan.fieldWidth, w);
        ASSERT_EQ(plan.fieldHeight, c.fieldHeight);
        // Progressive too: the operator's frame is the clip's frame.
        EXPECT_EQ(vxh::frameOfField(plan, 7), 3);
        vxh::Picture f0, f1;
        vxh::extractField(plan, frame.data(), 0, f0);
        vxh::extractField(plan, frame.data(), 1, f1);
        ASSERT_EQ(f0.pixels.size(), (size_t)w * c.fieldHeight);
        ASSERT_EQ(f1.pixels.size(), f0.pixels.size());
        for (int y = 0; y < c.fieldHeight; ++y)
            for (int x = 0; x < w; ++x) {
                EXPECT_EQ(f0.pixels[(size_t)y * w + x], frame[(size_t)c.field0Lines[y] * w + x])
                    << "line " << y;
                EXPECT_EQ(f1.pixels[(size_t)y * w + x], frame[(size_t)c.field1Lines[y] * w + x])
                    << "line " << y;
            }
        if (!c.progressive) {
            std::vector<uint32_t> woven;
            vxh::weaveFrame(plan, f0, f1, woven);
            EXPECT_EQ(woven, frame);
        }
    }
}

} // namespace
