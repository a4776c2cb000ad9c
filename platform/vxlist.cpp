// Host list library: a doubly linked list with head and tail.
#include "operator/host/vxlist.h"
#include "operator/host/export.h"

VX_EXPORT void listInitHeader(ListHeader *list)
{
    if (list)
        list->head = list->tail = nullptr;
}

VX_EXPORT void listAppendNode(ListHeader *list, ListNode *node)
{
    if (!list || !node)
        return;
    node->next = nullptr;
    node->prev = list->tail;
    if (list->tail)
        list->tail->next = node;
    else
        list->head = node;
    list->tail = node;
}
