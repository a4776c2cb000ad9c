// One instance of VorluxOp: everything its plug-in library holds for it.
#ifndef VX_TRANSITION_INSTANCE_H
#define VX_TRANSITION_INSTANCE_H

#include "effect/context.h"
#include "operator/host/records.h"
#include "transition/transition.h"

enum { TRANSITION_TAG_COUNT = 11, PATH_BUFFER_SIZE = 256, NAME_BUFFER_SIZE = 1024 };

struct TransitionInstance {
    OperatorContext ctx;
    OpParamBlock params; // the host saves and restores its bytes
    ParamBlockDesc paramBlockDesc;
    GadgetPopup typePopup;       // gadget 0: value = deformTypeIndex
    GadgetSlider amountSlider;   // gadget 1
    GadgetSlider lengthSlider;   // gadget 2
    GadgetButton archivesButton; // gadget 3
    OpTagItem descriptor[TRANSITION_TAG_COUNT];
    // the file requester's answer
    char pathBuffer[PATH_BUFFER_SIZE];
    char nameBuffer[NAME_BUFFER_SIZE];
};

// An instance as a freshly loaded library has it.
void initTransitionInstance(TransitionInstance &instance);
const OpTagItem *describeTransition(TransitionInstance &instance,
                                    int (*entry)(ActionRecord *record));

int renderTransition(TransitionInstance &instance, ActionRecord *record);
void releaseTransition(OperatorContext &ctx);
int transitionGadget(TransitionInstance &instance, int gadget);

#endif
