// StatBlock: the shared statistics block as this process sees it. It lays a new block out,
// loads and lists its values, and reads and writes single statistics. It works on memory it
// is given and takes no lock: CDevStat maps the memory and holds the device's mutex around
// every call. Pure C++; no Windows headers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "stats/device_sharing.h"
#include "stats/stat_text.h"
#include "stats/stat_types.h"

class ConfigSource;

// A statistic as the last close saves it.
struct SavedStatistic {
    std::string name;
    std::string value;  // a counter as signed decimal, or the text
    bool counter;
};

class StatBlock {
public:
    StatBlock() = default;
    // Binds to base, which holds at least layout.size bytes laid out for layout.
    StatBlock(uint8_t* base, const StatLayout& layout) : m_base(base), m_layout(layout) {}

    bool IsBound() const { return m_base != nullptr; }
    const StatLayout& Layout() const { return m_layout; }

    // Creator only: zeroes the block, copies the definitions into the slots and hands out
    // the value offsets in slot order.
    void Format(const StatTables& tables);
    // Creator only: every statistic takes its stored value from values (trimmed; a missing
    // value falls back to the definition's default). A counter stored as a number rather than
    // as text takes that number.
    void Load(const StatTables& tables, const ConfigSource& values);

    // Opens of the block in running processes, as last recorded.
    int32_t Users() const;
    void SetUsers(int32_t users);
    // The processes using the block. PutUserTable also records their opens as Users().
    USERTABLE UserTable() const;
    void PutUserTable(const USERTABLE& table);

    // Slot of a table row; false for a table or row outside the layout.
    bool FindSlot(int32_t table, int32_t row, STATSLOT* slot) const;
    // Table and row of the statistic named name (case-sensitive); false when there is none.
    bool FindName(const std::string& name, int32_t* table, int32_t* row, STATSLOT* slot) const;

    int64_t Counter(const STATSLOT& slot) const;
    void PutCounter(const STATSLOT& slot, int64_t value);
    std::string Text(const STATSLOT& slot) const;
    // Stores at most kStatTextMax bytes of text.
    void PutText(const STATSLOT& slot, const std::string& text);
    std::string Unit(const STATSLOT& slot) const;
    // Counter as signed decimal, or the text.
    std::string ValueText(const STATSLOT& slot) const;

    // The store operations on one statistic, with their OPOS results.
    int32_t IncrementCounter(int32_t table, int32_t row);
    int32_t SetCounter(int32_t table, int32_t row, int64_t value);
    // text is final (dates already checked and formatted); it is cut to kStatTextMax bytes
    // without splitting a double-byte character.
    int32_t StoreText(int32_t table, int32_t row, const std::string& text,
                      const LeadByteSet& leadBytes);
    int32_t GetText(int32_t table, int32_t row, char* buffer, int32_t size) const;

    // Every persistent statistic, in slot order.
    std::vector<SavedStatistic> PersistentValues() const;

private:
    STATSLOT SlotAt(int32_t index) const;
    void PutSlot(int32_t index, const STATSLOT& slot);
    bool CounterInRange(const STATSLOT& slot) const;
    bool TextInRange(const STATSLOT& slot) const;

    uint8_t* m_base = nullptr;
    StatLayout m_layout;
};

// The form of a text statistic before it is stored: ManufactureDate and InstallationDate
// (table 0, rows 5 and 9) take today for an empty text and must otherwise be a valid
// "YYYY-MM-DD" date; Interface (table 0, row 8) must be one of the interface names. Other
// rows take the text as it is. OPOS_E_ILLEGAL when the text is refused.
int32_t PrepareStatText(int32_t table, int32_t row, const std::string& text,
                        const std::string& today, std::string* stored);
