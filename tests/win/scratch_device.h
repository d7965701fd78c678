// A device entry in the OPOS registry tree that exists for one test: the device key with the
// values a test gives it, and the maker's key when it was missing. Both are removed again.
#pragma once

#include <windows.h>

#include <string>

#include "so/device_config.h"
#include "tests/win/sim_control.h"

class ScratchDevice {
public:
    explicit ScratchDevice(std::string name, bool withMakerKey = true) : m_name(std::move(name)) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, KeyPath().c_str());
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        RegSetValueExA(key, nullptr, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>("OPOS.CashDrawer.Bramwick.1"), 27);
        RegCloseKey(key);
        // The statistics of a device live in its "Stat" subkey, which must exist.
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, (KeyPath() + "\\Stat").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegCloseKey(key);
        if (withMakerKey) {
            DWORD disposition = 0;
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, &disposition);
            m_createdMakerKey = disposition == REG_CREATED_NEW_KEY;
            RegCloseKey(key);
        }
        // Every test device talks to its own simulated controller, fresh for each test.
        SetText("Port", SimName().c_str());
        Sim(SimName(), "reset");
    }
    std::string SimName() const { return "SIM" + m_name; }
    ~ScratchDevice() {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, KeyPath().c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, KeyPath().c_str());
        if (m_createdMakerKey) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMakerKey);
    }
    ScratchDevice(const ScratchDevice&) = delete;
    ScratchDevice& operator=(const ScratchDevice&) = delete;

    void SetText(const char* name, const char* text) {
        Write(name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
    }
    void SetNumber(const char* name, DWORD value) { Write(name, REG_DWORD, &value, sizeof(value)); }
    const std::string& name() const { return m_name; }
    std::string KeyPath() const { return DeviceKeyPath(m_name); }

private:
    void Write(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
            RegCloseKey(key);
        }
    }

    std::string m_name;
    bool m_createdMakerKey = false;
};
