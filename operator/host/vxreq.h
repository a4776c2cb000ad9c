// Host requester library: modal texts, progress meters, file and archives
// requesters, and the editor's full-screen request.
#ifndef VX_VXREQ_H
#define VX_VXREQ_H

#include "operator/host/records.h"

#ifdef __cplusplus
extern "C" {
#endif

int vreqTextRequest(TextRequest *request);
int vreqFileRequest(FileRequest *request);
int vreqArchivesRequest(ArchivesRequest *request);
int vreqOpenMeter(void *meter);
int vreqUpdateMeter(void *meter, int what, int step);
int vreqCloseMeter(void *meter);
int vreqCreateRequest(void *request);
int vreqDeleteRequest(void *request);

#ifdef __cplusplus
}
#endif

#endif
