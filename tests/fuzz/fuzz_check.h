// What the fuzz targets share: a check that stops the run with the failed condition and its
// place, so that libFuzzer keeps the input that broke it, and helpers for texts and keys.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "util/config_source.h"

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace fuzz {

// The text up to its first NUL, as a C function taking the text sees it.
inline std::string UpToNul(const std::string& text) {
    const size_t end = text.find('\0');
    return end == std::string::npos ? text : text.substr(0, end);
}

inline char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A key holding only texts (REG_SZ values, up to their NUL): numbers and flags read as absent.
class TextKey final : public ConfigSource {
public:
    std::map<std::string, std::string> texts;

    BOOL GetBoolDefFalse(const char*) const override { return 0; }
    BOOL GetBoolDefTrue(const char*) const override { return 1; }
    LONG GetLongDefZero(const char*) const override { return 0; }
    LONG GetLongDefMinusOne(const char*) const override { return -1; }
    char* GetString(const char* name) const override {
        auto it = texts.find(name);
        if (it == texts.end()) return nullptr;
        char* text = new char[it->second.size() + 1]();
        memcpy(text, it->second.data(), it->second.size());
        return text;
    }
};

}  // namespace fuzz
