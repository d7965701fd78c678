// libFuzzer target: the "Stat" registry values (loaded values load again as themselves) and
// arbitrary bytes in place of the shared block (nothing reaches outside it).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "stats/cash_drawer_stats.h"
#include "stats/stat_block.h"
#include "stats/stat_report.h"
#include "stats/stat_request.h"
#include "stats/stat_text.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/native/memory_key.h"
#include "util/config_rules.h"
#include "util/config_source.h"
#include "util/opos_constants.h"

namespace {

const char* const kRequests[] = {"",
                                 "U_",
                                 "M_",
                                 "ModelName,U_",
                                 ",",
                                 "DrawerGoodOpenCount=5",
                                 "=",
                                 "U_=7",
                                 "SerialNumber=x&y<z>"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<uint8_t> memory(kCashDrawerStatLayout.size);
    StatBlock block(memory.data(), kCashDrawerStatLayout);

    if (in.ConsumeBool()) {
        // Loading the registry values.
        MemoryKey key;
        for (int32_t t = 0; t < 2; ++t) {
            for (int32_t r = 0; r < kCashDrawerStatTables.counts[t]; ++r) {
                if (in.ConsumeBool()) {
                    key.texts[kCashDrawerStatTables.rows[t][r].szName] =
                        fuzz::UpToNul(in.ConsumeRandomLengthString(300));
                }
            }
        }
        block.Format(kCashDrawerStatTables);
        block.Load(kCashDrawerStatTables, key);
        // Loaded values are already in their stored form: loading them again changes no
        // counter, and a text at most by the blanks a cut at 128 bytes left at its end.
        MemoryKey again;
        std::vector<STATSLOT> slots;
        for (int32_t t = 0; t < 2; ++t) {
            for (int32_t r = 0; r < kCashDrawerStatTables.counts[t]; ++r) {
                slots.emplace_back();
                FUZZ_CHECK(block.FindSlot(t, r, &slots.back()));
                again.texts[slots.back().szName] = block.ValueText(slots.back());
            }
        }
        std::vector<uint8_t> copy(memory.size());
        StatBlock reloaded(copy.data(), kCashDrawerStatLayout);
        reloaded.Format(kCashDrawerStatTables);
        reloaded.Load(kCashDrawerStatTables, again);
        for (const STATSLOT& slot : slots) {
            if (slot.nType == kStatTypeCounter) {
                FUZZ_CHECK(reloaded.Counter(slot) == block.Counter(slot));
            } else {
                FUZZ_CHECK(block.Text(slot).size() <= kStatTextMax);
                FUZZ_CHECK(reloaded.Text(slot) == TrimBlanks(block.Text(slot)));
            }
        }
    } else {
        // A block written by someone else.
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(memory.size());
        std::copy(bytes.begin(), bytes.end(), memory.begin());
    }

    // Everything a process does with the block must stay inside it: one of the requests, in
    // one of the modes, per input.
    const char* request =
        kRequests[in.ConsumeIntegralInRange<size_t>(0, sizeof(kRequests) / sizeof(*kRequests) - 1)];
    const int32_t mode = in.ConsumeIntegralInRange<int32_t>(0, 2);
    const StatRequestResult r = ResolveStatRequest(block, mode, request);
    if (mode == kStatModeRetrieve && r.result == OPOS_SUCCESS) {
        const std::string doc = WriteStatReport(block, r.records.data(), r.records.size());
        FUZZ_CHECK(doc.size() > 13);
    }
    for (const SavedStatistic& saved : block.PersistentValues()) {
        FUZZ_CHECK(saved.name.size() < kStatNameSize);
    }
    LeadByteSet lead;
    lead.set();
    while (in.remaining_bytes() > 0) {
        const int32_t table = in.ConsumeIntegralInRange<int32_t>(-1, 3);
        const int32_t row = in.ConsumeIntegralInRange<int32_t>(-1, 15);
        switch (in.ConsumeIntegralInRange<int>(0, 4)) {
            case 0:
                block.IncrementCounter(table, row);
                break;
            case 1:
                block.SetCounter(table, row, in.ConsumeIntegral<int64_t>());
                break;
            case 2:
                block.StoreText(table, row, in.ConsumeRandomLengthString(300), lead);
                break;
            case 3: {
                char buffer[kStatTextSize + 8];
                const int32_t room = in.ConsumeIntegralInRange<int32_t>(-1, sizeof(buffer));
                if (block.GetText(table, row, buffer, room) == OPOS_SUCCESS) {
                    FUZZ_CHECK(room > 0 && strlen(buffer) < static_cast<size_t>(room));
                }
                break;
            }
            default: {
                STATSLOT slot;
                if (block.FindSlot(table, row, &slot)) {
                    FUZZ_CHECK(strlen(slot.szName) < kStatNameSize);
                    int32_t t = -1;
                    int32_t r = -1;
                    FUZZ_CHECK(block.FindName(slot.szName, &t, &r, nullptr));
                    block.ValueText(slot);
                    block.Unit(slot);
                }
                break;
            }
        }
    }
    return 0;
}
