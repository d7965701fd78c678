// The open request's parameters (PortOpenParams) as the service fills them from a device's
// configuration: OpenPort sends them to the port library, and cdctl sends the same to find out
// why an open failed.
#pragma once

#include <windows.h>

#include <string>

#include "link/port_abi.h"
#include "so/device_config.h"

// What the parameters point to besides the configuration. Every text must outlive the request.
struct PortOpenSources {
    const DeviceConfig* config = nullptr;
    const std::string* path = nullptr;               // the maker's Path
    const std::string* deviceName = nullptr;         // the OPOS device name
    const std::string* deviceDescription = nullptr;  // word 6
    HANDLE statusRequest = nullptr;                  // word 8; none: the library polls nothing
    HANDLE cancelWait = nullptr;                     // word 9
    LONG* detail = nullptr;                          // word 77
};

// Zeroes `params` and fills all 78 words: the texts, the fixed time-outs, queue sizes and event
// mask, and the ten DCB members the service prescribes.
void FillPortOpenParams(const PortOpenSources& sources, PortOpenParams* params);
