// Helpers for tests that link the plug-in core directly.
#ifndef VX_TEST_SUPPORT_H
#define VX_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "editor/draw.h"
#include "effect/context.h"
#include "engine/warp.h"
#include "operator/instance.h"
#include "variants/variant.h"

// A test with an effect operator instance of its own (morph unless the
// test chooses), the host's journal observed and the allocator's fault hook
// off. The instance's buffers and keys are released at the end.
struct CoreTest : ::testing::Test {
    EffectInstance instance{};
    OperatorContext &ctx = instance.ctx;
    EditorState &ed = instance.editor;
    EffectParamBlock &paramBlock = instance.params;

    CoreTest() { useVariant(&vxMorphVariant); }
    ~CoreTest() override { releaseEffectInstance(instance); }
    // Releases what the instance holds and makes it a fresh one of variant;
    // the parameter block stays, as the host keeps it for the instance.
    void useVariant(const VariantDesc *variant = &vxMorphVariant);
};

// The passes over the context's pictures and meshes at its dissolve level,
// into out (capacity pixels), as the render runs them.
inline void runPassA(OperatorContext &ctx, uint32_t *out, int w, int h, size_t capacity)
{
    warpPassA(warpInputsOf(ctx), ctx.meshA, {out, w, h, capacity});
}
inline void runPassB(OperatorContext &ctx, uint32_t *out, int w, int h, size_t capacity)
{
    warpPassB(warpInputsOf(ctx), ctx.meshB, ctx.dissolveLevel, {out, w, h, capacity});
}
inline void runPassMixed(OperatorContext &ctx, uint32_t *out, int w, int h, size_t capacity)
{
    warpPassMixed(warpInputsOf(ctx), ctx.meshA, ctx.dissolveLevel, ctx.mixture,
                  {out, w, h, capacity});
}

// The edit view's pass of the context at zoom with (a, b) and the editor's
// scroll into outputPixels, as the editor runs it.
inline void runViewPass(const EditorState &ed, OperatorContext &ctx, int zoom, int a, int b)
{
    const ViewRequest view = {
        viewShowsOf(*ctx.variant), ctx.dissolveLevel, zoom, a, b, ed.viewScrollX, ed.viewScrollY};
    viewPass(warpInputsOf(ctx), ctx.meshA, view, ctx.outputPixels, ctx.outputCapacity);
}

// Journal lines written since the last call (the host's journal observer).
std::vector<std::string> takeJournal();

inline uint32_t floatBits(float f)
{
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

// A scratch directory below the test VXHOME, emptied on each call.
std::string scratchDir(const std::string &name);

#endif
