// Helpers of the native statistics tests: a block in ordinary memory, laid out and loaded
// from a map of registry-like values, and Shift JIS lead bytes.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "stats/cash_drawer_stats.h"
#include "stats/stat_block.h"
#include "tests/native/memory_key.h"

namespace statstest {

using Values = std::map<std::string, std::string>;

struct TestBlock {
    explicit TestBlock(const Values& values = {}, const StatTables& tables = kCashDrawerStatTables)
        : bytes(ComputeStatLayout(tables).size, 0xCC),
          block(bytes.data(), ComputeStatLayout(tables)) {
        block.Format(tables);
        block.Load(tables, MemoryKey(values));
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
