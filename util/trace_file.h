// Layout of the channel files written by XTRLOG32.DLL and a parser for them.
// Pure and stateless; the header helpers are inline so the trace library needs no extra source.
// Used by the trace library (any thread, under its channel locks) and by cdctl.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/trace_record.h"

// File layout (all integers little-endian):
//   0..7    magic "BWTRC1\0\0"
//   8..11   header size in bytes (16)
//   12..15  record size in bytes (29)
//   16..    the records, back to back, exactly as the service handed them over
constexpr char kTraceFileMagic[8] = {'B', 'W', 'T', 'R', 'C', '1', '\0', '\0'};
constexpr size_t kTraceFileHeaderSize = 16;
using TraceFileHeader = std::array<uint8_t, kTraceFileHeaderSize>;

inline TraceFileHeader MakeTraceFileHeader() {
    TraceFileHeader h{};
    for (size_t i = 0; i < sizeof(kTraceFileMagic); ++i) {
        h[i] = static_cast<uint8_t>(kTraceFileMagic[i]);
    }
    h[8] = static_cast<uint8_t>(kTraceFileHeaderSize);
    h[12] = static_cast<uint8_t>(kTraceRecordSize);
    return h;
}

// True when `p` starts with a header this version writes (same magic and both sizes).
inline bool IsTraceFileHeader(const uint8_t* p, size_t size) {
    if (size < kTraceFileHeaderSize) return false;
    const TraceFileHeader expected = MakeTraceFileHeader();
    for (size_t i = 0; i < kTraceFileHeaderSize; ++i) {
        if (p[i] != expected[i]) return false;
    }
    return true;
}

struct TraceFileContents {
    std::vector<TraceRecord> records;  // every whole record, even when `error` is set
    std::string error;                 // empty when the file is valid
    bool ok() const { return error.empty(); }
};

// Splits a whole channel file into records. A missing or foreign header is an error with no
// records; a partial record at the end is an error that still returns the records before it.
TraceFileContents ParseTraceFile(const uint8_t* data, size_t size);
TraceFileContents ParseTraceFile(const std::vector<uint8_t>& bytes);
