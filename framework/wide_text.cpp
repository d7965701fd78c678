// UTF-8 and UTF-16 for the wide Win32 calls.
#include "framework/wide_text.h"

#include <climits>

namespace fw {
namespace {

std::wstring Decode(UINT codePage, DWORD flags, const std::string& text) {
    if (text.empty() || text.size() > INT_MAX) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, &wide[0], n);
    return wide;
}

std::string Encode(DWORD flags, const wchar_t* text, size_t length, bool* ok) {
    *ok = true;
    if (length == 0) return std::string();
    if (length > INT_MAX) {
        *ok = false;
        return std::string();
    }
    const int size = static_cast<int>(length);
    const int n = WideCharToMultiByte(CP_UTF8, flags, text, size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        *ok = false;
        return std::string();
    }
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, flags, text, size, &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring Utf8ToWide(const std::string& text) {
    std::wstring wide = Decode(CP_UTF8, MB_ERR_INVALID_CHARS, text);
    if (wide.empty() && !text.empty()) wide = Decode(CP_ACP, 0, text);
    return wide;
}

bool WideToUtf8(const wchar_t* text, size_t length, std::string* out) {
    bool ok = false;
    *out = Encode(WC_ERR_INVALID_CHARS, text, length, &ok);
    return ok;
}

std::string WideToUtf8(const std::wstring& text) {
    bool ok = false;
    return Encode(0, text.data(), text.size(), &ok);
}

std::string UpperCaseBeyondAscii(const std::string& text) {
    std::wstring wide = Utf8ToWide(text);
    if (wide.empty() || wide.size() > INT_MAX) return text;
    std::wstring upper(wide.size(), L'\0');
    const int size = static_cast<int>(wide.size());
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), size, &upper[0], size,
                      nullptr, nullptr, 0) != size) {
        return text;
    }
    for (size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] >= 0x80) wide[i] = upper[i];
    }
    return WideToUtf8(wide);
}

}  // namespace fw
