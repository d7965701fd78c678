// Names of a device's shared statistics block and of its mutex (UTF-8), the same for every
// letter case of the class and device name: DeviceObjectName with the letters outside ASCII
// upper-cased too. The block exists while some process has the device open.
#pragma once

#include <string>

#include "framework/wide_text.h"
#include "stats/device_sharing.h"

inline std::string StatMappingName(const std::string& deviceClass, const std::string& deviceName) {
    return fw::UpperCaseBeyondAscii(DeviceObjectName("RiVORI_STATUser_", deviceClass, deviceName));
}

inline std::string StatMutexName(const std::string& deviceClass, const std::string& deviceName) {
    return fw::UpperCaseBeyondAscii(DeviceObjectName("RiVORI_STATMutex_", deviceClass, deviceName));
}
