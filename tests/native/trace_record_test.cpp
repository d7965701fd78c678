// Trace records: the builders, channel names and the channel file parser.
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

bool ZeroFrom(const TraceRecord& rec, size_t offset) {
    for (size_t i = offset; i < kTraceRecordSize; ++i) {
        if (rec[i] != 0) return false;
    }
    return true;
}

TEST(TraceTimeTest, StoresBcdDigits) {
    TraceRecord rec{};
    PutTime(rec, kTime);
    EXPECT_EQ(std::string("\x13\x05\x09\x04\x70", 5), Str(rec, 0, 5));
}

TEST(TraceRecordTest, ValuesRecordStoresTagAndFiveLittleEndianValues) {
    const int32_t values[5] = {0x11223344, -2, 0, 111, INT32_MIN};
    const TraceRecord rec = MakeValuesRecord(kTime, "MGpN", values);
    EXPECT_EQ("MGpN", Str(rec, 5, 4));
    EXPECT_EQ("\x44\x33\x22\x11\xFE\xFF\xFF\xFF", Str(rec, 9, 8));
    EXPECT_EQ(INT32_MIN, Le32At(rec, 25));

    // A tag shorter than four characters stops at its end; no bytes beyond it are read.
    const TraceRecord shortTag = MakeValuesRecord(kTime, "50", nullptr);
    EXPECT_EQ(std::string("50\0\0", 4), Str(shortTag, 5, 4));
    EXPECT_TRUE(ZeroFrom(shortTag, 9));
}

TEST(TraceRecordTest, TextStartsAfterCountValuesAndIsCutAtTheEnd) {
    const int32_t values[4] = {0x01010101, 0x02020202, -1, 0x04040404};
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
    EXPECT_TRUE(ZeroFrom(small, 18));

    uint8_t forty[40];
    for (int i = 0; i < 40; ++i) forty[i] = static_cast<uint8_t>(0xA0 + i);
    const TraceRecord big = MakeBytesRecord(kTime, "50v1", forty, 40);
    EXPECT_EQ(40, Le32At(big, 9));
    EXPECT_EQ(0, std::memcmp(big.data() + 13, forty, 16));

    const TraceRecord negative = MakeBytesRecord(kTime, "50v1", forty, -3);
    EXPECT_EQ(-3, Le32At(negative, 9));
    EXPECT_TRUE(ZeroFrom(negative, 13));
}

// ASCII names are trace_lib_test.cpp's.
TEST(TraceChannelNameTest, KeepsLastFourteenCharactersThenDigitAndLetter) {
    // Characters, not bytes: a name in UTF-8 is never cut inside a character.
    std::string fourteen;
    for (int i = 0; i < 14; ++i) fourteen += "\xE3\x83\x89";  // katakana DO, three bytes each
    EXPECT_EQ(fourteen + "0M", MakeChannelName("A" + fourteen, '0', 'M'));
}

std::vector<uint8_t> FileWith(const std::vector<TraceRecord>& records) {
    const TraceFileHeader header = MakeTraceFileHeader();
    std::vector<uint8_t> bytes(header.begin(), header.end());
    for (const TraceRecord& r : records) bytes.insert(bytes.end(), r.begin(), r.end());
    return bytes;
}

TEST(TraceFileTest, RejectsShortForeignAndTruncatedFiles) {
    const TraceRecord r = MakeValuesRecord(kTime, "MClm", nullptr);
    std::vector<uint8_t> good = FileWith({r, r});

    EXPECT_FALSE(ParseTraceFile(std::vector<uint8_t>()).ok());
    EXPECT_FALSE(ParseTraceFile(std::vector<uint8_t>(good.begin(), good.begin() + 15)).ok());
    std::vector<uint8_t> badMagic = good;
    badMagic[0] = 'X';
    const TraceFileContents foreign = ParseTraceFile(badMagic);
    EXPECT_FALSE(foreign.ok());
    EXPECT_TRUE(foreign.records.empty());

    std::vector<uint8_t> otherSize = good;
    otherSize[12] = 32;
    EXPECT_FALSE(ParseTraceFile(otherSize).ok());

    // A torn last record is reported, but the whole records before it are still returned.
    good.resize(good.size() - 10);
    const TraceFileContents torn = ParseTraceFile(good);
    EXPECT_FALSE(torn.ok());
    EXPECT_EQ(std::vector<TraceRecord>{r}, torn.records);
}

}  // namespace
