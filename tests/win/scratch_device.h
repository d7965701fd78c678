// A device entry in the OPOS registry tree that exists for one test: the device key with the
// values a test gives it, and the maker's key when it was missing. Both are removed again.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

#include "so/device_config.h"
#include "tests/win/sim_control.h"

class ScratchDevice {
public:
    explicit ScratchDevice(std::string name, bool withMakerKey = true) : m_name(std::move(name)) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, KeyPath().c_str());
        SetText(nullptr, "OPOS.CashDrawer.Bramwick.1");  // creates the key
        // The statistics of a device live in its "Stat" subkey, which must exist.
        HKEY key = nullptr;
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
    ~ScratchDevice() {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, KeyPath().c_str());
        if (m_createdMakerKey) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMakerKey);
    }
    ScratchDevice(const ScratchDevice&) = delete;
    ScratchDevice& operator=(const ScratchDevice&) = delete;

    std::string SimName() const { return "SIM" + m_name; }
    void SetText(const char* name, const char* text) {
        Write(name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
    }
    void SetNumber(const char* name, DWORD value) { Write(name, REG_DWORD, &value, sizeof(value)); }
    const std::string& name() const { return m_name; }
    std::string KeyPath() const { return DeviceKeyPath(m_name); }

private:
    void Write(const char* name, DWORD type, const void* data, DWORD size) {
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, KeyPath().c_str(), name, type, data, size);
    }

    std::string m_name;
    bool m_createdMakerKey = false;
};
