// What `cdctl setup` asks of the system beyond the device's own values: error texts, the bitness of
// a registry view and of a module, the regsvr32 of a view, whether a device is open, and a device
// key emptied but for its statistics.
#pragma once

#include <windows.h>

#include <string>

#include "tools/cdctl/pe_machine.h"

namespace cdctl {

// The system's text of an error, without its final full stop; inserts (%1, as in "Bad EXE
// format for %1") name `subject`.
std::string SystemText(DWORD error, const std::string& subject = "");
// 32 or 64: the bitness of the service that reads a registry view (0: cdctl's own).
int ViewBits(REGSAM view);
// The full path of the regsvr32 that registers the service of a view.
std::string Regsvr32For(REGSAM view);
// The bitness of a module file from its headers; Unknown when it cannot be read.
ModuleBits FileBits(const std::string& path);
// Whether some application has the device open.
bool DeviceIsOpen(const std::string& device);
// Deletes every value and subkey of a device key but its "Stat" subkey, which holds the saved
// statistics.
LONG KeepOnlyStatistics(HKEY device);

}  // namespace cdctl
