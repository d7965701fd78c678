// The cash drawer's statistics: ten identification entries and four UnifiedPOS counters; it
// has no manufacturer-specific statistics. Pure C++.
#pragma once

#include "stats/stat_types.h"

// Identification rows (table 0).
constexpr int32_t kStatRowUnifiedPOSVersion = 0;
constexpr int32_t kStatRowDeviceCategory = 1;
constexpr int32_t kStatRowManufacturerName = 2;
constexpr int32_t kStatRowModelName = 3;
constexpr int32_t kStatRowSerialNumber = 4;
constexpr int32_t kStatRowManufactureDate = 5;
constexpr int32_t kStatRowMechanicalRevision = 6;
constexpr int32_t kStatRowFirmwareRevision = 7;
constexpr int32_t kStatRowInterface = 8;
constexpr int32_t kStatRowInstallationDate = 9;

// Counter rows (table 1).
constexpr int32_t kStatRowHoursPoweredCount = 0;
constexpr int32_t kStatRowCommunicationErrorCount = 1;
constexpr int32_t kStatRowDrawerGoodOpenCount = 2;
constexpr int32_t kStatRowDrawerFailedOpenCount = 3;

constexpr int32_t kStatBoth = kStatAccessReset | kStatAccessUpdate;

inline constexpr STATDEF kCashDrawerEquipmentStats[] = {
    {"UnifiedPOSVersion", kStatTypeText, 1, 0, "1.13", ""},
    {"DeviceCategory", kStatTypeText, 1, 0, "CashDrawer", ""},
    {"ManufacturerName", kStatTypeText, 1, 0, "Velmora", ""},
    {"ModelName", kStatTypeText, 1, kStatBoth, "", ""},
    {"SerialNumber", kStatTypeText, 1, kStatBoth, "", ""},
    {"ManufactureDate", kStatTypeText, 1, kStatBoth, "", ""},
    {"MechanicalRevision", kStatTypeText, 1, kStatBoth, "", ""},
    {"FirmwareRevision", kStatTypeText, 1, kStatBoth, "", ""},
    {"Interface", kStatTypeText, 1, 0, "USB", ""},
    {"InstallationDate", kStatTypeText, 1, kStatBoth, "", ""},
};

inline constexpr STATDEF kCashDrawerUposStats[] = {
    {"HoursPoweredCount", kStatTypeCounter, 0, 0, "0", ""},
    {"CommunicationErrorCount", kStatTypeCounter, 1, kStatBoth, "0", ""},
    {"DrawerGoodOpenCount", kStatTypeCounter, 1, kStatBoth, "0", ""},
    {"DrawerFailedOpenCount", kStatTypeCounter, 1, kStatBoth, "0", ""},
};

inline constexpr StatTables kCashDrawerStatTables = {
    {kCashDrawerEquipmentStats, kCashDrawerUposStats, nullptr},
    {10, 4, 0},
};

// The shared block of a cash drawer: 14 slots, 4 counters, 10 texts, no units.
inline constexpr StatLayout kCashDrawerStatLayout = ComputeStatLayout(kCashDrawerStatTables);
static_assert(kCashDrawerStatLayout.slots == 14 && kCashDrawerStatLayout.counters == 4 &&
                  kCashDrawerStatLayout.texts == 10 && kCashDrawerStatLayout.units == 0,
              "cash drawer statistics");
static_assert(kCashDrawerStatLayout.counterArea == 1250, "counter area follows 14 slots");
static_assert(kCashDrawerStatLayout.textArea == 1282, "text area follows 4 counters");
static_assert(kCashDrawerStatLayout.userArea == 2572, "user table follows 10 texts");
static_assert(kCashDrawerStatLayout.size == 3084, "the cash drawer block is 3084 bytes");
