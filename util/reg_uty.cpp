// CRegUty: typed registry reads with fixed defaults, and REG_SZ writes.
#include "util/reg_uty.h"

#include <new>
#include <string>

#include "framework/wide_text.h"
#include "util/config_rules.h"
#include "util/opos_constants.h"

namespace {

// The value's type and size, or false when it cannot be queried or is empty.
bool QueryTypeAndSize(HKEY key, const char* name, DWORD* type, DWORD* size) {
    *type = 0;
    *size = 0;
    if (RegQueryValueExA(key, name, nullptr, type, nullptr, size) != ERROR_SUCCESS) return false;
    return *size != 0;
}

// Reads REG_SZ data into a zero-filled buffer one byte longer than the data, so the text is
// terminated even when it was stored without its NUL. Null on any failure.
char* ReadText(HKEY key, const char* name, DWORD size) {
    char* buffer = new (std::nothrow) char[size + 1]();
    if (buffer == nullptr) return nullptr;
    DWORD got = size;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &got) !=
        ERROR_SUCCESS) {
        delete[] buffer;
        return nullptr;
    }
    return buffer;
}

}  // namespace

LONG CRegUty::OpenKey(HKEY root, const char* subKey, REGSAM access) {
    HKEY key = nullptr;
    const std::wstring path = subKey != nullptr ? fw::Utf8ToWide(subKey) : std::wstring();
    LONG error = RegOpenKeyExW(root, subKey != nullptr ? path.c_str() : nullptr, 0, access, &key);
    m_key.reset(error == ERROR_SUCCESS ? key : nullptr);
    return error;
}

BOOL CRegUty::GetBoolDefFalse(const char* name) const {
    char* text = GetString(name);
    if (text == nullptr) return FALSE;
    BOOL value = BoolFromText(text);
    delete[] text;
    return value;
}

BOOL CRegUty::GetBoolDefTrue(const char* name) const {
    char* text = GetString(name);
    if (text == nullptr) return TRUE;
    BOOL value = BoolFromText(text);
    delete[] text;
    return value;
}

namespace {

LONG ReadLong(HKEY key, const char* name, LONG fallback) {
    if (key == nullptr) return fallback;
    DWORD type = 0, size = 0;
    if (!QueryTypeAndSize(key, name, &type, &size)) return fallback;
    if (type == REG_DWORD) {
        DWORD value = 0;
        DWORD got = size < sizeof(value) ? size : sizeof(value);
        if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &got) !=
            ERROR_SUCCESS) {
            return fallback;
        }
        return static_cast<LONG>(value);
    }
    if (type != REG_SZ) return fallback;
    char* text = ReadText(key, name, size);
    if (text == nullptr) return fallback;
    LONG value = LongFromText(text);
    delete[] text;
    return value;
}

}  // namespace

LONG CRegUty::GetLongDefZero(const char* name) const {
    return ReadLong(m_key.get(), name, 0);
}

LONG CRegUty::GetLongDefMinusOne(const char* name) const {
    return ReadLong(m_key.get(), name, -1);
}

char* CRegUty::GetString(const char* name) const {
    if (!m_key) return nullptr;
    DWORD type = 0, size = 0;
    if (!QueryTypeAndSize(m_key.get(), name, &type, &size) || type != REG_SZ) return nullptr;
    return ReadText(m_key.get(), name, size);
}

char* CRegUty::GetPathString(const char* name) const {
    if (!m_key) return nullptr;
    const std::wstring wideName = fw::Utf8ToWide(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(m_key.get(), wideName.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0 || type != REG_SZ) {
        return nullptr;
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = size;
    if (RegQueryValueExW(m_key.get(), wideName.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&text[0]), &got) != ERROR_SUCCESS) {
        return nullptr;
    }
    text.resize(text.find(L'\0'));  // the data may or may not end with its terminator
    std::string utf8;
    if (!fw::WideToUtf8(text.data(), text.size(), &utf8)) return nullptr;
    char* copy = new (std::nothrow) char[utf8.size() + 1]();
    if (copy != nullptr) utf8.copy(copy, utf8.size());
    return copy;
}

bool CRegUty::GetNumber(const char* name, int64_t* value) const {
    if (!m_key) return false;
    DWORD type = 0, size = 0;
    if (!QueryTypeAndSize(m_key.get(), name, &type, &size)) return false;
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        if (RegQueryValueExA(m_key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number),
                             &size) != ERROR_SUCCESS) {
            return false;
        }
        *value = number;
        return true;
    }
    if (type == REG_QWORD && size == sizeof(int64_t)) {
        int64_t number = 0;
        if (RegQueryValueExA(m_key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number),
                             &size) != ERROR_SUCCESS) {
            return false;
        }
        *value = number;
        return true;
    }
    return false;
}

LONG CRegUty::SetString(const char* name, const char* text) {
    return WriteText(name, text, Form::Ansi);
}

LONG CRegUty::SetStringOverNumber(const char* name, const char* text) {
    return WriteText(name, text, Form::AnsiOverNumber);
}

LONG CRegUty::SetPathString(const char* name, const char* text) {
    return WriteText(name, text, Form::Wide);
}

LONG CRegUty::WriteText(const char* name, const char* text, Form form) {
    const bool overNumber = form == Form::AnsiOverNumber;
    if (!m_key) return OPOS_E_CLOSED;
    DWORD type = 0;
    LONG query = RegQueryValueExA(m_key.get(), name, nullptr, &type, nullptr, nullptr);
    if (query == ERROR_SUCCESS) {
        const bool number = type == REG_DWORD || type == REG_QWORD;
        if (type != REG_SZ && !(overNumber && number)) return OPOS_E_FAILURE;
    } else if (query != ERROR_FILE_NOT_FOUND) {
        return OPOS_E_FAILURE;
    }
    LONG written = ERROR_SUCCESS;
    if (form == Form::Wide) {
        const std::wstring wide = fw::Utf8ToWide(text);
        written = RegSetValueExW(m_key.get(), fw::Utf8ToWide(name).c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(wide.c_str()),
                                 static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    } else {
        written = RegSetValueExA(m_key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>(strlen(text) + 1));
    }
    return written == ERROR_SUCCESS ? OPOS_SUCCESS : OPOS_E_FAILURE;
}

REGSAM SharedDeviceView(const char* deviceKeyPath) {
    // In a 32-bit process KEY_WOW64_32KEY is the process's own view, so both builds decide the
    // same way; on 32-bit Windows the flag is ignored and there is only one view.
    fw::UniqueHKey key;
    const LONG error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, fw::Utf8ToWide(deviceKeyPath).c_str(), 0,
                                     KEY_QUERY_VALUE | KEY_WOW64_32KEY, key.put());
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : KEY_WOW64_32KEY;
}
