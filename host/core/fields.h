// The field planner: how frames become the fields an operator renders and
// how rendered fields become frames again. Every host path (vxhost render
// and edit, the editor's preview, the frei0r adapter) splits and weaves
// through it, so they agree to the bit.
//
// Interlaced: frame k gives field 2k (its even lines, or its odd lines when
// the clip is bottom field first) and field 2k+1 (the other lines). A frame
// of odd height is padded by repeating its last line, so both fields have
// (height + 1) / 2 lines; weaving crops the padding back. Progressive: field
// k is frame k, whole.
#ifndef VXH_FIELDS_H
#define VXH_FIELDS_H

#include <cstdint>
#include <vector>

#include "host/core/pixels.h"

namespace vxh {

struct FieldPlan {
    int width = 0, height = 0; // frame size
    bool progressive = false, bottomFirst = false;
    int fieldWidth = 0, fieldHeight = 0;
};

FieldPlan planFields(int width, int height, bool progressive, bool bottomFirst);
// The frame field `field` is taken from.
long frameOfField(const FieldPlan &plan, uint32_t field);
// Field `field` of a frame of the plan's size.
void extractField(const FieldPlan &plan, const uint32_t *frame, uint32_t field, Picture &pic);
// Weaves the pictures of fields 2k and 2k+1 (first, second) into a frame of
// the plan's size, dropping a padding line.
void weaveFrame(const FieldPlan &plan, const Picture &first, const Picture &second,
                std::vector<uint32_t> &frame);

} // namespace vxh

#endif
