// Compiled once per plug-in with VX_VARIANT_TABLE naming its table.
#include "variants/variant.h"

const VariantDesc *vxVariant = &VX_VARIANT_TABLE;
