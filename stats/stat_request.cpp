// Request resolution. The list is worked in the order the request gives it, because the
// report prints counters from the last record to the first.
#include "stats/stat_request.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "util/config_rules.h"
#include "util/opos_constants.h"

namespace {

struct Entry {
    std::string name;
    std::string value;
};

using Entries = std::vector<Entry>;

// The rows a category name stands for: the empty name every statistic (tables 0 to 2), "U_"
// the UnifiedPOS counters (table 1), "M_" the manufacturer-specific ones (table 2).
bool CategoryTables(const std::string& name, int* first, int* last) {
    if (name.empty()) {
        *first = kStatTableEquipment;
        *last = kStatTableManufacturer;
    } else if (name == "U_" || name == "M_") {
        *first = *last = name == "U_" ? kStatTableUpos : kStatTableManufacturer;
    } else {
        return false;
    }
    return true;
}

// Expands the categories and then keeps the last occurrence of every name, at its own position
// and with its own value. A category's rows stand where its name stood, each in front of the one
// inserted before it, so a category ends up in reverse table order (an empty name as table 2,
// 1, 0, each reversed); the report reverses it back. The list is walked from its end, keeping a
// name the first time it is met: work and memory follow the request, not its expansion (a
// request of a million commas names each statistic only once).
Entries ExpandAndRemoveDuplicates(const StatBlock& block, Entries entries) {
    std::unordered_set<std::string> seen;
    Entries kept;
    const auto keep = [&](std::string name, const std::string& value) {
        if (seen.insert(name).second) kept.push_back({std::move(name), value});
    };
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        int first = 0;
        int last = 0;
        if (!CategoryTables(it->name, &first, &last)) {
            keep(std::move(it->name), it->value);
            continue;
        }
        // Expanded, the rows run from the last table's last row down to the first table's
        // first row; from the end that is the first table's first row upwards.
        for (int t = first; t <= last; ++t) {
            for (int32_t r = 0; r < block.Layout().rows[t]; ++r) {
                STATSLOT slot;
                if (block.FindSlot(t, r, &slot)) keep(slot.szName, it->value);
            }
        }
    }
    std::reverse(kept.begin(), kept.end());
    return kept;
}

// Removes the entries keep refuses; true when one was removed.
template <class Keep>
bool RemoveUnless(Entries* entries, Keep keep) {
    const size_t before = entries->size();
    Entries kept;
    kept.reserve(before);
    for (Entry& e : *entries) {
        if (keep(e)) kept.push_back(std::move(e));
    }
    *entries = std::move(kept);
    return entries->size() != before;
}

// Splits at every comma; empty tokens stay. Returns false on a malformed token.
bool SplitRequest(int32_t mode, const std::string& request, Entries* entries) {
    size_t start = 0;
    while (true) {
        const size_t comma = request.find(',', start);
        const std::string token =
            request.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const size_t equals = token.find('=');
        Entry entry;
        if (mode == kStatModeUpdate) {
            if (equals == std::string::npos || token.find('=', equals + 1) != std::string::npos) {
                return false;
            }
            entry.name = TrimBlanks(token.substr(0, equals));
            entry.value = TrimBlanks(token.substr(equals + 1));
        } else {
            if (equals != std::string::npos) return false;
            entry.name = TrimBlanks(token);
        }
        entries->push_back(std::move(entry));
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

StatRequestResult ResolveStatRequest(const StatBlock& block, int32_t mode,
                                     const std::string& request) {
    StatRequestResult out;
    out.result = OPOS_E_ILLEGAL;
    if (mode != kStatModeRetrieve && mode != kStatModeUpdate && mode != kStatModeReset) {
        return out;
    }
    // A request text ends at its first NUL, as every single-byte text does.
    const std::string text = request.substr(0, strnlen(request.c_str(), request.size()));

    Entries entries;
    bool partial = false;
    const auto isStatistic = [&block](const Entry& e) {
        int32_t table, row;
        return block.FindName(e.name, &table, &row, nullptr);
    };
    const auto accessAllows = [&block, mode](const Entry& e) {
        int32_t table, row;
        STATSLOT slot;
        if (!block.FindName(e.name, &table, &row, &slot)) return false;
        if (mode == kStatModeUpdate) return (slot.nAccess & kStatAccessUpdate) != 0;
        if (mode == kStatModeReset) return (slot.nAccess & kStatAccessReset) != 0;
        return true;
    };

    if (text.empty()) {
        if (mode == kStatModeUpdate) return out;
        entries.push_back({});
        entries = ExpandAndRemoveDuplicates(block, std::move(entries));
    } else {
        if (!SplitRequest(mode, text, &entries)) return out;
        entries = ExpandAndRemoveDuplicates(block, std::move(entries));
        partial |= RemoveUnless(&entries, isStatistic);
        if (mode == kStatModeUpdate) {
            partial |= RemoveUnless(&entries, [&block](Entry& e) {
                int32_t table, row;
                STATSLOT slot;
                if (!block.FindName(e.name, &table, &row, &slot)) return false;
                if (slot.nType != kStatTypeCounter) return true;
                return NormaliseCounterValue(e.value, &e.value);
            });
        }
    }
    partial |= RemoveUnless(&entries, accessAllows);
    out.resolved = true;
    if (entries.empty()) return out;

    out.records.reserve(entries.size());
    for (const Entry& e : entries) {
        STATREQ record = {};
        STATSLOT slot;
        block.FindName(e.name, &record.nTable, &record.nRow, &slot);
        if (slot.nType == kStatTypeCounter) {
            record.llCounter = Int64FromText(e.value.c_str());
        } else {
            const size_t n = e.value.size() < kStatTextMax ? e.value.size() : kStatTextMax;
            memcpy(record.szText, e.value.data(), n);
        }
        out.records.push_back(record);
    }
    out.result = OPOS_SUCCESS;
    if (partial && mode != kStatModeRetrieve) {
        out.result = OPOS_E_EXTENDED;
        out.extended = OPOS_ESTATS_ERROR;
    }
    return out;
}
