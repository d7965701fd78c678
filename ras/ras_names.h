// Names of a device's shared reliability block and of the mutex that guards it (UTF-8), the
// same for every letter case of the class and device name: DeviceObjectName with the letters
// outside ASCII upper-cased too.
#pragma once

#include <string>

#include "framework/wide_text.h"
#include "stats/device_sharing.h"

inline std::string RasMappingName(const std::string& deviceClass, const std::string& deviceName) {
    return fw::UpperCaseBeyondAscii(DeviceObjectName("RiVORI_RASData_", deviceClass, deviceName));
}

inline std::string RasMutexName(const std::string& deviceClass, const std::string& deviceName) {
    return fw::UpperCaseBeyondAscii(DeviceObjectName("RiVORI_RASMutex_", deviceClass, deviceName));
}
