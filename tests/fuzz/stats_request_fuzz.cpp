// libFuzzer target for statistics requests: any request text in each of the three modes
// (retrieve 0, update 1, reset 2) against a cash drawer block with values from the input.
// The resolved records and results are compared with a step-by-step reading of the documented
// rules (tokens, categories, duplicates, unknown names, counter values, access); reset and
// update records are then applied to the block as the service applies them, and retrieve
// records are written into the document, which must stay well formed.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "stats/cash_drawer_stats.h"
#include "stats/stat_apply.h"
#include "stats/stat_block.h"
#include "stats/stat_report.h"
#include "stats/stat_request.h"
#include "stats/stat_text.h"
#include "tests/fuzz/fuzz_check.h"
#include "util/config_source.h"
#include "util/opos_constants.h"

namespace {

constexpr char kToday[] = "2024-05-06";

class NoValues final : public ConfigSource {
public:
    BOOL GetBoolDefFalse(const char*) const override { return 0; }
    BOOL GetBoolDefTrue(const char*) const override { return 1; }
    LONG GetLongDefZero(const char*) const override { return 0; }
    LONG GetLongDefMinusOne(const char*) const override { return -1; }
    char* GetString(const char*) const override { return nullptr; }
};

// The store calls of the service over a block, with a fixed today and a code page's lead bytes.
class BlockWriter final : public StatWriter {
public:
    BlockWriter(StatBlock& block, const LeadByteSet& lead) : m_block(block), m_lead(lead) {}
    int32_t SetCounter(int32_t table, int32_t row, int64_t value) override {
        return m_block.SetCounter(table, row, value);
    }
    int32_t SetText(int32_t table, int32_t row, const char* text) override {
        std::string stored;
        const int32_t checked = PrepareStatText(table, row, text, kToday, &stored);
        if (checked != OPOS_SUCCESS) return checked;
        return m_block.StoreText(table, row, stored, m_lead);
    }

private:
    StatBlock& m_block;
    const LeadByteSet& m_lead;
};

struct Entry {
    std::string name;
    std::string value;
};

struct Definition {
    int32_t table;
    int32_t row;
    const STATDEF* def;
};

bool Lookup(const std::string& name, Definition* out) {
    for (int32_t t = 0; t < 2; ++t) {
        const int32_t rows = kCashDrawerStatTables.counts[t];
        for (int32_t r = 0; r < rows; ++r) {
            const STATDEF& d = kCashDrawerStatTables.rows[t][r];
            if (name == d.szName) {
                *out = {t, r, &d};
                return true;
            }
        }
    }
    return false;
}

// A complete signed decimal brought to its stored form; false when it cannot be stored.
bool ReferenceNormalise(const std::string& value, std::string* out) {
    size_t i = 0;
    bool negative = false;
    if (!value.empty() && (value[0] == '+' || value[0] == '-')) {
        negative = value[0] == '-';
        i = 1;
    }
    if (i == value.size()) return false;
    for (size_t k = i; k < value.size(); ++k) {
        if (value[k] < '0' || value[k] > '9') return false;
    }
    while (i < value.size() && value[i] == '0') ++i;
    std::string digits = value.substr(i);
    if (digits.empty()) {
        *out = "0";
        return true;
    }
    const std::string limit = negative ? "9223372036854775808" : "9223372036854775807";
    const bool fits =
        digits.size() < limit.size() || (digits.size() == limit.size() && digits <= limit);
    if (!fits) {
        if (negative) return false;
        digits = "9223372036854775807";
        negative = false;
    }
    *out = (negative ? "-" : "") + digits;
    return true;
}

bool ReferenceDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    if (text[0] == '0') return false;
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int day = std::stoi(text.substr(8, 2));
    if (month < 1 || month > 12 || day < 1) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= (month == 2 && leap ? 29 : kDays[month - 1]);
}

// The characters of text that end within 128 bytes; a lead byte begins a two-byte character.
std::string ReferenceCut(const std::string& text, const LeadByteSet& lead) {
    size_t end = 0;
    while (end < text.size()) {
        const size_t width = lead[static_cast<unsigned char>(text[end])] ? 2 : 1;
        if (end + width > kStatTextMax) break;
        end = std::min(end + width, text.size());
    }
    return text.substr(0, end);
}

struct Reference {
    int32_t result = OPOS_E_ILLEGAL;
    int32_t extended = 0;
    std::vector<STATREQ> records;
};

// The documented resolution, step by step.
Reference Resolve(int32_t mode, const std::string& request) {
    Reference out;
    const std::string text = fuzz::UpToNul(request);
    std::vector<Entry> entries;
    if (text.empty()) {
        if (mode == kStatModeUpdate) return out;
        entries.push_back({});
    } else {
        size_t start = 0;
        for (;;) {
            const size_t comma = text.find(',', start);
            const std::string token = text.substr(start, comma - start);
            const size_t equals = std::count(token.begin(), token.end(), '=');
            if (mode == kStatModeUpdate) {
                if (equals != 1) return out;
                const size_t at = token.find('=');
                entries.push_back(
                    {fuzz::Trim(token.substr(0, at)), fuzz::Trim(token.substr(at + 1))});
            } else {
                if (equals != 0) return out;
                entries.push_back({fuzz::Trim(token), ""});
            }
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    // Categories: the empty name stands for tables 2, 1, 0, "U_" for table 1, "M_" for table 2,
    // each table's rows last to first, at the entry's place and with its value.
    std::vector<Entry> expanded;
    for (const Entry& e : entries) {
        std::vector<int32_t> tables;
        if (e.name.empty()) tables = {2, 1, 0};
        if (e.name == "U_") tables = {1};
        if (e.name == "M_") tables = {2};
        if (e.name != "" && e.name != "U_" && e.name != "M_") {
            expanded.push_back(e);
            continue;
        }
        for (int32_t t : tables) {
            for (int32_t r = kCashDrawerStatTables.counts[t] - 1; r >= 0; --r) {
                expanded.push_back({kCashDrawerStatTables.rows[t][r].szName, e.value});
            }
        }
    }
    // Only the last occurrence of a name stays, where it stands.
    std::map<std::string, size_t> lastAt;
    for (size_t i = 0; i < expanded.size(); ++i) lastAt[expanded[i].name] = i;
    std::vector<Entry> unique;
    for (size_t i = 0; i < expanded.size(); ++i) {
        if (lastAt[expanded[i].name] == i) unique.push_back(expanded[i]);
    }
    bool partial = false;
    std::vector<Entry> known;
    for (Entry& e : unique) {
        Definition d;
        if (!Lookup(e.name, &d)) {
            partial = true;
            continue;
        }
        if (mode == kStatModeUpdate && d.def->nType == kStatTypeCounter &&
            !ReferenceNormalise(e.value, &e.value)) {
            partial = true;
            continue;
        }
        const int32_t need = mode == kStatModeUpdate  ? kStatAccessUpdate
                             : mode == kStatModeReset ? kStatAccessReset
                                                      : 0;
        if ((d.def->nAccess & need) != need) {
            partial = true;
            continue;
        }
        known.push_back(e);
    }
    if (known.empty()) return out;
    for (const Entry& e : known) {
        Definition d;
        Lookup(e.name, &d);
        STATREQ q = {};
        q.nTable = d.table;
        q.nRow = d.row;
        if (d.def->nType == kStatTypeCounter) {
            q.llCounter = e.value.empty() ? 0 : std::stoll(e.value);
        } else {
            memcpy(q.szText, e.value.data(), std::min<size_t>(e.value.size(), kStatTextMax));
        }
        out.records.push_back(q);
    }
    out.result = OPOS_SUCCESS;
    if (partial && mode != kStatModeRetrieve) {
        out.result = OPOS_E_EXTENDED;
        out.extended = OPOS_ESTATS_ERROR;
    }
    return out;
}

// Values in the document are escaped: no markup characters and only whole entities.
void CheckEscaped(const std::string& value) {
    FUZZ_CHECK(value.find_first_of("<>\"'") == std::string::npos);
    for (size_t at = value.find('&'); at != std::string::npos; at = value.find('&', at + 1)) {
        bool entity = false;
        for (const char* e : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
            entity |= value.compare(at, strlen(e), e) == 0;
        }
        FUZZ_CHECK(entity);
    }
}

void CheckDocument(const StatBlock& block, const std::vector<STATREQ>& records,
                   const std::string& doc) {
    FUZZ_CHECK(doc.rfind("<?xml version= '1.0' ?>\r\n", 0) == 0);
    FUZZ_CHECK(doc.size() >= 13 && doc.compare(doc.size() - 13, 13, "</UPOSStat>\r\n") == 0);
    size_t parameters = 0;
    for (size_t at = doc.find("<Value>"); at != std::string::npos;
         at = doc.find("<Value>", at + 1)) {
        const size_t end = doc.find("</Value>\r\n", at);
        FUZZ_CHECK(end != std::string::npos);
        CheckEscaped(doc.substr(at + 7, end - at - 7));
        ++parameters;
    }
    size_t counters = 0;
    for (const STATREQ& q : records) counters += q.nTable == kStatTableUpos;
    FUZZ_CHECK(parameters == counters);
    // Identification lines carry the escaped value between their tags.
    for (int32_t row = 0; row < kCashDrawerStatTables.counts[0]; ++row) {
        STATSLOT slot;
        FUZZ_CHECK(block.FindSlot(kStatTableEquipment, row, &slot));
        if (row == kStatRowDeviceCategory) continue;  // an attribute, written unescaped
        const std::string name = slot.szName;
        const std::string value = block.ValueText(slot);
        const std::string line = "\t\t<" + name + ">" + XmlEscape(value) + "</" + name + ">\r\n";
        FUZZ_CHECK((doc.find(line) != std::string::npos) == (row < 4 || !value.empty()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<uint8_t> memory(kCashDrawerStatLayout.size);
    StatBlock block(memory.data(), kCashDrawerStatLayout);
    block.Format(kCashDrawerStatTables);
    block.Load(kCashDrawerStatTables, NoValues());
    // Values already in the block, as earlier updates or the registry left them.
    for (int32_t row = 0; row < 4; ++row) {
        block.SetCounter(kStatTableUpos, row, in.ConsumeIntegral<int64_t>());
    }
    LeadByteSet none;
    for (int32_t row = 3; row < 10; ++row) {
        if (in.ConsumeBool()) {
            block.StoreText(kStatTableEquipment, row, in.ConsumeRandomLengthString(200), none);
        }
    }
    LeadByteSet lead;  // Shift-JIS lead bytes, or none
    if (in.ConsumeBool()) {
        for (int b = 0x81; b <= 0x9F; ++b) lead[static_cast<size_t>(b)] = true;
        for (int b = 0xE0; b <= 0xFC; ++b) lead[static_cast<size_t>(b)] = true;
    }
    const int32_t mode = in.ConsumeIntegralInRange<int32_t>(0, 2);
    const std::string request = in.ConsumeRemainingBytesAsString();

    const StatRequestResult r = ResolveStatRequest(block, mode, request);
    const Reference expected = Resolve(mode, request);
    FUZZ_CHECK(r.result == expected.result);
    FUZZ_CHECK(r.extended == expected.extended);
    FUZZ_CHECK(r.records.size() == expected.records.size());
    for (size_t i = 0; i < r.records.size(); ++i) {
        const STATREQ& a = r.records[i];
        const STATREQ& b = expected.records[i];
        FUZZ_CHECK(a.nTable == b.nTable && a.nRow == b.nRow);
        FUZZ_CHECK(a.llCounter == b.llCounter);
        FUZZ_CHECK(memcmp(a.szText, b.szText, sizeof(a.szText)) == 0);
    }
    FUZZ_CHECK(ResolveStatRequest(block, 3, request).result == OPOS_E_ILLEGAL);

    if (mode == kStatModeRetrieve) {
        if (r.result == OPOS_SUCCESS) {
            CheckDocument(block, r.records,
                          WriteStatReport(block, r.records.data(), r.records.size()));
        }
        return 0;
    }
    // Reset and update: every record is written; only a date that is not a date can fail.
    std::vector<uint8_t> before = memory;
    BlockWriter writer(block, lead);
    const size_t failed =
        ApplyStatistics(mode, kCashDrawerStatTables, r.records.data(), r.records.size(), writer);
    size_t badDates = 0;
    for (const STATREQ& q : r.records) {
        STATSLOT slot;
        FUZZ_CHECK(block.FindSlot(q.nTable, q.nRow, &slot));
        const bool date = q.nTable == kStatTableEquipment &&
                          (q.nRow == kStatRowManufactureDate || q.nRow == kStatRowInstallationDate);
        if (slot.nType == kStatTypeCounter) {
            FUZZ_CHECK(block.Counter(slot) == (mode == kStatModeUpdate ? q.llCounter : 0));
        } else if (mode == kStatModeReset) {
            FUZZ_CHECK(block.Text(slot) == (date ? kToday : ""));
        } else if (date && q.szText[0] != '\0' && !ReferenceDate(q.szText)) {
            ++badDates;
        } else if (date) {
            FUZZ_CHECK(block.Text(slot) == (q.szText[0] == '\0' ? kToday : q.szText));
        } else {
            // At most 128 bytes, never ending inside a double-byte character; a value longer
            // than that reaches the store already cut to 128 bytes.
            FUZZ_CHECK(block.Text(slot) == ReferenceCut(q.szText, lead));
        }
    }
    FUZZ_CHECK(failed == badDates);
    // The document of the whole block is still well formed after any update.
    const StatRequestResult all = ResolveStatRequest(block, kStatModeRetrieve, "");
    FUZZ_CHECK(all.result == OPOS_SUCCESS && all.records.size() == 14);
    CheckDocument(block, all.records,
                  WriteStatReport(block, all.records.data(), all.records.size()));
    return 0;
}
