// Helpers shared by the Wine tests: COM apartment per test, HRESULT and OPOS names in messages.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "tools/client/drawer_client.h"
#include "util/opos_constants.h"

// The tests drive the service as an application does, through the shared client.
using client::ControlObjectStub;
using client::DrawerClient;
using client::PumpFor;
using client::PumpUntil;

namespace testutil {

// A file's whole contents written or read as bytes; "<missing>" for a file that is not there.
inline bool WriteWholeFile(const std::string& path, const std::string& contents) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(file << contents);
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// An HRESULT as text for messages (winerror.h has the names).
inline std::string HrName(HRESULT hr) {
    if (hr == S_OK) return "S_OK";
    char text[32];
    snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

inline std::string OposName(LONG code) {
    const char* name = OposResultName(code);
    return name ? name : std::to_string(code);
}

// Initialises a single-threaded apartment for the duration of a test.
struct ComApartment {
    ComApartment() : hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr)) CoUninitialize();
    }
    HRESULT result() const { return hr; }
    const HRESULT hr;
};

// A registry value as a test reads it back: REG_SZ or REG_EXPAND_SZ text, REG_DWORD number.
struct RegValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::string text;
    DWORD number = 0;
};

inline RegValue ReadRegValue(HKEY root, const std::string& key, const char* name) {
    RegValue v;
    char data[1024] = {};
    DWORD size = sizeof(data) - 1;
    if (RegGetValueA(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &v.type, data, &size) ==
        ERROR_SUCCESS) {
        v.present = true;
        if (v.type == REG_DWORD) memcpy(&v.number, data, sizeof(DWORD));
        if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) v.text = data;
    }
    return v;
}

inline bool WriteRegText(HKEY root, const std::string& key, const char* name,
                         const std::string& text) {
    return RegSetKeyValueA(root, key.c_str(), name, REG_SZ, text.c_str(),
                           static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

inline bool RegKeyExists(HKEY root, const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

inline std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return s;
}

}  // namespace testutil

#define EXPECT_HR(expected, actual) EXPECT_EQ(testutil::HrName(expected), testutil::HrName(actual))
#define ASSERT_HR(expected, actual) ASSERT_EQ(testutil::HrName(expected), testutil::HrName(actual))
#define ASSERT_OPOS(expected, actual) \
    ASSERT_EQ(testutil::OposName(expected), testutil::OposName(actual))
#define EXPECT_OPOS(expected, actual) \
    EXPECT_EQ(testutil::OposName(expected), testutil::OposName(actual))
