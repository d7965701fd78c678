// The benchmark's device entry.
#include "bench/device.h"

#include "server/server_registry.h"
#include "so/device_config.h"

namespace bench {
namespace {

bool CreateKey(const std::string& path, bool* created = nullptr) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    if (created != nullptr) *created = disposition == REG_CREATED_NEW_KEY;
    return true;
}

}  // namespace

bool BenchDevice::Create() {
    m_key = DeviceKeyPath(kDeviceName);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, m_key.c_str());  // left over from an interrupted run
    if (!CreateKey(m_key) || !CreateKey(m_key + "\\Stat") ||
        !CreateKey(kMakerKey, &m_createdMakerKey)) {
        return false;
    }
    return SetText(nullptr, kProgId) && SetText("Port", kSimName) &&
           SetText("Port_Initialize_String", kPortSettings) &&
           SetNumber("DetectDelay_Time", kDetectDelayMs);
}

void BenchDevice::Remove() {
    if (m_key.empty()) return;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, m_key.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, m_key.c_str());
    if (m_createdMakerKey) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMakerKey);
    m_key.clear();
}

bool BenchDevice::SetText(const char* name, const char* text) {
    return RegSetKeyValueA(HKEY_LOCAL_MACHINE, m_key.c_str(), name, REG_SZ, text,
                           static_cast<DWORD>(strlen(text) + 1)) == ERROR_SUCCESS;
}

bool BenchDevice::SetNumber(const char* name, DWORD value) {
    return RegSetKeyValueA(HKEY_LOCAL_MACHINE, m_key.c_str(), name, REG_DWORD, &value,
                           sizeof(value)) == ERROR_SUCCESS;
}

}  // namespace bench
