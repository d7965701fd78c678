// Builds and renders the 29-byte trace records (see trace_record.h for the layout).
// Stateless: every call works on its own record, so any thread may call any function.
#include "util/trace_record.h"

#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void PutLe32(TraceRecord& rec, size_t offset, int32_t value) {
    const uint32_t u = static_cast<uint32_t>(value);
    rec[offset] = static_cast<uint8_t>(u & 0xFF);
    rec[offset + 1] = static_cast<uint8_t>((u >> 8) & 0xFF);
    rec[offset + 2] = static_cast<uint8_t>((u >> 16) & 0xFF);
    rec[offset + 3] = static_cast<uint8_t>((u >> 24) & 0xFF);
}

int32_t GetLe32(const uint8_t* p) {
    const uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return static_cast<int32_t>(u);
}

// Decimal digit `place` (1, 10, 100) of a non-negative value; negatives count as 0.
uint8_t DigitAt(int value, int place) {
    return value < 0 ? 0 : static_cast<uint8_t>((value / place) % 10);
}

uint8_t TwoDigitBcd(int value) {
    return static_cast<uint8_t>((DigitAt(value, 10) << 4) | DigitAt(value, 1));
}

// Time and tag, common to every record form.
TraceRecord StartRecord(const TraceTime& time, const char* tag) {
    TraceRecord rec{};
    PutTime(rec, time);
    if (tag != nullptr) {
        for (size_t i = 0; i < kTraceTagSize && tag[i] != '\0'; ++i) {
            rec[kTraceTagOffset + i] = static_cast<uint8_t>(tag[i]);
        }
    }
    return rec;
}

bool IsPrintableAscii(uint8_t c) {
    return c >= 0x20 && c <= 0x7E;
}

// Bytes allowed inside a text run: everything but the C0 controls and DEL, so ANSI text with
// accented letters still counts as text.
bool IsTextByte(uint8_t c) {
    return c >= 0x20 && c != 0x7F;
}

void AppendHexByte(std::string& out, uint8_t c) {
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 0x0F];
}

void AppendEscaped(std::string& out, const uint8_t* p, size_t n, bool quoted) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = p[i];
        if (c == '\\' || (quoted && c == '"')) {
            out += '\\';
            out += static_cast<char>(c);
        } else if (IsPrintableAscii(c)) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            AppendHexByte(out, c);
        }
    }
}

// Finds text in the payload; returns the number of values before it (0..4) or -1, and the
// text length through `length`. The rules are listed with FormatTraceRecord in the header.
int FindText(const uint8_t* rec, size_t* length) {
    for (int n = 0; n <= kTraceMaxTextValues; ++n) {
        const size_t start = kTracePayloadOffset + 4 * static_cast<size_t>(n);
        if (!IsPrintableAscii(rec[start])) continue;
        size_t end = start;
        int printable = 0;
        while (end < kTraceRecordSize && IsTextByte(rec[end])) {
            if (IsPrintableAscii(rec[end])) ++printable;
            ++end;
        }
        if (printable < 2) continue;
        bool restIsZero = true;
        for (size_t i = end; i < kTraceRecordSize; ++i) restIsZero = restIsZero && rec[i] == 0;
        if (!restIsZero) continue;
        *length = end - start;
        return n;
    }
    return -1;
}

void AppendValues(std::string& out, const uint8_t* rec, int count) {
    for (int i = 0; i < count; ++i) {
        out += ' ';
        out += std::to_string(GetLe32(rec + kTracePayloadOffset + 4 * static_cast<size_t>(i)));
    }
}

void AppendBytesPayload(std::string& out, const uint8_t* rec) {
    const int32_t count = GetLe32(rec + kTracePayloadOffset);
    out += ' ';
    out += std::to_string(count);
    out += " bytes";
    const int32_t shown = count < 0 ? 0 : (count > kTraceMaxBytes ? kTraceMaxBytes : count);
    if (shown > 0) out += ':';
    for (int32_t i = 0; i < shown; ++i) {
        out += ' ';
        AppendHexByte(out, rec[kTracePayloadOffset + 4 + static_cast<size_t>(i)]);
    }
    if (count > kTraceMaxBytes) out += " ...";
}

}  // namespace

void PutTime(TraceRecord& rec, const TraceTime& time) {
    rec[0] = TwoDigitBcd(time.hour);
    rec[1] = TwoDigitBcd(time.minute);
    rec[2] = TwoDigitBcd(time.second);
    rec[3] =
        static_cast<uint8_t>((DigitAt(time.millisecond, 100) << 4) | DigitAt(time.millisecond, 10));
    rec[4] = static_cast<uint8_t>(DigitAt(time.millisecond, 1) << 4);
}

TraceRecord MakeValuesRecord(const TraceTime& time, const char tag[4], const int32_t values[5]) {
    TraceRecord rec = StartRecord(time, tag);
    if (values != nullptr) {
        for (size_t i = 0; i < 5; ++i) PutLe32(rec, kTracePayloadOffset + 4 * i, values[i]);
    }
    return rec;
}

TraceRecord MakeTextRecord(const TraceTime& time, const char tag[4], const char* text, int count,
                           const int32_t values[4]) {
    TraceRecord rec = StartRecord(time, tag);
    if (values != nullptr) {
        for (size_t i = 0; i < 4; ++i) PutLe32(rec, kTracePayloadOffset + 4 * i, values[i]);
    }
    if (count < 0) count = 0;
    if (count > kTraceMaxTextValues) count = kTraceMaxTextValues;
    size_t pos = kTracePayloadOffset + 4 * static_cast<size_t>(count);
    const char* src = text != nullptr ? text : "";
    // Copy the text and its terminator, stopping at the end of the record.
    for (; pos < kTraceRecordSize; ++pos, ++src) {
        rec[pos] = static_cast<uint8_t>(*src);
        if (*src == '\0') break;
    }
    return rec;
}

TraceRecord MakeBytesRecord(const TraceTime& time, const char tag[4], const void* data,
                            int32_t count) {
    TraceRecord rec = StartRecord(time, tag);
    PutLe32(rec, kTracePayloadOffset, count);
    if (data != nullptr && count > 0) {
        const size_t n = static_cast<size_t>(count < kTraceMaxBytes ? count : kTraceMaxBytes);
        std::memcpy(rec.data() + kTracePayloadOffset + 4, data, n);
    }
    return rec;
}

std::string MakeChannelName(const std::string& baseName, char digit, char letter) {
    constexpr size_t kKeep = 14;
    // Characters of a UTF-8 name: the continuation bytes (10xxxxxx) go with their lead byte.
    size_t start = baseName.size();
    for (size_t kept = 0; start > 0 && kept < kKeep;) {
        --start;
        if ((static_cast<unsigned char>(baseName[start]) & 0xC0) != 0x80) ++kept;
    }
    std::string name = baseName.substr(start);
    name += digit;
    name += letter;
    return name;
}

std::string FormatTraceRecord(const uint8_t* rec) {
    std::string out;
    out.reserve(96);
    const auto twoNibbles = [&out](uint8_t b) {
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0x0F];
    };
    twoNibbles(rec[0]);
    out += ':';
    twoNibbles(rec[1]);
    out += ':';
    twoNibbles(rec[2]);
    out += '.';
    twoNibbles(rec[3]);
    out += kHexDigits[rec[4] >> 4];
    out += ' ';
    AppendEscaped(out, rec + kTraceTagOffset, kTraceTagSize, false);

    if (std::memcmp(rec + kTraceTagOffset, kTraceBytesTag, kTraceTagSize) == 0) {
        AppendBytesPayload(out, rec);
        return out;
    }
    size_t textLength = 0;
    const int valuesBeforeText = FindText(rec, &textLength);
    if (valuesBeforeText < 0) {
        AppendValues(out, rec, 5);
        return out;
    }
    AppendValues(out, rec, valuesBeforeText);
    out += " \"";
    AppendEscaped(out, rec + kTracePayloadOffset + 4 * static_cast<size_t>(valuesBeforeText),
                  textLength, true);
    out += '"';
    return out;
}
