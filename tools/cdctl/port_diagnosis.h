// What cdctl finds out about a device's port library and port (tools/cdctl/port_check.h does
// the finding) and how it words it: the library path the service builds, whether the file is
// there and loads in this process, the step at which the open request failed, and one "cause"
// line that says which of the ways for the port not to open this was. Pure; no Windows headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cdctl {

struct PortFacts {
    std::string path;      // the maker's Path, as stored
    std::string dll;       // PortDll
    std::string port;      // Port
    std::string settings;  // Port_Initialize_String
    std::string library;   // Path + PortDll, as the service builds it
    bool tooLong = false;  // Path + PortDll need more than 259 characters
    int bits = 64;         // of this process
    bool located = false;  // the library file exists (with an empty Path: on the search path)
    // Path + "\" + PortDll, when Path lacks its trailing backslash and that file exists.
    std::string separated;
    bool tried = false;       // loaded and sent the open request (not for the other view)
    int32_t result = 0;       // what loading and the open request returned (0: the port opened)
    int32_t detail = 0;       // the detail word after them
    std::string errorText;    // the system's text of the error that `result`/`detail` name
    std::string otherView;    // when not tried: the view's bitness, e.g. "32-bit"
    std::string deviceName;   // for the commands the cause suggests
    bool openFailed = false;  // the service has just failed to open the device (OpenResult 456)
};

// One line of the check: a label ("port library", "port open", "cause") and its text.
struct CheckLine {
    std::string label;
    std::string text;
};

// The library path and what became of it; the port open, when it was tried; and the cause,
// when something fails or the service has failed to open the device.
std::vector<CheckLine> DescribePortCheck(const PortFacts& facts);

}  // namespace cdctl
