// Automation-string (BSTR) entry points of COPOStr, Windows builds only. BSTRs are read by
// code-unit value; strings are produced from ANSI text in the thread's ANSI code page.
#ifdef _WIN32

#include "opostr.h"

#include <windows.h>
#include <oleauto.h>

#include <climits>
#include <memory>
#include <new>

static_assert(sizeof(wchar_t) == 2, "BSTR code units must be 16-bit wchar_t");
static_assert(sizeof(OLECHAR) == sizeof(char16_t), "OLECHAR must be a UTF-16 code unit");

uint8_t* COPOStr::BSTRToBytes(const BSTR* str, int32_t* length, int32_t mode) const {
    if (length == nullptr) return nullptr;
    *length = 0;
    if (str == nullptr || *str == nullptr) return nullptr;

    // Copy up to the first NUL (a BSTR may hold embedded ones) as char16_t units.
    const OLECHAR* src = *str;
    size_t count = 0;
    while (src[count] != 0) ++count;
    if (count == 0) return nullptr;
    std::unique_ptr<char16_t[]> units(new (std::nothrow) char16_t[count + 1]);
    if (!units) return nullptr;
    for (size_t i = 0; i <= count; ++i) units[i] = static_cast<char16_t>(src[i]);

    return WideToBytes(units.get(), length, mode);
}

BSTR COPOStr::BytesToBSTR(const uint8_t* data, int32_t count, int32_t mode) const {
    if (data == nullptr || count < 1) return nullptr;
    const std::string text = BytesToString(data, count, mode);
    if (text.empty()) return SysAllocString(L"");
    if (text.size() > static_cast<size_t>(INT_MAX)) return nullptr;

    const int chars = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), chars, nullptr, 0);
    if (wide <= 0) return nullptr;
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
    if (result == nullptr) return nullptr;
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), chars, result, wide) != wide) {
        SysFreeString(result);
        return nullptr;
    }
    return result;
}

#endif  // _WIN32
