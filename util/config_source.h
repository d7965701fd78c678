// The typed-read interface of configuration values, apart from the registry, so that the
// rules applied to them can be exercised without Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
typedef int32_t BOOL;
typedef int32_t LONG;
#endif

class ConfigSource {
public:
    virtual ~ConfigSource() = default;
    virtual BOOL GetBoolDefFalse(const char* name) const = 0;
    virtual BOOL GetBoolDefTrue(const char* name) const = 0;
    virtual LONG GetLongDefZero(const char* name) const = 0;
    virtual LONG GetLongDefMinusOne(const char* name) const = 0;
    // New[]-allocated text or null; see CRegUty::GetString.
    virtual char* GetString(const char* name) const = 0;
    // The same for a value that holds a path or a name, which may use any character: UTF-8
    // where GetString gives ANSI. A source that keeps no such distinction gives GetString.
    virtual char* GetPathString(const char* name) const { return GetString(name); }
    // A value stored as a number rather than as text: a REG_DWORD read as unsigned, a REG_QWORD
    // as signed 64 bits. False for any other type, or when the value is missing.
    virtual bool GetNumber(const char* name, int64_t* value) const {
        (void)name;
        (void)value;
        return false;
    }

    // GetString as an owned std::string; `absent` when the value gives no text.
    std::string GetStringOr(const char* name, const std::string& absent) const {
        std::unique_ptr<char[]> text(GetString(name));
        return text ? std::string(text.get()) : absent;
    }
};
