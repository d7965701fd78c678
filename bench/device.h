// The benchmark's device entry in the OPOS registry tree: its own device name and simulated
// controller, the product's defaults for every timing value, written out so the output can name
// them. Created by the orchestrating process before anything opens it, removed at the end.
#pragma once

#include <windows.h>

#include <string>

namespace bench {

constexpr char kDeviceName[] = "BramwickBench1";
constexpr wchar_t kDeviceNameW[] = L"BramwickBench1";
constexpr char kSimName[] = "SIMBENCH1";
constexpr char kPortSettings[] = "19200,N,8,1";  // the product default
constexpr DWORD kDetectDelayMs = 300;            // the product default DetectDelay_Time
constexpr size_t kCommandBytes = 3;              // CommandType normal, the product default

class BenchDevice {
public:
    // Writes the device key, its Stat subkey and, when missing, the maker's key. False when the
    // registry refuses.
    bool Create();
    // Removes what Create wrote.
    void Remove();

private:
    bool SetText(const char* name, const char* text);
    bool SetNumber(const char* name, DWORD value);

    std::string m_key;
    bool m_createdMakerKey = false;
};

}  // namespace bench
