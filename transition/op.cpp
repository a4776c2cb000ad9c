// VorluxOp (being built).
#include "operator/operator.h"
#include "variants/variant.h"

extern const VariantDesc vxOpVariant = {
    "VorluxOp", "src\\VorluxOp", 0x0B850000, "$Id: VorluxFX,v 1.0 2014/03/31 00:00:00 vorlux $",
    2, false, false, 255, false, false, {nullptr, nullptr, nullptr},
};

VX_EXPORT const OpTagItem *GetOperatorInfo(void) { return nullptr; }
VX_EXPORT int OperatorAction(ActionRecord *record) { return record ? 0 : -1; }
