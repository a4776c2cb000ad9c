// The field planner: how frames become the fields an operator renders and
// how rendered fields become frames again. Every host path (vxhost render
// and edit, the editor's preview, the frei0r adapter) splits and weaves
// through it, so they agree to the bit.
//
// Interlaced: frame k gives field 2k (its even lines, or its odd lines when
// the clip is bottom field first) and field 2k+1 (the other lines). A frame
// of odd height is padded by repeating its last line, so both fields have
// (height + 1) / 2 lines; weaving crops the padding back. Progressive: the
// clip keeps two fields a frame, so the operator's frame (field / 2) is the
// clip's frame and an effect is as long as the clip, but only field 2k is
// rendered, and it is frame k whole.
#ifndef VXH_FIELDS_H
#define VXH_FIELDS_H

#include <cstddef>
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
// The fields rendered step by this many: 2 when progressive (the first
// field of each frame), else 1.
long fieldStep(const FieldPlan &plan);
// Field `field` of a frame of the plan's size.
void extractField(const FieldPlan &plan, const uint32_t *frame, uint32_t field, Picture &pic);
// The same into rows `stride` pixels apart (a host image's visible area).
void extractFieldInto(const FieldPlan &plan, const uint32_t *frame, uint32_t field, uint32_t *rows,
                      size_t stride);
// Weaves the pictures of fields 2k and 2k+1 (first, second) into a frame of
// the plan's size, dropping a padding line.
void weaveFrame(const FieldPlan &plan, const Picture &first, const Picture &second,
                std::vector<uint32_t> &frame);

// What an effect made for pictures of effectW x effectH is to frames of
// width x height: their fields, the whole frames, or neither. A frame of one
// line is its own field; it counts as whole.
enum class EffectFit { Fields, Frames, Neither };
EffectFit fitOfEffect(int width, int height, int effectW, int effectH);

} // namespace vxh

#endif
