// CRegUty: the one place the service reads and writes the registry. Wraps one open key and
// offers typed reads with fixed defaults, so a missing, mistyped or unreadable value always
// falls back the same way. Short-lived local objects; not shared between threads.
#pragma once

#include <windows.h>

#include "framework/handles.h"
#include "util/config_source.h"

class CRegUty final : public ConfigSource {
public:
    CRegUty() = default;
    CRegUty(const CRegUty&) = delete;
    CRegUty& operator=(const CRegUty&) = delete;

    // Opens subKey (UTF-8: it holds device names) under root, closing a key already held.
    // Returns the Win32 error (0 on success); on failure no key is held.
    LONG OpenKey(HKEY root, const char* subKey, REGSAM access);
    void CloseKey() { m_key.reset(); }
    bool IsOpen() const { return static_cast<bool>(m_key); }

    // Typed reads; every problem gives the default named in the function.
    BOOL GetBoolDefFalse(const char* name) const override;
    BOOL GetBoolDefTrue(const char* name) const override;
    LONG GetLongDefZero(const char* name) const override;
    LONG GetLongDefMinusOne(const char* name) const override;
    // A REG_SZ value as a new[]-allocated, NUL-terminated copy the caller deletes with
    // delete[]; null when absent, empty (size 0), of another type or unreadable.
    char* GetString(const char* name) const override;
    // GetString in UTF-8, read through the wide call; also null for a text with an unpaired
    // surrogate, which names no file.
    char* GetPathString(const char* name) const override;
    bool GetNumber(const char* name, int64_t* value) const override;

    // Writes a REG_SZ value. OPOS_E_CLOSED without a key, OPOS_E_FAILURE when the value
    // exists with another type or cannot be read or written.
    LONG SetString(const char* name, const char* text);
    // SetString for a value that may also have been stored as a number (REG_DWORD or
    // REG_QWORD): such a value is replaced by the text. Other types are refused as by SetString.
    LONG SetStringOverNumber(const char* name, const char* text);
    // SetString for a path or a name given in UTF-8 (or as ANSI bytes; see fw::Utf8ToWide).
    LONG SetPathString(const char* name, const char* text);

private:
    enum class Form { Ansi, AnsiOverNumber, Wide };
    LONG WriteText(const char* name, const char* text, Form form);

    fw::UniqueHKey m_key;
};

// The registry view that holds the values a device keeps once for every build of the service
// (its statistics and reliability settings), as a flag to OR into the access of CRegUty::OpenKey:
// KEY_WOW64_32KEY when the device key under HKEY_LOCAL_MACHINE exists in the 32-bit view, where
// OPOS keeps its tree on 64-bit Windows, so that a 32-bit and a 64-bit application share them;
// 0 (the caller's own view) when it does not, as for a device set up for 64-bit applications
// only. A key that exists but may not be opened counts as existing.
REGSAM SharedDeviceView(const char* deviceKeyPath);  // UTF-8
