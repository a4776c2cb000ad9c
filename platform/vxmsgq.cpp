// Host message-queue library: forwards to the host serving the calling thread.
#include "operator/host/vxmsgq.h"
#include "operator/host/export.h"
#include "platform/services.h"

VX_EXPORT uint32_t msgQCreate(int count, int size, int)
{
    const VxHostServices *s = vxHostServices();
    return s->createQueue ? s->createQueue(s->host, count, size) : 0;
}
