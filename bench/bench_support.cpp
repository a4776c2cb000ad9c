// The benchmarks link the plug-in core with the morph variant: it has both
// working meshes, so every pass can run.
#include "variants/variant.h"

const VariantDesc *vxVariant = &vxMorphVariant;
