// libFuzzer target: any statistics request in each mode against a block with any values;
// consistent records, whole writes, a well formed document.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "stats/cash_drawer_stats.h"
#include "stats/stat_apply.h"
#include "stats/stat_block.h"
#include "stats/stat_report.h"
#include "stats/stat_request.h"
#include "stats/stat_text.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/native/memory_key.h"
#include "util/opos_constants.h"

namespace {

constexpr char kToday[] = "2024-05-06";

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

STATSLOT SlotOf(const StatBlock& block, const STATREQ& q) {
    STATSLOT slot;
    FUZZ_CHECK(block.FindSlot(q.nTable, q.nRow, &slot));
    return slot;
}

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

void CheckDocument(const StatBlock& block, const std::vector<STATREQ>& records) {
    const std::string doc = WriteStatReport(block, records.data(), records.size());
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<uint8_t> memory(kCashDrawerStatLayout.size);
    StatBlock block(memory.data(), kCashDrawerStatLayout);
    block.Format(kCashDrawerStatTables);
    block.Load(kCashDrawerStatTables, MemoryKey());
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
    FUZZ_CHECK(ResolveStatRequest(block, 3, request).result == OPOS_E_ILLEGAL);
    if (r.result == OPOS_E_ILLEGAL) {
        FUZZ_CHECK(r.records.empty() && r.extended == 0);
        return 0;
    }
    FUZZ_CHECK(!r.records.empty());
    FUZZ_CHECK(r.result == OPOS_SUCCESS
                   ? r.extended == 0
                   : r.result == OPOS_E_EXTENDED && r.extended == OPOS_ESTATS_ERROR &&
                         mode != kStatModeRetrieve);
    const int32_t need = mode == kStatModeUpdate  ? kStatAccessUpdate
                         : mode == kStatModeReset ? kStatAccessReset
                                                  : 0;
    std::set<std::pair<int32_t, int32_t>> seen;
    for (const STATREQ& q : r.records) {
        FUZZ_CHECK(seen.insert({q.nTable, q.nRow}).second);
        FUZZ_CHECK((SlotOf(block, q).nAccess & need) == need);
        FUZZ_CHECK(memchr(q.szText, '\0', sizeof(q.szText)) != nullptr);
    }

    if (mode == kStatModeRetrieve) {
        CheckDocument(block, r.records);
        return 0;
    }
    // Reset and update: every record is written; only a date that is not a date can fail,
    // and then the stored date stays as it was.
    std::vector<uint8_t> before = memory;
    const StatBlock old(before.data(), kCashDrawerStatLayout);
    BlockWriter writer(block, lead);
    const size_t failed =
        ApplyStatistics(mode, kCashDrawerStatTables, r.records.data(), r.records.size(), writer);
    size_t refusedDates = 0;
    for (const STATREQ& q : r.records) {
        const STATSLOT slot = SlotOf(block, q);
        const bool date = q.nTable == kStatTableEquipment &&
                          (q.nRow == kStatRowManufactureDate || q.nRow == kStatRowInstallationDate);
        const std::string text = slot.nType == kStatTypeText ? block.Text(slot) : "";
        if (slot.nType == kStatTypeCounter) {
            FUZZ_CHECK(block.Counter(slot) == (mode == kStatModeUpdate ? q.llCounter : 0));
        } else if (mode == kStatModeReset) {
            FUZZ_CHECK(text == (date ? kToday : ""));
        } else if (date) {
            std::string wanted;
            const bool refused =
                PrepareStatText(q.nTable, q.nRow, q.szText, kToday, &wanted) != OPOS_SUCCESS;
            refusedDates += refused;
            FUZZ_CHECK(text == (refused ? old.Text(slot) : wanted));
        } else {
            // The longest start of the value that fits 128 bytes in whole characters.
            FUZZ_CHECK(text.size() <= kStatTextMax);
            FUZZ_CHECK(std::string(q.szText).compare(0, text.size(), text) == 0);
            // Cut here or by the request: after a whole character.
            if (text.size() < strlen(q.szText) || strlen(q.szText) == kStatTextMax) {
                size_t at = 0;
                while (at < text.size()) at += lead[static_cast<unsigned char>(text[at])] ? 2 : 1;
                FUZZ_CHECK(at == text.size());
            }
            FUZZ_CHECK(text.size() + 1 >= std::min(strlen(q.szText), kStatTextMax));
        }
    }
    FUZZ_CHECK(failed == refusedDates);
    // The document of the whole block is still well formed after any update.
    const StatRequestResult all = ResolveStatRequest(block, kStatModeRetrieve, "");
    FUZZ_CHECK(all.result == OPOS_SUCCESS && all.records.size() == 14);
    CheckDocument(block, all.records);
    return 0;
}
