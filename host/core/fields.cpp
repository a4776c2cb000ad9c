#include "host/core/fields.h"

#include <algorithm>
#include <cstring>

namespace vxh {

FieldPlan planFields(int width, int height, bool progressive, bool bottomFirst)
{
    FieldPlan plan;
    plan.width = width;
    plan.height = height;
    plan.progressive = progressive;
    plan.bottomFirst = bottomFirst && !progressive;
    plan.fieldWidth = width;
    plan.fieldHeight = progressive ? height : (height + 1) / 2;
    return plan;
}

long frameOfField(const FieldPlan &, uint32_t field)
{
    return (long)(field / 2);
}

long fieldStep(const FieldPlan &plan)
{
    return plan.progressive ? 2 : 1;
}

void extractFieldInto(const FieldPlan &plan, const uint32_t *frame, uint32_t field, uint32_t *rows,
                      size_t stride)
{
    const size_t row = (size_t)plan.width;
    const int parity = plan.progressive ? 0 : (int)(field & 1) ^ (plan.bottomFirst ? 1 : 0);
    const int step = plan.progressive ? 1 : 2;
    if (plan.progressive && stride == row) {
        memcpy(rows, frame, row * plan.height * 4);
        return;
    }
    for (int y = 0; y < plan.fieldHeight; ++y) {
        const int line =
            std::min(step * y + parity, plan.height - 1); // the padding repeats the last line
        memcpy(rows + (size_t)y * stride, frame + (size_t)line * row, row * 4);
    }
}

void extractField(const FieldPlan &plan, const uint32_t *frame, uint32_t field, Picture &pic)
{
    pic.width = plan.fieldWidth;
    pic.height = plan.fieldHeight;
    pic.pixels.resize((size_t)pic.width * pic.height);
    extractFieldInto(plan, frame, field, pic.pixels.data(), (size_t)plan.width);
}

void weaveFrame(const FieldPlan &plan, const Picture &first, const Picture &second,
                std::vector<uint32_t> &frame)
{
    const size_t row = (size_t)plan.width;
    frame.resize(row * plan.height);
    for (int line = 0; line < plan.height; ++line) {
        const bool fromFirst = ((line & 1) ^ (plan.bottomFirst ? 1 : 0)) == 0;
        const Picture &pic = fromFirst ? first : second;
        memcpy(&frame[(size_t)line * row], &pic.pixels[(size_t)(line / 2) * row], row * 4);
    }
}

EffectFit fitOfEffect(int width, int height, int effectW, int effectH)
{
    if (effectW != width)
        return EffectFit::Neither;
    if (effectH == height)
        return EffectFit::Frames;
    return effectH == (height + 1) / 2 ? EffectFit::Fields : EffectFit::Neither;
}

} // namespace vxh
