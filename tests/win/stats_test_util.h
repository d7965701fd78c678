// Helpers of the Wine statistics tests: a scratch device class whose registry key is removed
// after each test, and a raw view of a device's shared block as another process maps it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "framework/handles.h"
#include "stats/cash_drawer_stats.h"
#include "stats/dev_stat.h"
#include "tests/win/test_util.h"

namespace statstest {

constexpr char kClass[] = "BramwickTestStat";
constexpr char kClassKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\BramwickTestStat";

class StatsRegistryTest : public ::testing::Test {
protected:
    // One device per test, so that a block left by a failed test cannot leak into another.
    void SetUp() override {
        m_device = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kClassKey);
        RecreateStatKey();
    }
    void TearDown() override {
        RegCloseKey(m_key);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kClassKey);
    }
    void RecreateStatKey() {
        if (m_key != nullptr) RegCloseKey(m_key);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, StatKey().c_str(), 0, nullptr,
                                                 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr));
    }
    std::string StatKey() const { return StatRegistryKey(kClass, m_device); }
    const char* Device() const { return m_device.c_str(); }
    LONG Open(CDevStat& stats) const {
        return stats.Open(kClass, m_device.c_str(), kCashDrawerStatTables);
    }
    void Put(const char* name, const std::string& text) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key, name, 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(text.c_str()),
                                                static_cast<DWORD>(text.size() + 1)));
    }
    // A REG_SZ value of the Stat key; nothing when absent.
    std::optional<std::string> Saved(const char* name) const {
        const testutil::RegValue v = testutil::ReadRegValue(HKEY_LOCAL_MACHINE, StatKey(), name);
        return v.type == REG_SZ ? std::optional<std::string>(v.text) : std::nullopt;
    }

    HKEY m_key = nullptr;
    std::string m_device;
};

// The device's block mapped on its own, outside any CDevStat.
struct RawBlock {
    explicit RawBlock(const std::string& device)
        : mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE,
                                   StatMappingName(kClass, device).c_str())),
          view(mapping ? MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr),
          block(static_cast<uint8_t*>(view.get()), kCashDrawerStatLayout) {}
    bool exists() const { return block.IsBound(); }
    const uint8_t* bytes() const { return static_cast<const uint8_t*>(view.get()); }
    std::string Value(const std::string& name) const {
        int32_t table, row;
        STATSLOT slot;
        return block.FindName(name, &table, &row, &slot) ? block.ValueText(slot) : "<none>";
    }

    fw::UniqueKernel mapping;
    fw::UniqueMappedView view;
    StatBlock block;
};

inline std::string TodayText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return FormatStatDate(now.wYear, now.wMonth, now.wDay);
}

}  // namespace statstest
