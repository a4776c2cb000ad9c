// Host list library: the two calls the editor imports (by ordinal on the
// original host; by name here).
#ifndef VX_VXLIST_H
#define VX_VXLIST_H

#include "operator/host/vxgui.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Makes list an empty list. */
void listInitHeader(ListHeader *list);
/* Appends node at the tail of list. */
void listAppendNode(ListHeader *list, ListNode *node);

#ifdef __cplusplus
}
#endif

#endif
