// A device entry in the OPOS registry tree that exists for one test: the device key with the
// values a test gives it, and the maker's key when it was missing. Both are removed again.
// The name is UTF-8 and may use any character.
#pragma once

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "framework/wide_text.h"
#include "server/server_registry.h"
#include "so/device_config.h"
#include "tests/win/sim_control.h"

class ScratchDevice {
public:
    // views: the registry views to write, each 0 (the process's own), KEY_WOW64_32KEY or
    // KEY_WOW64_64KEY; a device that 32- and 64-bit applications share is written to both.
    explicit ScratchDevice(std::string name, bool withMakerKey = true,
                           std::vector<REGSAM> views = {0})
        : m_name(std::move(name)), m_views(std::move(views)), m_createdMakerKey(m_views.size()) {
        for (size_t v = 0; v < m_views.size(); ++v) {
            const REGSAM view = m_views[v];
            DeleteTree(view, KeyPath());
            // The statistics of a device live in its "Stat" subkey, which must exist.
            HKEY key = nullptr;
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, fw::Utf8ToWide(KeyPath() + "\\Stat").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
            RegCloseKey(key);
            if (withMakerKey) {
                DWORD disposition = 0;
                RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                nullptr, &key, &disposition);
                m_createdMakerKey[v] = disposition == REG_CREATED_NEW_KEY;
                RegCloseKey(key);
            }
        }
        SetText(nullptr, kProgId);
        // Every test device talks to its own simulated controller, fresh for each test.
        SetText("Port", SimName().c_str());
        Sim(SimName(), "reset");
    }
    ~ScratchDevice() {
        for (size_t v = 0; v < m_views.size(); ++v) {
            DeleteTree(m_views[v], KeyPath());
            if (m_createdMakerKey[v]) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, m_views[v], 0);
        }
        for (REGSAM view : m_makerPathViews) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, KEY_SET_VALUE | view, &key) ==
                ERROR_SUCCESS) {
                RegDeleteValueA(key, "Path");
                RegCloseKey(key);
            }
        }
    }

    // The maker key's "Path" in one registry view (removed again at the end): each build
    // then loads the port library of its own bitness from its own folder.
    void SetMakerPath(REGSAM view, std::string folder) {
        if (folder.empty() || folder.back() != '\\') folder += '\\';
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, nullptr, 0, KEY_SET_VALUE | view,
                            nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                           static_cast<DWORD>(folder.size() + 1));
            RegCloseKey(key);
            m_makerPathViews.push_back(view);
        }
    }
    ScratchDevice(const ScratchDevice&) = delete;
    ScratchDevice& operator=(const ScratchDevice&) = delete;

    // The simulated controller's name is letters and digits: one in another script goes by
    // its hash.
    std::string SimName() const {
        for (char c : m_name) {
            if (c & 0x80) return "SIM" + std::to_string(std::hash<std::string>()(m_name) % 1000000);
        }
        return "SIM" + m_name;
    }
    void SetText(const char* name, const char* text) {
        Write(name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
    }
    void SetNumber(const char* name, DWORD value) { Write(name, REG_DWORD, &value, sizeof(value)); }
    const std::string& name() const { return m_name; }
    std::string KeyPath() const { return DeviceKeyPath(m_name); }

private:
    void Write(const char* name, DWORD type, const void* data, DWORD size) {
        for (REGSAM view : m_views) {
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, fw::Utf8ToWide(KeyPath()).c_str(), 0, nullptr,
                                0, KEY_SET_VALUE | view, nullptr, &key, nullptr) == ERROR_SUCCESS) {
                RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
                RegCloseKey(key);
            }
        }
    }
    static void DeleteTree(REGSAM view, const std::string& path) {
        HKEY key = nullptr;
        const std::wstring wide = fw::Utf8ToWide(path);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, KEY_ALL_ACCESS | view, &key) ==
            ERROR_SUCCESS) {
            RegDeleteTreeW(key, nullptr);
            RegCloseKey(key);
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), view, 0);
        }
    }

    std::string m_name;
    std::vector<REGSAM> m_views;
    std::vector<bool> m_createdMakerKey;
    std::vector<REGSAM> m_makerPathViews;
};
