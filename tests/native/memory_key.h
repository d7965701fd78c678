// A registry key held in memory for the native tests: texts are REG_SZ values, numbers
// REG_DWORD values, read by the registry utility's rules.
#pragma once

#include <cstring>
#include <map>
#include <string>

#include "util/config_rules.h"
#include "util/config_source.h"

class MemoryKey : public ConfigSource {
public:
    MemoryKey() = default;
    explicit MemoryKey(std::map<std::string, std::string> t) : texts(std::move(t)) {}

    std::map<std::string, std::string> texts;
    std::map<std::string, int32_t> numbers;

    BOOL GetBoolDefFalse(const char* name) const override { return Bool(name, 0); }
    BOOL GetBoolDefTrue(const char* name) const override { return Bool(name, 1); }
    LONG GetLongDefZero(const char* name) const override { return Long(name, 0); }
    LONG GetLongDefMinusOne(const char* name) const override { return Long(name, -1); }
    char* GetString(const char* name) const override {
        auto it = texts.find(name);
        return it == texts.end() ? nullptr
                                 : strcpy(new char[it->second.size() + 1], it->second.c_str());
    }

private:
    BOOL Bool(const char* name, BOOL fallback) const {
        auto it = texts.find(name);
        return it == texts.end() ? fallback : BoolFromText(it->second.c_str());
    }
    LONG Long(const char* name, LONG fallback) const {
        if (auto n = numbers.find(name); n != numbers.end()) return n->second;
        auto t = texts.find(name);
        return t == texts.end() ? fallback : LongFromText(t->second.c_str());
    }
};
