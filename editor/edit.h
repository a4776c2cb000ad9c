// The full-screen effect editor, run inside the editor gadget's action.
#ifndef VX_EDIT_H
#define VX_EDIT_H

// Runs the editor until the user leaves it; 0, or -1 when it cannot open.
int editEffect(void);

#endif
