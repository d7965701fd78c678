// Fixed 29-byte trace records: building them for the trace library and rendering them as text.
// Pure functions without shared state; called concurrently from the application thread, the
// event thread, the port workers and the power-fail thread, and by the cdctl tool.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kTraceRecordSize = 29;
using TraceRecord = std::array<uint8_t, kTraceRecordSize>;

// Record layout: BCD time at 0..4, four tag characters at 5..8, 20 payload bytes at 9..28.
constexpr size_t kTraceTagOffset = 5;
constexpr size_t kTraceTagSize = 4;
constexpr size_t kTracePayloadOffset = 9;
constexpr int kTraceMaxTextValues = 4;  // values that may precede the text in a text record
constexpr int32_t kTraceMaxBytes = 16;  // data bytes a bytes record can hold

// Channel handle value meaning "no channel"; every trace call ignores negative handles.
constexpr int32_t kTraceHandleClosed = -2;

// The one tag whose records carry the bytes form (a command handed to the port library).
constexpr char kTraceBytesTag[] = "50v1";

// Local time of a record. Each field is stored as BCD, so only 0..99 (0..999 for the
// milliseconds) are representable; larger values keep their low decimal digits.
struct TraceTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Writes the time into bytes 0..4: hour, minute and second as two BCD digits each, then the
// milliseconds as hundreds|tens in byte 3 and units in the high nibble of byte 4.
void PutTime(TraceRecord& rec, const TraceTime& time);

// All builders copy up to four tag characters (fewer if the tag ends early), store 32-bit
// values little-endian and leave every byte they do not set at 0.

// Five values at offsets 9, 13, 17, 21 and 25. A null `values` stores zeros.
TraceRecord MakeValuesRecord(const TraceTime& time, const char tag[4], const int32_t values[5]);

// Four values at 9, 13, 17 and 21, then `text` copied over them from 9 + 4 * count (count is
// clamped to 0..4). The text is cut before offset 29; its terminator is stored only when it
// fits, so the bytes behind a short text keep the values passed for that room (0 by habit).
TraceRecord MakeTextRecord(const TraceTime& time, const char tag[4], const char* text, int count,
                           const int32_t values[4]);

// The byte count at 9 (always the full count), then the first min(count, 16) data bytes from
// offset 13. A negative count or null data copies nothing.
TraceRecord MakeBytesRecord(const TraceTime& time, const char tag[4], const void* data,
                            int32_t count);

// Channel name: the last 14 characters of `baseName` (UTF-8; all of it when shorter), the
// digit and the letter.
std::string MakeChannelName(const std::string& baseName, char digit, char letter);

// Renders the 29 bytes at `rec` as one line: "HH:MM:SS.mmm TAG payload".
//
// The record does not say which payload form it carries, so the tag decides:
//  - "50v1": the bytes form, e.g. `13:05:09.047 50v1 5 bytes: 1B 70 00 19 FA`; when the count
//    exceeds 16 the line ends in " ..." after the 16 stored bytes.
//  - any other tag: the five values in decimal, e.g. `13:05:09.047 MGpN 8 0 0 0 0`; but when
//    the payload holds text starting at offset 9 + 4n, the n values before it and the quoted
//    text, e.g. `13:05:09.047 MOpn 12345 "CashDrawer1"`.
// Text is recognised at the first 4-byte boundary where (a) the first byte is printable ASCII,
// (b) a run of non-control bytes follows holding at least two printable ASCII characters, and
// (c) the run reaches the end of the record or stops at a NUL followed only by NULs. A single
// character or an empty text therefore shows as values, and so does a value whose bytes happen
// to spell text only in the rare case they meet all three rules.
// In the time, a nibble above 9 prints as a hex digit. Tag and text bytes outside printable
// ASCII print as \xHH; a backslash prints as \\, a quote inside text as \".
std::string FormatTraceRecord(const uint8_t* rec);
