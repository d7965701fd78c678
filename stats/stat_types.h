// Statistics definitions, request records and the layout of the shared statistics block.
// The block is shared by every process (32- and 64-bit) that opens the same device, so its
// layout is fixed byte by byte and checked at compile time. Pure C++; no Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>

// Extended result codes of ResetStatistics and UpdateStatistics (with OPOS_E_EXTENDED).
constexpr int32_t OPOS_ESTATS_ERROR = 280;       // some named statistics were not honoured
constexpr int32_t OPOS_ESTATS_DEPENDENCY = 282;  // none of the named statistics was honoured

// Definition tables: 0 identification, 1 UnifiedPOS counters, 2 manufacturer-specific.
constexpr int32_t kStatTableEquipment = 0;
constexpr int32_t kStatTableUpos = 1;
constexpr int32_t kStatTableManufacturer = 2;
constexpr int kStatTableCount = 3;

// Value types.
constexpr int32_t kStatTypeCounter = 0;  // signed 64-bit integer
constexpr int32_t kStatTypeText = 1;     // at most kStatTextMax bytes

// Access bits.
constexpr int32_t kStatAccessReset = 0x1;
constexpr int32_t kStatAccessUpdate = 0x2;

// Request modes.
constexpr int32_t kStatModeRetrieve = 0;
constexpr int32_t kStatModeUpdate = 1;
constexpr int32_t kStatModeReset = 2;

constexpr size_t kStatNameSize = 65;   // name, NUL included
constexpr size_t kStatTextSize = 129;  // text value, NUL included
constexpr size_t kStatUnitSize = 65;   // unit of measure, NUL included
constexpr size_t kStatTextMax = kStatTextSize - 1;

// One statistic as the device defines it.
struct STATDEF {
    char szName[kStatNameSize];  // also the registry value name
    int32_t nType;               // kStatTypeCounter or kStatTypeText
    int32_t bPersistent;         // 1: saved at the last close, may be reset or updated
    int32_t nAccess;             // kStatAccess* bits
    char szDefault[kStatTextSize];
    char szUnit[kStatUnitSize];  // empty for none
};

// The three definition tables of a device; a table without rows has count 0 (rows may then
// be null).
struct StatTables {
    const STATDEF* rows[kStatTableCount];
    int32_t counts[kStatTableCount];
};

// One resolved statistic of a request.
struct STATREQ {
    int32_t nTable;
    int32_t nRow;
    char szText[kStatTextSize];  // text statistics
    int64_t llCounter;           // counter statistics
};

// A slot of the shared block: 89 bytes, no padding.
#pragma pack(push, 1)
struct STATSLOT {
    char szName[kStatNameSize];
    int32_t nType;
    int32_t bPersistent;
    int32_t nAccess;
    int32_t nTextOffset;     // into the text area; 0 for counters
    int32_t nCounterOffset;  // into the counter area; 0 for texts
    int32_t nUnitOffset;     // into the unit area, -1 without unit; 0 in table 0
};
#pragma pack(pop)

static_assert(sizeof(STATSLOT) == 89, "STATSLOT is 89 bytes in every build");
static_assert(offsetof(STATSLOT, nType) == 65, "STATSLOT layout");
static_assert(offsetof(STATSLOT, bPersistent) == 69, "STATSLOT layout");
static_assert(offsetof(STATSLOT, nAccess) == 73, "STATSLOT layout");
static_assert(offsetof(STATSLOT, nTextOffset) == 77, "STATSLOT layout");
static_assert(offsetof(STATSLOT, nCounterOffset) == 81, "STATSLOT layout");
static_assert(offsetof(STATSLOT, nUnitOffset) == 85, "STATSLOT layout");

// Block header: the number of attached stores in running processes.
constexpr size_t kStatUsersOffset = 0;
constexpr size_t kStatHeaderSize = 4;
constexpr size_t kStatCounterSize = 8;
// The table of the processes using the block (USERTABLE) ends it.
constexpr size_t kStatUserTableSize = 512;

// Where the areas of a block lie, from its row and value counts.
struct StatLayout {
    int32_t rows[kStatTableCount] = {};
    int32_t slots = 0;     // N
    int32_t counters = 0;  // C
    int32_t texts = 0;     // T
    int32_t units = 0;     // U: table 1 and 2 rows with a unit
    size_t slotArea = 0;
    size_t counterArea = 0;
    size_t textArea = 0;
    size_t unitArea = 0;
    size_t userArea = 0;
    size_t size = 0;
};

constexpr StatLayout ComputeStatLayout(const StatTables& tables) {
    StatLayout layout;
    for (int t = 0; t < kStatTableCount; ++t) {
        const int32_t count = tables.counts[t] > 0 ? tables.counts[t] : 0;
        layout.rows[t] = count;
        layout.slots += count;
        for (int32_t r = 0; r < count; ++r) {
            const STATDEF& def = tables.rows[t][r];
            if (def.nType == kStatTypeCounter) ++layout.counters;
            if (def.nType == kStatTypeText) ++layout.texts;
            if (t != kStatTableEquipment && def.szUnit[0] != '\0') ++layout.units;
        }
    }
    layout.slotArea = kStatHeaderSize;
    layout.counterArea = layout.slotArea + sizeof(STATSLOT) * static_cast<size_t>(layout.slots);
    layout.textArea = layout.counterArea + kStatCounterSize * static_cast<size_t>(layout.counters);
    layout.unitArea = layout.textArea + kStatTextSize * static_cast<size_t>(layout.texts);
    layout.userArea = layout.unitArea + kStatUnitSize * static_cast<size_t>(layout.units);
    layout.size = layout.userArea + kStatUserTableSize;
    return layout;
}
