// Names and paths a user gives (device names, folders, files) may use any Unicode character.
// They travel through our code as UTF-8 in std::string and become UTF-16 only at the Win32
// call, which is always the wide form: the ANSI forms would turn every character outside the
// ANSI code page into '?'.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

// The UTF-16 form of a text for a wide Win32 call. A text that is not valid UTF-8 is a byte
// text from elsewhere (a DirectIO name, an older build's shared block, an older caller of the
// trace library) and is read in the ANSI code page, as it always was. Embedded NULs are kept.
std::wstring Utf8ToWide(const std::string& text);

// UTF-16 to UTF-8, NULs included. False, with *out empty, when the text holds an unpaired
// surrogate: such a text names nothing and is refused rather than changed.
bool WideToUtf8(const wchar_t* text, size_t length, std::string* out);
// The same for texts that are only shown: an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const std::wstring& text);

// The text (UTF-8) with its letters outside ASCII in upper case, by the system's invariant
// casing, the one that makes registry key names match without regard to case. ASCII is left
// exactly as it is.
std::string UpperCaseBeyondAscii(const std::string& text);

// A byte text (UTF-8, or ANSI as Utf8ToWide reads it) in UTF-8.
inline std::string ToUtf8(const std::string& text) {
    return WideToUtf8(Utf8ToWide(text));
}

}  // namespace fw
