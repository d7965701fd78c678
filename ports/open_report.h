// The event-log record of a refused open request: message 111 ("%3 failed on %2 connected to
// %1.") under the service's event source, with the step that failed as the operation and the
// Win32 error as its 4 bytes of data.
#pragma once

#include <windows.h>

#include "link/port_abi.h"

namespace ports {

// Writes the record unless the open request's EventLog mode (word 7) is 0, "Disable". The
// insertion strings are those of the service's own records: the EventLogPortName without a
// leading "\\.\" (word 5), and the OPOS device name (word 3) followed by "Cash Drawer"; the
// language follows the system's ANSI code page, as the service's does.
void ReportOpenFailure(const PortOpenParams& params, LONG step, LONG error);

}  // namespace ports
