// Native tests for the trace record builders, the channel names, the channel file parser and
// the one-line record decoder used by cdctl. Single-threaded.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "util/trace_file.h"
#include "util/trace_record.h"

namespace {

const TraceTime kTime{13, 5, 9, 47};

int32_t Le32At(const TraceRecord& rec, size_t offset) {
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i) u = (u << 8) | rec[offset + static_cast<size_t>(i)];
    return static_cast<int32_t>(u);
}

std::string Str(const TraceRecord& rec, size_t offset, size_t n) {
    return std::string(reinterpret_cast<const char*>(rec.data()) + offset, n);
}

std::vector<uint8_t> Bytes(const TraceRecord& rec, size_t offset, size_t n) {
    return std::vector<uint8_t>(rec.begin() + offset, rec.begin() + offset + n);
}

TEST(TraceTimeTest, StoresBcdDigits) {
    TraceRecord rec{};
    PutTime(rec, kTime);
    EXPECT_EQ((std::vector<uint8_t>{0x13, 0x05, 0x09, 0x04, 0x70}), Bytes(rec, 0, 5));
    PutTime(rec, TraceTime{23, 59, 58, 999});
    EXPECT_EQ((std::vector<uint8_t>{0x23, 0x59, 0x58, 0x99, 0x90}), Bytes(rec, 0, 5));
    PutTime(rec, TraceTime{0, 0, 0, 100});
    EXPECT_EQ((std::vector<uint8_t>{0x10, 0x00}), Bytes(rec, 3, 2));
}

TEST(TraceRecordTest, ValuesRecordStoresTagAndFiveLittleEndianValues) {
    const int32_t values[5] = {0x11223344, -2, 0, 111, INT32_MIN};
    const TraceRecord rec = MakeValuesRecord(kTime, "MGpN", values);
    EXPECT_EQ(0x13, rec[0]);
    EXPECT_EQ("MGpN", Str(rec, 5, 4));
    EXPECT_EQ(0x44, rec[9]);
    EXPECT_EQ(0x11, rec[12]);
    EXPECT_EQ((std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}), Bytes(rec, 13, 4));
    EXPECT_EQ(111, Le32At(rec, 21));
    EXPECT_EQ(INT32_MIN, Le32At(rec, 25));

    // A tag shorter than four characters stops at its end; no bytes beyond it are read.
    const TraceRecord shortTag = MakeValuesRecord(kTime, "50", nullptr);
    EXPECT_EQ(std::string("50\0\0", 4), Str(shortTag, 5, 4));
    for (size_t i = 9; i < kTraceRecordSize; ++i) EXPECT_EQ(0, shortTag[i]) << i;
}

TEST(TraceRecordTest, TextRecordKeepsCountValuesAndCutsText) {
    const int32_t values[4] = {7, -1, 0, 0};
    const TraceRecord rec = MakeTextRecord(kTime, "MSpS", "ABCDEFGHIJKLMNOPQRST", 2, values);
    EXPECT_EQ(7, Le32At(rec, 9));
    EXPECT_EQ(-1, Le32At(rec, 13));
    EXPECT_EQ("ABCDEFGHIJKL", Str(rec, 17, 12));  // first 12 of 20 characters, no terminator

    // A short text keeps its terminator; what lies behind it is whatever values were passed.
    const TraceRecord shortText = MakeTextRecord(kTime, "MOpn", "Dev", 1, values);
    EXPECT_EQ(std::string("Dev\0", 4), Str(shortText, 13, 4));
    EXPECT_EQ(0, Le32At(shortText, 17));
    const int32_t filled[4] = {0, 0x0A0B0C0D, 0, 0};
    const TraceRecord kept = MakeTextRecord(kTime, "MOpn", "X", 0, filled);
    EXPECT_EQ(std::string("X\0", 2), Str(kept, 9, 2));
    EXPECT_EQ(0x0A0B0C0D, Le32At(kept, 13));
}

TEST(TraceRecordTest, TextStartsAfterCountValuesForEveryCount) {
    const int32_t values[4] = {0x01010101, 0x02020202, 0x03030303, 0x04040404};
    const std::string text = "abcdefghijklmnopqrstuvwxyz";
    for (int n = 0; n <= 4; ++n) {
        SCOPED_TRACE(n);
        const TraceRecord rec = MakeTextRecord(kTime, "MDio", text.c_str(), n, values);
        for (int i = 0; i < n; ++i) EXPECT_EQ(values[i], Le32At(rec, 9 + 4 * i));
        const size_t start = 9 + 4 * static_cast<size_t>(n);
        EXPECT_EQ(text.substr(0, kTraceRecordSize - start),
                  Str(rec, start, kTraceRecordSize - start));
    }
    // Counts outside 0..4 are treated as the nearest end of that range.
    EXPECT_EQ(MakeTextRecord(kTime, "MDio", "xy", 4, values),
              MakeTextRecord(kTime, "MDio", "xy", 9, values));
    EXPECT_EQ(MakeTextRecord(kTime, "MDio", "xy", 0, values),
              MakeTextRecord(kTime, "MDio", "xy", -3, values));
}

TEST(TraceRecordTest, BytesRecordKeepsFullCountAndAtMostSixteenBytes) {
    const uint8_t five[5] = {0x1B, 0x70, 0x00, 0x19, 0xFA};
    const TraceRecord small = MakeBytesRecord(kTime, "50v1", five, 5);
    EXPECT_EQ(5, Le32At(small, 9));
    EXPECT_EQ(0, std::memcmp(small.data() + 13, five, 5));
    for (size_t i = 18; i < kTraceRecordSize; ++i) EXPECT_EQ(0, small[i]) << i;

    uint8_t forty[40];
    for (int i = 0; i < 40; ++i) forty[i] = static_cast<uint8_t>(0xA0 + i);
    const TraceRecord big = MakeBytesRecord(kTime, "50v1", forty, 40);
    EXPECT_EQ(40, Le32At(big, 9));
    EXPECT_EQ(0, std::memcmp(big.data() + 13, forty, 16));

    const TraceRecord negative = MakeBytesRecord(kTime, "50v1", forty, -3);
    EXPECT_EQ(-3, Le32At(negative, 9));
    for (size_t i = 13; i < kTraceRecordSize; ++i) EXPECT_EQ(0, negative[i]) << i;
}

TEST(TraceChannelNameTest, KeepsLastFourteenCharactersThenDigitAndLetter) {
    EXPECT_EQ("CashDrawer10M", MakeChannelName("CashDrawer1", '0', 'M'));  // 11 + 2
    EXPECT_EQ("CashDrawer11M", MakeChannelName("CashDrawer1", '1', 'M'));
    EXPECT_EQ("ABCDEFGHIJKLMN>P", MakeChannelName("ABCDEFGHIJKLMN", '>', 'P'));
    EXPECT_EQ("ghijklmnopqrst0M", MakeChannelName("abcdefghijklmnopqrst", '0', 'M'));
    EXPECT_EQ("0M", MakeChannelName("", '0', 'M'));
}

std::vector<uint8_t> FileWith(const std::vector<TraceRecord>& records) {
    const TraceFileHeader header = MakeTraceFileHeader();
    std::vector<uint8_t> bytes(header.begin(), header.end());
    for (const TraceRecord& r : records) bytes.insert(bytes.end(), r.begin(), r.end());
    return bytes;
}

TEST(TraceFileTest, ParsesHeaderAndRecords) {
    const int32_t a[5] = {1, 2, 3, 4, 5};
    const TraceRecord r1 = MakeValuesRecord(kTime, "MClm", a);
    const TraceRecord r2 = MakeTextRecord(kTime, "MOpn", "CashDrawer1", 1, a);
    const std::vector<uint8_t> bytes = FileWith({r1, r2});
    ASSERT_EQ(16u + 2 * 29u, bytes.size());
    EXPECT_EQ(0, std::memcmp(bytes.data(), "BWTRC1\0\0", 8));

    const TraceFileContents contents = ParseTraceFile(bytes);
    EXPECT_TRUE(contents.ok()) << contents.error;
    ASSERT_EQ(2u, contents.records.size());
    EXPECT_EQ(r1, contents.records[0]);
    EXPECT_EQ(r2, contents.records[1]);

    const TraceFileContents empty = ParseTraceFile(FileWith({}));
    EXPECT_TRUE(empty.ok());
    EXPECT_TRUE(empty.records.empty());
}

TEST(TraceFileTest, RejectsShortForeignAndTruncatedFiles) {
    const TraceRecord r = MakeValuesRecord(kTime, "MClm", nullptr);
    std::vector<uint8_t> good = FileWith({r, r});

    EXPECT_FALSE(ParseTraceFile(std::vector<uint8_t>()).ok());
    EXPECT_FALSE(ParseTraceFile(std::vector<uint8_t>(good.begin(), good.begin() + 15)).ok());

    std::vector<uint8_t> badMagic = good;
    badMagic[0] = 'X';
    const TraceFileContents foreign = ParseTraceFile(badMagic);
    EXPECT_NE(std::string::npos, foreign.error.find("magic"));
    EXPECT_TRUE(foreign.records.empty());

    std::vector<uint8_t> otherSize = good;
    otherSize[12] = 32;
    EXPECT_FALSE(ParseTraceFile(otherSize).ok());

    // A torn last record is reported, but the whole records before it are still returned.
    good.resize(good.size() - 10);
    const TraceFileContents torn = ParseTraceFile(good);
    EXPECT_NE(std::string::npos, torn.error.find("19 bytes"));
    ASSERT_EQ(1u, torn.records.size());
    EXPECT_EQ(r, torn.records[0]);
}

TEST(TraceFormatTest, ValuesAndTextLines) {
    const int32_t index[5] = {8, 0, 0, 0, 0};
    EXPECT_EQ("13:05:09.047 MGpN 8 0 0 0 0",
              FormatTraceRecord(MakeValuesRecord(kTime, "MGpN", index).data()));
    const int32_t dispatch[4] = {12345, 0, 0, 0};
    EXPECT_EQ("13:05:09.047 MOpn 12345 \"CashDrawer1\"",
              FormatTraceRecord(MakeTextRecord(kTime, "MOpn", "CashDrawer1", 1, dispatch).data()));
    // A text filling the whole payload has no terminator.
    EXPECT_EQ("13:05:09.047 MDio \"ABCDEFGHIJKLMNOPQRST\"",
              FormatTraceRecord(
                  MakeTextRecord(kTime, "MDio", "ABCDEFGHIJKLMNOPQRSTUV", 0, nullptr).data()));
}

TEST(TraceFormatTest, CommonValuesAreNotMistakenForText) {
    // 111 is the byte 'o', -1 is four 0xFF bytes, 0x4142 spells "BA" but is followed by a
    // non-zero value: none of them is a text.
    const int32_t v1[5] = {111, 0, 0, 0, 0};
    const int32_t v2[5] = {-1, -2, 0, 0, 0};
    const int32_t v3[5] = {0x4142, 0, 5, 0, 0};
    EXPECT_EQ("13:05:09.047 mClm 111 0 0 0 0",
              FormatTraceRecord(MakeValuesRecord(kTime, "mClm", v1).data()));
    EXPECT_EQ("13:05:09.047 mGpN -1 -2 0 0 0",
              FormatTraceRecord(MakeValuesRecord(kTime, "mGpN", v2).data()));
    EXPECT_EQ("13:05:09.047 MSpN 16706 0 5 0 0",
              FormatTraceRecord(MakeValuesRecord(kTime, "MSpN", v3).data()));
}

TEST(TraceFormatTest, BytesLines) {
    const uint8_t five[5] = {0x1B, 0x70, 0x00, 0x19, 0xFA};
    EXPECT_EQ("13:05:09.047 50v1 5 bytes: 1B 70 00 19 FA",
              FormatTraceRecord(MakeBytesRecord(kTime, "50v1", five, 5).data()));
    uint8_t forty[40] = {};
    forty[15] = 0xEE;
    EXPECT_EQ("13:05:09.047 50v1 40 bytes: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 EE ...",
              FormatTraceRecord(MakeBytesRecord(kTime, "50v1", forty, 40).data()));
    EXPECT_EQ("13:05:09.047 50v1 -1 bytes",
              FormatTraceRecord(MakeBytesRecord(kTime, "50v1", nullptr, -1).data()));
    // The same payload under another tag reads as values.
    EXPECT_EQ("13:05:09.047 50q1 5 419459099 250 0 0",
              FormatTraceRecord(MakeBytesRecord(kTime, "50q1", five, 5).data()));
}

TEST(TraceFormatTest, EscapesUnprintableBytes) {
    const int32_t one[4] = {3, 0, 0, 0};
    EXPECT_EQ("13:05:09.047 MSpS 3 \"a\\\"b\\\\c\\xE9\"",
              FormatTraceRecord(MakeTextRecord(kTime, "MSpS", "a\"b\\c\xE9", 1, one).data()));
    TraceRecord rec = MakeValuesRecord(kTime, "Tout", nullptr);
    rec[6] = 0x01;
    rec[3] = 0xAB;  // not BCD: shown as hex digits rather than hidden
    EXPECT_EQ("13:05:09.AB7 T\\x01ut 0 0 0 0 0", FormatTraceRecord(rec.data()));
}

}  // namespace
