// Counter text lines: formatting and the all-or-nothing parser.
#include "ras/counter_text.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "ras/ras_data.h"
#include "util/opos_constants.h"

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool NameMatches(const char* field, const char* name) {
    for (size_t i = 0; i < kRasCounterNameLength; ++i) {
        if (LowerAscii(field[i]) != LowerAscii(name[i])) return false;
    }
    return true;
}

// The value field: blanks, then one or more digits and nothing after them.
bool ReadValueField(const char* field, uint32_t* value) {
    size_t i = 0;
    while (i < kRasCounterValueWidth && field[i] == ' ') ++i;
    if (i == kRasCounterValueWidth) return false;  // no digit at all
    uint64_t n = 0;
    for (; i < kRasCounterValueWidth; ++i) {
        if (field[i] < '0' || field[i] > '9') return false;
        n = n * 10 + static_cast<uint64_t>(field[i] - '0');  // ten digits cannot overflow
    }
    *value = n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
    return true;
}

}  // namespace

bool CounterNamesValid(const char* const* names, int32_t count) {
    if (count <= 0) return true;
    if (names == nullptr) return false;
    for (int32_t i = 0; i < count; ++i) {
        if (names[i] == nullptr || std::strlen(names[i]) != kRasCounterNameLength) return false;
    }
    return true;
}

std::string FormatCounterLine(const char* name, uint32_t value) {
    char line[kRasCounterLineLength + 1];
    std::snprintf(line, sizeof(line), "%-28.28s%10lu\r\n", name, static_cast<unsigned long>(value));
    return std::string(line, kRasCounterLineLength);
}

std::string BuildCounterText(const char* const* names, const uint32_t* values, int32_t count) {
    std::string text;
    if (count <= 0) return text;
    text.reserve(kRasCounterLineLength * static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) text += FormatCounterLine(names[i], values[i]);
    return text;
}

int32_t ParseCounterText(const char* text, size_t length, const char* const* names, int32_t count,
                         uint32_t* values) {
    if (text == nullptr || length == 0 || length % kRasCounterLineLength != 0 || count <= 0) {
        return OPOS_E_ILLEGAL;
    }
    std::vector<uint32_t> scratch(values, values + count);

    int32_t next = 0;  // the counter the search for the next name starts at
    for (size_t at = 0; at < length; at += kRasCounterLineLength) {
        const char* line = text + at;
        if (line[38] != '\r' || line[39] != '\n') return OPOS_E_ILLEGAL;

        int32_t matched = -1;
        for (int32_t tried = 0; tried < count; ++tried) {
            const int32_t candidate = (next + tried) % count;
            if (NameMatches(line, names[candidate])) {
                matched = candidate;
                break;
            }
        }
        if (matched < 0) return OPOS_E_ILLEGAL;

        uint32_t value = 0;
        if (!ReadValueField(line + kRasCounterNameLength, &value)) return OPOS_E_ILLEGAL;
        scratch[static_cast<size_t>(matched)] = value;
        next = (matched + 1) % count;
    }
    std::memcpy(values, scratch.data(), scratch.size() * sizeof(uint32_t));
    return OPOS_SUCCESS;
}
