// StatBlock: layout, load and single-statistic access of the shared statistics block.
// Every multi-byte field is copied with memcpy: the areas follow each other without gaps,
// so counters and slot fields are not aligned. Offsets read from a slot are checked against
// their area before use, so a block written by other definitions cannot lead outside it.
#include "stats/stat_block.h"

#include <cstring>
#include <limits>
#include <memory>

#include "stats/cash_drawer_stats.h"
#include "util/config_rules.h"
#include "util/config_source.h"
#include "util/opos_constants.h"

static_assert(kStatUserTableSize == sizeof(USERTABLE), "the user table closes the block");

namespace {

// Copies at most size - 1 bytes of source and terminates target.
void CopyBounded(char* target, const char* source, size_t size) {
    const size_t n = strnlen(source, size - 1);
    memcpy(target, source, n);
    target[n] = '\0';
}

std::string Bounded(const char* text, size_t maxBytes) {
    size_t n = 0;
    while (n < maxBytes && text[n] != '\0') ++n;
    return std::string(text, n);
}

}  // namespace

void StatBlock::Format(const StatTables& tables) {
    memset(m_base, 0, m_layout.size);
    int32_t index = 0;
    int32_t counters = 0;
    int32_t texts = 0;
    int32_t units = 0;
    for (int t = 0; t < kStatTableCount; ++t) {
        for (int32_t r = 0; r < m_layout.rows[t]; ++r, ++index) {
            const STATDEF& def = tables.rows[t][r];
            STATSLOT slot = {};
            CopyBounded(slot.szName, def.szName, kStatNameSize);
            slot.nType = def.nType;
            slot.bPersistent = def.bPersistent;
            slot.nAccess = def.nAccess;
            if (def.nType == kStatTypeCounter) {
                slot.nCounterOffset = static_cast<int32_t>(kStatCounterSize) * counters++;
            } else if (def.nType == kStatTypeText) {
                slot.nTextOffset = static_cast<int32_t>(kStatTextSize) * texts++;
            }
            if (t != kStatTableEquipment) {
                if (def.szUnit[0] != '\0') {
                    slot.nUnitOffset = static_cast<int32_t>(kStatUnitSize) * units++;
                    char* unit = reinterpret_cast<char*>(m_base + m_layout.unitArea +
                                                         static_cast<size_t>(slot.nUnitOffset));
                    CopyBounded(unit, def.szUnit, kStatUnitSize);
                } else {
                    slot.nUnitOffset = -1;
                }
            }
            PutSlot(index, slot);
        }
    }
}

void StatBlock::Load(const StatTables& tables, const ConfigSource& values) {
    int32_t index = 0;
    for (int t = 0; t < kStatTableCount; ++t) {
        for (int32_t r = 0; r < m_layout.rows[t]; ++r, ++index) {
            const STATDEF& def = tables.rows[t][r];
            const STATSLOT slot = SlotAt(index);
            std::unique_ptr<char[]> stored(values.GetString(slot.szName));
            const std::string text = stored ? TrimBlanks(stored.get()) : std::string(def.szDefault);
            int64_t number = 0;
            if (slot.nType == kStatTypeCounter && CounterInRange(slot)) {
                PutCounter(slot, !stored && values.GetNumber(slot.szName, &number)
                                     ? number
                                     : Int64FromText(text.c_str()));
            } else if (slot.nType == kStatTypeText && TextInRange(slot)) {
                PutText(slot, text);
            }
        }
    }
}

int32_t StatBlock::Users() const {
    int32_t users;
    memcpy(&users, m_base + kStatUsersOffset, sizeof(users));
    return users;
}

void StatBlock::SetUsers(int32_t users) {
    memcpy(m_base + kStatUsersOffset, &users, sizeof(users));
}

USERTABLE StatBlock::UserTable() const {
    USERTABLE table;
    memcpy(&table, m_base + m_layout.userArea, sizeof(table));
    return table;
}

void StatBlock::PutUserTable(const USERTABLE& table) {
    memcpy(m_base + m_layout.userArea, &table, sizeof(table));
    SetUsers(CountUserOpens(table));
}

STATSLOT StatBlock::SlotAt(int32_t index) const {
    STATSLOT slot;
    memcpy(&slot, m_base + m_layout.slotArea + sizeof(STATSLOT) * static_cast<size_t>(index),
           sizeof(slot));
    slot.szName[kStatNameSize - 1] = '\0';
    return slot;
}

void StatBlock::PutSlot(int32_t index, const STATSLOT& slot) {
    memcpy(m_base + m_layout.slotArea + sizeof(STATSLOT) * static_cast<size_t>(index), &slot,
           sizeof(slot));
}

bool StatBlock::CounterInRange(const STATSLOT& slot) const {
    return slot.nCounterOffset >= 0 &&
           static_cast<size_t>(slot.nCounterOffset) + kStatCounterSize <=
               m_layout.textArea - m_layout.counterArea;
}

bool StatBlock::TextInRange(const STATSLOT& slot) const {
    return slot.nTextOffset >= 0 && static_cast<size_t>(slot.nTextOffset) + kStatTextSize <=
                                        m_layout.unitArea - m_layout.textArea;
}

bool StatBlock::FindSlot(int32_t table, int32_t row, STATSLOT* slot) const {
    if (table < 0 || table >= kStatTableCount || row < 0 || row >= m_layout.rows[table]) {
        return false;
    }
    int32_t index = row;
    for (int t = 0; t < table; ++t) index += m_layout.rows[t];
    *slot = SlotAt(index);
    return true;
}

bool StatBlock::FindName(const std::string& name, int32_t* table, int32_t* row,
                         STATSLOT* slot) const {
    int32_t index = 0;
    for (int t = 0; t < kStatTableCount; ++t) {
        for (int32_t r = 0; r < m_layout.rows[t]; ++r, ++index) {
            const STATSLOT candidate = SlotAt(index);
            if (name == candidate.szName) {
                *table = t;
                *row = r;
                if (slot != nullptr) *slot = candidate;
                return true;
            }
        }
    }
    return false;
}

int64_t StatBlock::Counter(const STATSLOT& slot) const {
    int64_t value = 0;
    if (CounterInRange(slot)) {
        memcpy(&value, m_base + m_layout.counterArea + static_cast<size_t>(slot.nCounterOffset),
               sizeof(value));
    }
    return value;
}

void StatBlock::PutCounter(const STATSLOT& slot, int64_t value) {
    if (!CounterInRange(slot)) return;
    memcpy(m_base + m_layout.counterArea + static_cast<size_t>(slot.nCounterOffset), &value,
           sizeof(value));
}

std::string StatBlock::Text(const STATSLOT& slot) const {
    if (!TextInRange(slot)) return {};
    return Bounded(reinterpret_cast<const char*>(m_base + m_layout.textArea +
                                                 static_cast<size_t>(slot.nTextOffset)),
                   kStatTextMax);
}

void StatBlock::PutText(const STATSLOT& slot, const std::string& text) {
    if (!TextInRange(slot)) return;
    char* target =
        reinterpret_cast<char*>(m_base + m_layout.textArea + static_cast<size_t>(slot.nTextOffset));
    const size_t n = text.size() < kStatTextMax ? text.size() : kStatTextMax;
    memcpy(target, text.data(), n);
    memset(target + n, 0, kStatTextSize - n);
}

std::string StatBlock::Unit(const STATSLOT& slot) const {
    if (slot.nUnitOffset < 0 || static_cast<size_t>(slot.nUnitOffset) + kStatUnitSize >
                                    m_layout.userArea - m_layout.unitArea) {
        return {};
    }
    return Bounded(reinterpret_cast<const char*>(m_base + m_layout.unitArea +
                                                 static_cast<size_t>(slot.nUnitOffset)),
                   kStatUnitSize - 1);
}

std::string StatBlock::ValueText(const STATSLOT& slot) const {
    if (slot.nType == kStatTypeCounter) return Int64ToText(Counter(slot));
    if (slot.nType == kStatTypeText) return Text(slot);
    return {};
}

int32_t StatBlock::IncrementCounter(int32_t table, int32_t row) {
    STATSLOT slot;
    if (!FindSlot(table, row, &slot) || slot.nType != kStatTypeCounter) return OPOS_E_ILLEGAL;
    const int64_t value = Counter(slot);
    PutCounter(slot, value == std::numeric_limits<int64_t>::max() ? 0 : value + 1);
    return OPOS_SUCCESS;
}

int32_t StatBlock::SetCounter(int32_t table, int32_t row, int64_t value) {
    STATSLOT slot;
    if (!FindSlot(table, row, &slot) || slot.nType != kStatTypeCounter) return OPOS_E_ILLEGAL;
    PutCounter(slot, value);
    return OPOS_SUCCESS;
}

int32_t StatBlock::StoreText(int32_t table, int32_t row, const std::string& text,
                             const LeadByteSet& leadBytes) {
    STATSLOT slot;
    if (!FindSlot(table, row, &slot) || slot.nType != kStatTypeText) return OPOS_E_ILLEGAL;
    PutText(slot, text.substr(0, FitTextLength(text, kStatTextMax, leadBytes)));
    return OPOS_SUCCESS;
}

int32_t StatBlock::GetText(int32_t table, int32_t row, char* buffer, int32_t size) const {
    STATSLOT slot;
    if (buffer == nullptr || size <= 0 || !FindSlot(table, row, &slot) ||
        slot.nType != kStatTypeText) {
        return OPOS_E_ILLEGAL;
    }
    const std::string text = Text(slot);
    const size_t n =
        text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
    memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return OPOS_SUCCESS;
}

std::vector<SavedStatistic> StatBlock::PersistentValues() const {
    std::vector<SavedStatistic> values;
    for (int32_t i = 0; i < m_layout.slots; ++i) {
        const STATSLOT slot = SlotAt(i);
        if (slot.bPersistent != 0) {
            values.push_back({slot.szName, ValueText(slot), slot.nType == kStatTypeCounter});
        }
    }
    return values;
}

int32_t PrepareStatText(int32_t table, int32_t row, const std::string& text,
                        const std::string& today, std::string* stored) {
    const bool equipment = table == kStatTableEquipment;
    if (equipment && (row == kStatRowInstallationDate || row == kStatRowManufactureDate)) {
        if (text.empty()) {
            *stored = today;
            return OPOS_SUCCESS;
        }
        return ParseStatDate(text, stored) ? OPOS_SUCCESS : OPOS_E_ILLEGAL;
    }
    if (equipment && row == kStatRowInterface && !IsStatInterface(text)) return OPOS_E_ILLEGAL;
    *stored = text;
    return OPOS_SUCCESS;
}
