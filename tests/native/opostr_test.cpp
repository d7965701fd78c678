// Native tests of COPOStr: decoding of text in the three binary conversion modes, encoding of
// bytes, round trips, the default mode, UTF-16 input and allocation failure.
#include "util/opostr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {
std::atomic<bool> g_failNothrowArrayNew{false};  // makes result-block allocations fail
}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (g_failNothrowArrayNew.load()) return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

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

struct DecodeCase {
    int32_t mode;
    std::string text;
    Bytes expected;  // empty: null result
};

class StringToBytesTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(StringToBytesTest, DecodesLeadingRun) {
    const DecodeCase& c = GetParam();
    COPOStr conv;
    int32_t length = 99;
    uint8_t* block = conv.StringToBytes(c.text.c_str(), &length, c.mode);
    EXPECT_EQ(block == nullptr, c.expected.empty());
    EXPECT_EQ(Take(block, length), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, StringToBytesTest,
    ::testing::Values(DecodeCase{1, "41:?", {0x41, 0xAF}}, DecodeCase{1, "4", {}},
                      DecodeCase{1, "41G2", {0x41}}, DecodeCase{1, "41:", {0x41}},
                      DecodeCase{1, "", {}}, DecodeCase{1, "/0", {}},  // '/' sits just below '0'
                      DecodeCase{1, "41@?", {0x41}},                   // '@' just above '?'
                      DecodeCase{1, "4a", {}},  // lower-case hex is not part of the set
                      DecodeCase{
                          1, "0123456789:;<=>?", {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}},
                      DecodeCase{2, "065 66", {65, 66}}, DecodeCase{2, "256", {0}},
                      DecodeCase{2, "0656", {65}}, DecodeCase{2, "999", {231}},
                      DecodeCase{2, "1 2", {102}}, DecodeCase{2, "12", {}},
                      DecodeCase{2, "065:66", {65}}, DecodeCase{2, "", {}},
                      DecodeCase{0, "A1 ?", {'A', '1', ' ', '?'}},
                      DecodeCase{0, "\x80\xFF", {0x80, 0xFF}}, DecodeCase{0, "", {}},
                      DecodeCase{5, "065", {'0', '6', '5'}}));  // other values mean no conversion

struct EncodeCase {
    int32_t mode;
    Bytes data;
    std::string expected;
};

class BytesToStringTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(BytesToStringTest, Encodes) {
    const EncodeCase& c = GetParam();
    COPOStr conv;
    EXPECT_EQ(conv.BytesToString(c.data.data(), static_cast<int32_t>(c.data.size()), c.mode),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, BytesToStringTest,
    ::testing::Values(EncodeCase{1, {0x00, 0xFF}, "00??"}, EncodeCase{1, {0x9C}, "9<"},
                      EncodeCase{2, {7}, "007"}, EncodeCase{2, {255, 0, 19}, "255000019"},
                      EncodeCase{0, {0x41, 0x00, 0x42}, "A"}, EncodeCase{0, {0x00, 0x41}, ""},
                      EncodeCase{0, {0x80, 0xFF}, "\x80\xFF"}, EncodeCase{7, {0x41, 0x42}, "AB"}));

TEST(BytesToString, NullDataOrNonPositiveCountGivesEmptyText) {
    COPOStr conv;
    const uint8_t data[] = {0x41};
    for (int32_t mode : {0, 1, 2}) {
        EXPECT_EQ(conv.BytesToString(nullptr, 1, mode), "");
        EXPECT_EQ(conv.BytesToString(data, 0, mode), "");
        EXPECT_EQ(conv.BytesToString(data, -1, mode), "");
    }
}

class ModeTest : public ::testing::TestWithParam<int32_t> {};

// Every byte value survives encoding and decoding; without conversion a zero byte would end
// the text, so that mode starts at 1.
TEST_P(ModeTest, RoundTripsAllByteValues) {
    const int32_t mode = GetParam();
    Bytes all;
    for (int v = mode == OPOS_BC_NONE ? 1 : 0; v < 256; ++v) all.push_back(static_cast<uint8_t>(v));
    COPOStr conv;
    const std::string text = conv.BytesToString(all.data(), static_cast<int32_t>(all.size()), mode);
    EXPECT_EQ(text.size(), all.size() * (mode == OPOS_BC_NONE ? 1 : mode + 1));
    int32_t length = 0;
    EXPECT_EQ(Take(conv.StringToBytes(text.c_str(), &length, mode), length), all);
}

TEST_P(ModeTest, MinusOneFollowsStoredMode) {
    const int32_t mode = GetParam();
    COPOStr conv;
    conv.SetMode(mode);
    EXPECT_EQ(conv.m_nMode, mode);
    const uint8_t data[] = {7, 0xAF};
    EXPECT_EQ(conv.BytesToString(data, 2, -1), conv.BytesToString(data, 2, mode));
    int32_t lenDefault = 0, lenExplicit = 0;
    EXPECT_EQ(Take(conv.StringToBytes("065:6", &lenDefault, -1), lenDefault),
              Take(conv.StringToBytes("065:6", &lenExplicit, mode), lenExplicit));
    EXPECT_EQ(Take(conv.WideToBytes(u"065:6", &lenDefault, -1), lenDefault),
              Take(conv.WideToBytes(u"065:6", &lenExplicit, mode), lenExplicit));
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeTest,
                         ::testing::Values(OPOS_BC_NONE, OPOS_BC_NIBBLE, OPOS_BC_DECIMAL));

TEST(COPOStr, StartsWithoutConversion) {
    COPOStr conv;
    EXPECT_EQ(conv.GetMode(), OPOS_BC_NONE);
    int32_t length = 0;
    EXPECT_EQ(Take(conv.StringToBytes("065", &length, -1), length), (Bytes{'0', '6', '5'}));
}

TEST(COPOStr, NullArgumentsGiveNull) {
    COPOStr conv;
    for (int32_t mode : {-1, 0, 1, 2}) {
        EXPECT_EQ(conv.StringToBytes("4142", nullptr, mode), nullptr);
        EXPECT_EQ(conv.WideToBytes(u"4142", nullptr, mode), nullptr);
        int32_t length = 5;
        EXPECT_EQ(conv.StringToBytes(nullptr, &length, mode), nullptr);
        EXPECT_EQ(length, 0);
        length = 5;
        EXPECT_EQ(conv.WideToBytes(nullptr, &length, mode), nullptr);
        EXPECT_EQ(length, 0);
    }
}

struct WideCase {
    int32_t mode;
    std::u16string units;
    Bytes expected;
};

class WideToBytesTest : public ::testing::TestWithParam<WideCase> {};

TEST_P(WideToBytesTest, ConvertsUnits) {
    const WideCase& c = GetParam();
    COPOStr conv;
    int32_t length = 99;
    uint8_t* block = conv.WideToBytes(c.units.c_str(), &length, c.mode);
    EXPECT_EQ(block == nullptr, c.expected.empty());
    EXPECT_EQ(Take(block, length), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, WideToBytesTest,
    ::testing::Values(
        // Without conversion an unconvertible unit keeps its place as a zero byte.
        WideCase{0, u"\u0100", {0x00}}, WideCase{0, u"A\u263AB", {'A', 0x00, 'B'}},
        WideCase{0, u"\u00FF\u0080", {0xFF, 0x80}}, WideCase{0, u"", {}},
        WideCase{0, std::u16string(u"AB\0C", 4), {'A', 'B'}},  // ends at the first NUL
        WideCase{1, u"41:?", {0x41, 0xAF}}, WideCase{1, u"41\u26342", {0x41}},
        WideCase{1, u"\u0134\u0131", {}},  // low bytes "41" must not leak through
        WideCase{2, u"065 66", {65, 66}}, WideCase{2, u"06\u01355", {}}));

TEST(COPOStr, AllocationFailureGivesNullAndZeroLength) {
    COPOStr conv;
    int32_t textLength = 5, wideLength = 5;
    g_failNothrowArrayNew = true;
    uint8_t* fromText = conv.StringToBytes("41", &textLength, OPOS_BC_NIBBLE);
    uint8_t* fromWide = conv.WideToBytes(u"AB", &wideLength, OPOS_BC_NONE);
    g_failNothrowArrayNew = false;
    EXPECT_EQ(fromText, nullptr);
    EXPECT_EQ(textLength, 0);
    EXPECT_EQ(fromWide, nullptr);
    EXPECT_EQ(wideLength, 0);
    delete[] fromText;
    delete[] fromWide;
}

TEST(OposResultName, NamesPublishedCodesOnly) {
    EXPECT_STREQ(OposResultName(OPOS_SUCCESS), "OPOS_SUCCESS");
    EXPECT_STREQ(OposResultName(OPOS_E_CLOSED), "OPOS_E_CLOSED");
    EXPECT_STREQ(OposResultName(OPOS_E_EXTENDED), "OPOS_E_EXTENDED");
    for (int32_t code : {1, 100, 115, -1}) EXPECT_EQ(OposResultName(code), nullptr);
}

}  // namespace
