// The stand-in host's GUI: a host with a screen, whose screen serves the GUI
// entries of the host services (libvxgui, libvxmsgq, the request and meter
// calls of libvxreq).
#ifndef VXH_GUI_H
#define VXH_GUI_H

#include "host/core/host.h"
#include "host/gui/screen.h"
#include "platform/services.h"

namespace vxh {

// A host record and the screen its editor draws on and takes messages from.
struct GuiHost {
    Host host;
    Screen screen;
};

// The services table of a GuiHost: the host's entries and the GUI entries.
// Points the host's gui record at g, which must stay where it is.
VxHostServices guiHostServices(GuiHost &g);
// Makes g the host the libraries serve in the whole process; null
// uninstalls.
void installGuiHost(GuiHost *g);
// Fills the GUI entries of a services table whose host's gui record is a
// GuiHost.
void installGui(VxHostServices &services);

} // namespace vxh

#endif
