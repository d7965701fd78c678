// Text rules of the statistics.
#include "stats/stat_text.h"

#include <cctype>
#include <cstdio>
#include <limits>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int Digits(const std::string& text, size_t pos, size_t count) {
    int value = 0;
    for (size_t i = pos; i < pos + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

}  // namespace

int64_t Int64FromText(const char* text) {
    if (text == nullptr) return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (std::isspace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Accumulate towards the negative side, which holds one more value than the positive.
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    int64_t value = 0;
    bool saturated = false;
    for (; IsDigit(static_cast<char>(*p)); ++p) {
        const int digit = *p - '0';
        if (value < (kMin + digit) / 10) {
            saturated = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (negative) return saturated ? kMin : value;
    if (saturated || value == kMin) return std::numeric_limits<int64_t>::max();
    return -value;
}

std::string Int64ToText(int64_t value) {
    char text[24];
    snprintf(text, sizeof(text), "%lld", static_cast<long long>(value));
    return text;
}

size_t FitTextLength(const std::string& text, size_t maxBytes, const LeadByteSet& leadBytes) {
    // A lead byte starts a two-byte character even as the last byte: a text already cut at
    // maxBytes (as a request's value is) may end with half a character.
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t next = pos + (leadBytes[static_cast<unsigned char>(text[pos])] ? 2 : 1);
        if (next > maxBytes) break;
        pos = next < text.size() ? next : text.size();
    }
    return pos;
}

std::string FormatStatDate(int year, int month, int day) {
    char text[32];
    snprintf(text, sizeof(text), "%04d-%02d-%02d", year, month, day);
    return text;
}

bool ParseStatDate(const std::string& text, std::string* normalised) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (!IsDigit(text[i])) return false;
    }
    if (text[0] == '0') return false;
    const int year = Digits(text, 0, 4);
    const int month = Digits(text, 5, 2);
    const int day = Digits(text, 8, 2);
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    if (normalised != nullptr) *normalised = FormatStatDate(year, month, day);
    return true;
}

bool IsStatInterface(const std::string& text) {
    for (const char* name :
         {"RS232", "RS485", "Parallel", "USB", "1394", "Network", "Bluetooth", "Other"}) {
        if (text == name) return true;
    }
    return false;
}

bool NormaliseCounterValue(const std::string& value, std::string* normalised) {
    size_t pos = 0;
    bool negative = false;
    if (!value.empty() && (value[0] == '+' || value[0] == '-')) {
        negative = value[0] == '-';
        pos = 1;
    }
    if (pos == value.size()) return false;  // empty, or a lone sign
    for (size_t i = pos; i < value.size(); ++i) {
        if (!IsDigit(value[i])) return false;
    }
    while (pos < value.size() && value[pos] == '0') ++pos;
    std::string text = pos == value.size() ? "0" : (negative ? "-" : "") + value.substr(pos);
    const std::string roundTrip = Int64ToText(Int64FromText(text.c_str()));
    if (roundTrip != text) {
        // Out of range: too small a value cannot be stored, too large a one is capped.
        if (negative) return false;
        text = Int64ToText(std::numeric_limits<int64_t>::max());
    }
    *normalised = text;
    return true;
}
