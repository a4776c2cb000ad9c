// `vxhost auto-key`: keys of a morph or draw effect found from the pictures.
// At each frame asked for, the dense flow from input 1's picture to input
// 0's becomes that frame's key mesh, so that input 0 warped through it
// lines up with input 1; the keys are written into the instance's effect
// file, the other keys kept, for the editor to refine.
#ifndef VXH_AUTOKEY_H
#define VXH_AUTOKEY_H

namespace vxh {

// Returns the exit code: 0 written, 2 bad arguments or input (nothing
// written).
int autoKeyCommand(int argc, char **argv);

} // namespace vxh

#endif
