// One instance of an effect operator: everything a plug-in library of the
// four effect operators holds for it.
#ifndef VX_INSTANCE_H
#define VX_INSTANCE_H

#include "editor/state.h"
#include "effect/context.h"
#include "operator/host/records.h"
#include "variants/variant.h"

enum { EFFECT_TAG_COUNT = 8 };

struct EffectInstance {
    OperatorContext ctx;
    EditorState editor;      // its settings live as long as the instance
    EffectParamBlock params; // the host saves and restores its bytes
    ParamBlockDesc paramBlockDesc;
    GadgetButton editorButton; // gadget 0: the editor
    OpTagItem descriptor[EFFECT_TAG_COUNT];
};

// An instance of variant as a freshly loaded library has it.
void initEffectInstance(EffectInstance &instance, const VariantDesc &variant);
// Releases the buffers and keys the instance holds (what tear-down frees).
void releaseEffectInstance(EffectInstance &instance);

// The hooks (effectOperatorHooks, variants/variant.h) on an EffectInstance.
const OpTagItem *describeEffect(EffectInstance &instance, int (*entry)(ActionRecord *record));
int renderField(EffectInstance &instance, ActionRecord *record);

#endif
