// Host requester library: forwards to the host serving the calling thread. A host without a
// requester answers "not shown" (-1), which callers treat as cancelled.
#include "operator/host/vxreq.h"
#include "platform/services.h"

#include "operator/host/export.h"

#define FORWARD(entry, ...)                                                                        \
    const VxHostServices *s = vxHostServices();                                                    \
    return s->entry ? s->entry(s->host, __VA_ARGS__) : -1

VX_EXPORT int vreqTextRequest(TextRequest *request)
{
    FORWARD(textRequest, request);
}
VX_EXPORT int vreqFileRequest(FileRequest *request)
{
    FORWARD(fileRequest, request);
}
VX_EXPORT int vreqArchivesRequest(ArchivesRequest *request)
{
    FORWARD(archivesRequest, request);
}
VX_EXPORT int vreqOpenMeter(void *meter)
{
    FORWARD(openMeter, meter);
}
VX_EXPORT int vreqUpdateMeter(void *meter, int what, int step)
{
    FORWARD(updateMeter, meter, what, step);
}
VX_EXPORT int vreqCloseMeter(void *meter)
{
    FORWARD(closeMeter, meter);
}
VX_EXPORT int vreqCreateRequest(void *request)
{
    FORWARD(createRequest, request);
}
VX_EXPORT int vreqDeleteRequest(void *request)
{
    FORWARD(deleteRequest, request);
}
