// What sets one deliverable of the effect operators apart from the others.
// The core is compiled once; each plug-in selects its table through
// vxVariant, set by that plug-in's one-line selector.
#ifndef VX_VARIANT_H
#define VX_VARIANT_H

#include <cstdint>

// How the edit view uses viewBlend as its dissolve.
enum ViewBlendUse {
    VIEW_BLEND_NONE,     // the view has no dissolve
    VIEW_BLEND_RESTORED, // dissolveLevel is set for the view pass, then restored
    VIEW_BLEND_KEPT,     // dissolveLevel keeps viewBlend after the view is drawn
};

// The warp passes a render runs, named here so that the tables stay plain
// data; the render action maps them onto the engine's passes.
enum RenderPass : uint8_t { RENDER_PASS_END, RENDER_PASS_A, RENDER_PASS_B, RENDER_PASS_MIXED };

struct VariantDesc {
    const char *name;          // deliverable name, e.g. "VorluxMorph"
    const char *sourceName;    // source name passed with every log line
    uint32_t moduleCode;       // LogModuleCode
    const char *versionString; // OP_TAG_IDENT
    int inputCount;            // 2, or 1 for the warp (OP_TAG_SINGLE_INPUT)
    bool hasMeshB;             // morph: second mesh, interpolateMeshB
    bool interpolatesLevel;    // interpolateMeshA sets dissolveLevel
    int32_t lastKeyLevel;      // level of the last key of a new effect
    bool setsViewBlend;        // GetOperatorInfo writes the viewBlend default
    bool hasFallbackPath;      // a nameless instance uses spezial/warp.vlw
    RenderPass passes[3];      // render passes in order, ended by RENDER_PASS_END
    // edit view
    bool viewOverlay; // input 1 shows undeformed through the view at viewBlend
    bool viewMixed;   // the view samples the mixture of both inputs
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

extern const VariantDesc vxMorphVariant;
extern const VariantDesc vxDrawVariant;
extern const VariantDesc vxFxVariant;
extern const VariantDesc vxWarpVariant;
extern const VariantDesc vxOpVariant; // the transition operator's identity

// The variant of this library.
extern const VariantDesc *vxVariant;

#endif
