// libFuzzer target for statistics requests: resolves arbitrary request texts in every mode
// against a cash drawer block and writes the report, checking what must hold for any input.
// Build and run by hand:
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       tests/fuzz/stats_request_fuzz.cpp stats/stat_*.cpp util/config_rules.cpp -o stats_fuzz
//   ./stats_fuzz -max_total_time=60
#include <cstdlib>
#include <string>
#include <vector>

#include "stats/cash_drawer_stats.h"
#include "stats/stat_block.h"
#include "stats/stat_report.h"
#include "stats/stat_request.h"
#include "util/config_source.h"
#include "util/opos_constants.h"

namespace {

class NoValues final : public ConfigSource {
public:
    BOOL GetBoolDefFalse(const char*) const override { return 0; }
    BOOL GetBoolDefTrue(const char*) const override { return 1; }
    LONG GetLongDefZero(const char*) const override { return 0; }
    LONG GetLongDefMinusOne(const char*) const override { return -1; }
    char* GetString(const char*) const override { return nullptr; }
};

void Check(bool condition) {
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static std::vector<uint8_t> memory(kCashDrawerStatLayout.size);
    StatBlock block(memory.data(), kCashDrawerStatLayout);
    block.Format(kCashDrawerStatTables);
    block.Load(kCashDrawerStatTables, NoValues());

    const int32_t mode = data[0] % 3;
    const std::string request(reinterpret_cast<const char*>(data + 1), size - 1);
    const StatRequestResult r = ResolveStatRequest(block, mode, request);
    Check(r.result == OPOS_SUCCESS || r.result == OPOS_E_ILLEGAL ||
          (r.result == OPOS_E_EXTENDED && mode != kStatModeRetrieve));
    Check((r.result == OPOS_E_ILLEGAL) == r.records.empty());
    Check(r.records.size() <= 14);
    for (const STATREQ& q : r.records) {
        STATSLOT slot;
        Check(block.FindSlot(q.nTable, q.nRow, &slot));
        if (mode == kStatModeUpdate) Check((slot.nAccess & kStatAccessUpdate) != 0);
        if (mode == kStatModeReset) Check((slot.nAccess & kStatAccessReset) != 0);
        Check(q.szText[kStatTextMax] == '\0');
    }
    const std::string doc = WriteStatReport(block, r.records.data(), r.records.size());
    Check(doc.rfind("<?xml version= '1.0' ?>\r\n", 0) == 0);
    Check(doc.size() >= 13 && doc.compare(doc.size() - 13, 13, "</UPOSStat>\r\n") == 0);
    return 0;
}
