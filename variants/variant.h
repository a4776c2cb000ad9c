// What sets one deliverable apart from the others: plain facts, and the
// hooks that create, describe, drive and destroy an instance of it. The
// core is compiled once; each plug-in's exports hold one instance of its
// variant, and every action goes through the one switch over these hooks
// (operator/frame/dispatch.h).
#ifndef VX_VARIANT_H
#define VX_VARIANT_H

#include <cstdint>

#include "operator/host/records.h"

// How the edit view uses viewBlend as its dissolve.
enum ViewBlendUse {
    VIEW_BLEND_NONE,     // the view has no dissolve
    VIEW_BLEND_RESTORED, // dissolveLevel is set for the view pass, then restored
    VIEW_BLEND_KEPT,     // dissolveLevel keeps viewBlend after the view is drawn
};

// The warp passes a render runs, named here so that the tables stay plain
// data; the render action maps them onto the engine's passes.
enum RenderPass : uint8_t { RENDER_PASS_END, RENDER_PASS_A, RENDER_PASS_B, RENDER_PASS_MIXED };

struct VariantDesc;

// The lifecycle of an instance. self is what create returned. An action
// hook that is null does nothing and returns 0.
struct OperatorHooks {
    // A new instance with the defaults of a freshly loaded library; null
    // when memory is short.
    void *(*create)(const VariantDesc &variant);
    // Releases everything the instance holds, and the instance.
    void (*destroy)(void *self);
    // What GetOperatorInfo does: the parameter block back to its defaults,
    // and the instance's tag list naming entry as its action entry point.
    const OpTagItem *(*describe)(void *self, int (*entry)(ActionRecord *record));
    int (*setup)(void *self, ActionRecord *record);
    int (*teardown)(void *self, ActionRecord *record);
    int (*render)(void *self, ActionRecord *record);
    int (*gadget)(void *self, ActionRecord *record);
    int (*remove)(void *self, ActionRecord *record); // ACTION_DELETE
    int (*install)(void *self, ActionRecord *record);
};

struct VariantDesc {
    const OperatorHooks *hooks;
    const char *name;               // deliverable name, e.g. "VorluxMorph"
    const char *sourceName;         // source name passed with every log line
    uint32_t moduleCode;            // LogModuleCode
    const char *versionString;      // OP_TAG_IDENT
    int inputCount = 2;             // 2, or 1 for the warp (OP_TAG_SINGLE_INPUT)
    bool hasMeshB = false;          // morph: second mesh, interpolateMeshB
    bool interpolatesLevel = false; // interpolateMeshA gives the keys' dissolve level
    int32_t lastKeyLevel = 255;     // level of the last key of a new effect
    bool setsViewBlend = false;     // GetOperatorInfo writes the viewBlend default
    bool hasFallbackPath = false;   // a nameless instance uses spezial/warp.vlw
    // render passes in order, ended by RENDER_PASS_END
    RenderPass passes[3] = {RENDER_PASS_END, RENDER_PASS_END, RENDER_PASS_END};
    // edit view
    bool viewOverlay = false; // input 1 shows undeformed through the view at viewBlend
    bool viewMixed = false;   // the view samples the mixture of both inputs
    // editor
    bool hasKeyLevel = false; // key-level slider; keys take dissolveLevel as their level
    ViewBlendUse viewBlendUse = VIEW_BLEND_NONE;
    bool hasViewBlend = false;        // view A / mid / B buttons, view-blend slider, caption 407
    int32_t doneHostImage = 50;       // Done button picture in GUI mode 3 (a host image)
    int32_t doneImage = 215;          // Done button picture in the other modes
    uint32_t doneKey = 0x100063;      // shortcut of the Done button
    int32_t aboutText = 511;          // string of the about text
    int32_t aboutNumbers[2] = {1, 1}; // the two numbers formatted into it
};

// The hooks of the four effect operators (with their entry points in operator/).
extern const OperatorHooks effectOperatorHooks;

extern const VariantDesc vxMorphVariant;
extern const VariantDesc vxDrawVariant;
extern const VariantDesc vxFxVariant;
extern const VariantDesc vxWarpVariant;
extern const VariantDesc vxOpVariant; // the transition operator (in transition/)

#endif
