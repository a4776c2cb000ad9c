// The effect file of an effect operator's instance, checked before a run
// the way the operator will load it, and the scan it asks for.
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

// $VXHOME/programs/vorlux/NAME
std::string effectPath(const std::string &name);

// A name for a copy of effect `name` made for another size or length that
// no file has yet: NAME-WxH, or NAME-WxH-2, -3, ...
std::string freeEffectName(const std::string &name, const std::string &suffix);

// Picks o.scan when it is Scan::FromEffect: progressive when the instance's
// effect file is made for input 0's whole frames, else fields; says which
// when the effect file told. `doing` is "rendering" or "editing".
void chooseScan(RenderOptions &o, const Clip &input0, bool usesEffect, const char *doing);

// Before a render: 0 when the instance's effect file fits pictures of
// width x height (or the default effect is allowed, said); 2 after saying
// what is wrong and how to mend it. An effect of another length than the
// clip's `frames` is a warning.
int checkRenderEffect(const RenderOptions &o, const FieldPlan &plan, int width, int height,
                      long frames, Warnings &warn);
// Before the editor opens: leaving writes the effect file, so one that does
// not load for these pictures is opened only when the default effect is
// allowed to replace it; one of another length is said to be rescaled. 0
// to go on, 2 after saying why not.
int checkEditableEffect(const RenderOptions &o, const FieldPlan &plan, long frames, Warnings &warn);

} // namespace vxh

#endif
