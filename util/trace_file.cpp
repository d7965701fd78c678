// Parses channel files written by XTRLOG32.DLL (layout in trace_file.h).
// Stateless; used by cdctl and the tests from a single thread each.
#include "util/trace_file.h"

#include <algorithm>
#include <cstring>

TraceFileContents ParseTraceFile(const uint8_t* data, size_t size) {
    TraceFileContents result;
    if (size < kTraceFileHeaderSize) {
        result.error = "file too short for a trace header (" + std::to_string(size) + " bytes)";
        return result;
    }
    if (std::memcmp(data, kTraceFileMagic, sizeof(kTraceFileMagic)) != 0) {
        result.error = "not a trace file (bad magic)";
        return result;
    }
    if (!IsTraceFileHeader(data, size)) {
        result.error = "unsupported trace file header (header size " +
                       std::to_string(data[8] | (data[9] << 8)) + ", record size " +
                       std::to_string(data[12] | (data[13] << 8)) + ")";
        return result;
    }
    const size_t body = size - kTraceFileHeaderSize;
    const size_t whole = body / kTraceRecordSize;
    result.records.resize(whole);
    const uint8_t* p = data + kTraceFileHeaderSize;
    for (size_t i = 0; i < whole; ++i, p += kTraceRecordSize) {
        std::copy(p, p + kTraceRecordSize, result.records[i].begin());
    }
    const size_t trailing = body % kTraceRecordSize;
    if (trailing != 0) {
        result.error =
            "truncated: " + std::to_string(trailing) + " bytes after the last whole record";
    }
    return result;
}

TraceFileContents ParseTraceFile(const std::vector<uint8_t>& bytes) {
    return ParseTraceFile(bytes.data(), bytes.size());
}
