// The port check of `cdctl session` (after OpenResult 456) and `cdctl setup show`: reads the
// device's configuration and the maker's Path as the service does, builds the library path
// the same way, and, in this process, loads the library and sends it the service's open
// request, closing the port again at once. The lines are those of DescribePortCheck.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/cdctl/port_diagnosis.h"

namespace cdctl {

// `view` is the registry view the device was read from (0: this program's own). In the view
// of the other bitness the library is only looked for, not loaded. `openFailed`: the service
// has just failed to open the device with OpenResult 456.
std::vector<CheckLine> CheckPort(const std::string& device, REGSAM view, bool openFailed);

}  // namespace cdctl
