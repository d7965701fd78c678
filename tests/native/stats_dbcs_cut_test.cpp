// UpdateStatistics with a text longer than 128 bytes whose 128th byte begins a double-byte
// character (code page 932): the stored text must not end inside that character.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stats/cash_drawer_stats.h"
#include "stats/stat_apply.h"
#include "stats/stat_block.h"
#include "stats/stat_request.h"
#include "stats/stat_text.h"
#include "util/opos_constants.h"

namespace {

class BlockWriter final : public StatWriter {
public:
    BlockWriter(StatBlock& block, const LeadByteSet& lead) : m_block(block), m_lead(lead) {}
    int32_t SetCounter(int32_t table, int32_t row, int64_t value) override {
        return m_block.SetCounter(table, row, value);
    }
    int32_t SetText(int32_t table, int32_t row, const char* text) override {
        std::string stored;
        const int32_t r = PrepareStatText(table, row, text, "2024-05-06", &stored);
        return r != OPOS_SUCCESS ? r : m_block.StoreText(table, row, stored, m_lead);
    }

private:
    StatBlock& m_block;
    const LeadByteSet& m_lead;
};

TEST(StatsUpdate, ALongTextIsNotCutInsideADoubleByteCharacter) {
    std::vector<uint8_t> memory(kCashDrawerStatLayout.size);
    StatBlock block(memory.data(), kCashDrawerStatLayout);
    block.Format(kCashDrawerStatTables);
    LeadByteSet sjis;
    for (int b = 0x81; b <= 0x9F; ++b) sjis[static_cast<size_t>(b)] = true;
    for (int b = 0xE0; b <= 0xFC; ++b) sjis[static_cast<size_t>(b)] = true;

    // 127 single-byte characters, then hiragana A (82 A0): its lead byte is byte 128.
    const std::string text = std::string(127, 'A') + "\x82\xA0" + "B";
    const StatRequestResult r = ResolveStatRequest(block, kStatModeUpdate, "ModelName=" + text);
    ASSERT_EQ(OPOS_SUCCESS, r.result);
    BlockWriter writer(block, sjis);
    ASSERT_EQ(0u, ApplyStatistics(kStatModeUpdate, kCashDrawerStatTables, r.records.data(),
                                  r.records.size(), writer));
    STATSLOT slot;
    ASSERT_TRUE(block.FindSlot(kStatTableEquipment, kStatRowModelName, &slot));
    EXPECT_EQ(std::string(127, 'A'), block.Text(slot));  // today: 127 'A' and a lone 0x82
}

}  // namespace
