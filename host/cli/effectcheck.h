// The effect file of an effect operator's instance, checked before a run
// the way the operator will load it.
#ifndef VXH_EFFECTCHECK_H
#define VXH_EFFECTCHECK_H

#include <string>

#include "host/cli/options.h"
#include "host/cli/run.h"
#include "operator/host/records.h"

namespace vxh {

// An effect operator (its parameter block is the editor's 28 bytes) keeps
// an effect file.
bool usesEffectFile(const OpTagItem *tags);

// Whether the effect file at path loads for fields of fieldW x fieldH, as
// the plug-in reads it; fault says why not.
enum class EffectFileState { FITS, MISSING, UNUSABLE };
EffectFileState inspectEffectFile(const std::string &path, int fieldW, int fieldH,
                                  std::string &fault);

// $VXHOME/programs/vorlux/NAME
std::string effectPath(const std::string &name);

// Before a render: 0 when the instance's effect file fits (or the default
// effect is allowed, said); 2 after saying what is wrong and how to mend it.
int checkRenderEffect(const RenderOptions &o, int fieldW, int fieldH, Warnings &warn);
// Before the editor opens: leaving writes the effect file, so one that does
// not load for these fields is opened only when the default effect is
// allowed to replace it. 0 to go on, 2 after saying why not.
int checkEditableEffect(const RenderOptions &o, int fieldW, int fieldH);

} // namespace vxh

#endif
