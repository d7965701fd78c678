// COPOStr: decoding of text in the three binary conversion modes, decimal encoding and the
// default mode.
#include "util/opostr.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Takes ownership of a returned block and checks its terminating zero. The length is taken by
// reference so that it is read after the conversion in the same call has stored it.
Bytes Take(uint8_t* block, const int32_t& length) {
    std::unique_ptr<uint8_t[]> owned(block);
    if (block == nullptr) {
        EXPECT_EQ(length, 0);
        return {};
    }
    EXPECT_GT(length, 0);
    EXPECT_EQ(block[length], 0) << "block is not zero-terminated";
    return Bytes(block, block + length);
}

// Text decodes to the leading run of whole values; an empty expectation means a null result.
// (UTF-16 units decode as the same text does: the fuzz target checks that.) In nibble mode '/' sits
// just below '0', '@' just above '?', and lower-case hex is not part of the set; modes other than 1
// and 2 mean no conversion.
TEST(COPOStr, DecodesTheLeadingRunOfText) {
    using Cases = std::vector<std::pair<std::string, Bytes>>;
    const Cases nibble = {
        {"41:?", {0x41, 0xAF}}, {"4", {}}, {"41:", {0x41}}, {"/0", {}}, {"4a", {}},
        {"41@?", {0x41}}};
    const Cases decimal = {{"065 66", {65, 66}}, {"256", {0}}, {"999", {231}}, {"12", {}}};
    const Cases none = {{"A1 ?", {'A', '1', ' ', '?'}}, {"\x80\xFF", {0x80, 0xFF}}, {"", {}}};
    const std::pair<int32_t, const Cases*> modes[] = {
        {1, &nibble}, {2, &decimal}, {0, &none}, {5, &none}};
    COPOStr conv;
    for (const auto& [mode, cases] : modes) {
        for (const auto& [text, expected] : *cases) {
            int32_t length = 99;
            EXPECT_EQ(Take(conv.StringToBytes(text.c_str(), &length, mode), length), expected)
                << mode << " " << text;
        }
    }
}

// Decimal output keeps leading zeros (decoding alone would take "256" for 0 as well; the fuzz
// target checks the round trips); mode -1 of a new object converts nothing.
TEST(COPOStr, EncodesThreeDecimalDigitsAndANewObjectConvertsNothing) {
    const Bytes data = {255, 0, 19, 7};
    EXPECT_EQ("255000019007", COPOStr().BytesToString(data.data(), 4, OPOS_BC_DECIMAL));
    int32_t length = 0;
    EXPECT_EQ(Take(COPOStr().StringToBytes("065", &length, -1), length), (Bytes{'0', '6', '5'}));
}

}  // namespace
