// Helpers shared by the Wine tests: COM apartment per test, HRESULT and OPOS names in messages.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "util/opos_constants.h"

namespace testutil {

inline std::string HrName(HRESULT hr) {
    switch (hr) {
        case S_OK:
            return "S_OK";
        case S_FALSE:
            return "S_FALSE";
        case E_NOINTERFACE:
            return "E_NOINTERFACE";
        case DISP_E_UNKNOWNNAME:
            return "DISP_E_UNKNOWNNAME";
        case DISP_E_MEMBERNOTFOUND:
            return "DISP_E_MEMBERNOTFOUND";
        case DISP_E_BADPARAMCOUNT:
            return "DISP_E_BADPARAMCOUNT";
        case DISP_E_TYPEMISMATCH:
            return "DISP_E_TYPEMISMATCH";
        case DISP_E_NONAMEDARGS:
            return "DISP_E_NONAMEDARGS";
        case DISP_E_PARAMNOTOPTIONAL:
            return "DISP_E_PARAMNOTOPTIONAL";
        case DISP_E_UNKNOWNINTERFACE:
            return "DISP_E_UNKNOWNINTERFACE";
        case CLASS_E_CLASSNOTAVAILABLE:
            return "CLASS_E_CLASSNOTAVAILABLE";
        default: {
            char text[32];
            snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
            return text;
        }
    }
}

inline std::string OposName(LONG code) {
    const char* name = OposResultName(code);
    return name ? name : std::to_string(code);
}

// Initialises a single-threaded apartment for the duration of a test.
class ComApartment {
public:
    ComApartment() { m_hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr;
};

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
