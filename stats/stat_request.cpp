// Request resolution. The list is worked in the order the request gives it, because the
// report prints counters from the last record to the first.
#include "stats/stat_request.h"

#include <cstring>

#include "util/config_rules.h"
#include "util/opos_constants.h"

namespace {

struct Entry {
    std::string name;
    std::string value;
};

using Entries = std::vector<Entry>;

// The empty name stands for every statistic, "U_" for the UnifiedPOS counters and "M_" for
// the manufacturer-specific ones. Each row goes in front of the one inserted before it, so a
// category ends up in reverse table order (and an empty name as table 2, 1, 0, each
// reversed); the report reverses it back.
void ExpandCategories(const StatBlock& block, Entries* entries) {
    for (size_t i = 0; i < entries->size();) {
        const std::string name = (*entries)[i].name;
        int first = -1;
        int last = -1;
        if (name.empty()) {
            first = kStatTableEquipment;
            last = kStatTableManufacturer;
        } else if (name == "U_") {
            first = last = kStatTableUpos;
        } else if (name == "M_") {
            first = last = kStatTableManufacturer;
        } else {
            ++i;
            continue;
        }
        const std::string value = (*entries)[i].value;
        entries->erase(entries->begin() + static_cast<std::ptrdiff_t>(i));
        Entries rows;
        for (int t = last; t >= first; --t) {
            for (int32_t r = block.Layout().rows[t] - 1; r >= 0; --r) {
                STATSLOT slot;
                if (block.FindSlot(t, r, &slot)) rows.push_back({slot.szName, value});
            }
        }
        entries->insert(entries->begin() + static_cast<std::ptrdiff_t>(i), rows.begin(),
                        rows.end());
        i += rows.size();  // inserted rows are not expanded again
    }
}

// Keeps the last occurrence of every name, at its own position and with its own value.
void RemoveDuplicates(Entries* entries) {
    for (size_t i = 0; i < entries->size();) {
        bool later = false;
        for (size_t j = i + 1; j < entries->size() && !later; ++j) {
            later = (*entries)[j].name == (*entries)[i].name;
        }
        if (later) {
            entries->erase(entries->begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
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
        ExpandCategories(block, &entries);
    } else {
        if (!SplitRequest(mode, text, &entries)) return out;
        ExpandCategories(block, &entries);
        RemoveDuplicates(&entries);
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
