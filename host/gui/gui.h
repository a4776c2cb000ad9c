// The stand-in host's GUI: its screen serves the GUI entries of the host
// services (libvxgui, libvxmsgq, the request and meter calls of libvxreq).
#ifndef VXH_GUI_H
#define VXH_GUI_H

#include "host/hostcore.h"
#include "platform/services.h"

namespace vxh {

// Fills the GUI entries of a services table whose host is a vxh::Host.
void installGui(VxHostServices &services);

} // namespace vxh

#endif
