// Helpers of the native statistics tests: a block in ordinary memory, laid out and loaded
// from a map of registry-like values, and Shift JIS lead bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "stats/cash_drawer_stats.h"
#include "stats/stat_block.h"
#include "util/config_source.h"

namespace statstest {

using Values = std::map<std::string, std::string>;

class MapSource final : public ConfigSource {
public:
    explicit MapSource(const Values& values) : m_values(values) {}
    BOOL GetBoolDefFalse(const char*) const override { return 0; }
    BOOL GetBoolDefTrue(const char*) const override { return 1; }
    LONG GetLongDefZero(const char*) const override { return 0; }
    LONG GetLongDefMinusOne(const char*) const override { return -1; }
    char* GetString(const char* name) const override {
        auto it = m_values.find(name);
        return it == m_values.end() ? nullptr
                                    : strcpy(new char[it->second.size() + 1], it->second.c_str());
    }

private:
    const Values& m_values;
};

struct TestBlock {
    explicit TestBlock(const Values& values = {}, const StatTables& tables = kCashDrawerStatTables)
        : bytes(ComputeStatLayout(tables).size, 0xCC),
          block(bytes.data(), ComputeStatLayout(tables)) {
        block.Format(tables);
        block.Load(tables, MapSource(values));
    }
    std::string Value(const std::string& name) const {
        int32_t table, row;
        STATSLOT slot;
        EXPECT_TRUE(block.FindName(name, &table, &row, &slot)) << name;
        return block.ValueText(slot);
    }
    std::vector<uint8_t> bytes;
    StatBlock block;
};

inline LeadByteSet Cp932LeadBytes() {
    LeadByteSet lead;
    for (int b = 0x81; b <= 0xFC; ++b) lead.set(static_cast<size_t>(b), b <= 0x9F || b >= 0xE0);
    return lead;
}

}  // namespace statstest
