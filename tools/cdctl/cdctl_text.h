// What cdctl reads and prints: the small text helpers every command shares, and the wording of
// results, events, open results and reliability settings, worded once so that every command
// and the documentation agree. Pure C++; no Windows headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cdctl {

// ASCII letters in lower case; other bytes (UTF-8 included) unchanged.
std::string Lower(std::string text);
// The parts of a text between commas ("" gives one empty part).
std::vector<std::string> SplitCommas(const std::string& text);
// The lines of a text; CR LF and LF both end a line.
std::vector<std::string> Lines(const std::string& text);
// "--help" or "-h".
bool IsHelp(const char* arg);

// A whole text as a signed 32-bit decimal number (an optional '-' and digits). With hex, a
// "0x" number up to 0xFFFFFFFF is taken as the signed value with the same bits
// (0x80000002 is -2147483646).
bool ParseInt32(std::string_view text, int32_t* value, bool hex = false);

// "111 OPOS_E_FAILURE"; a code without a published name prints as the number alone.
std::string DescribeResult(int32_t code);
// "1 (CASH_SUE_DRAWEROPEN)", "2004 (OPOS_SUE_POWER_OFF_OFFLINE)", or the number alone.
std::string DescribeStatusUpdate(int32_t value);

// "1.234s" for 1234 ms, and "[+1.234s]" for that time since the start of a session.
std::string Seconds(uint64_t ms);
std::string Timestamp(uint64_t elapsedMs);

// What an OpenResult the service reports means, and what to look at; empty when unknown.
const char* OpenResultMeaning(int32_t openResult);

// "2 (Verbose1)", "1 (Enable)", "0 (Disable)".
std::string DescribeEventLogLevel(int32_t level);
// "2 (File)", "3 (File, named through DirectIO 112)".
std::string DescribeCounterMode(int32_t mode);

// The lines of a counter text as (name, value) pairs, blanks removed; lines that are not
// 40-byte counter lines are left out.
std::vector<std::pair<std::string, std::string>> SplitCounterText(const std::string& text);

// A text shown on one line in quotes: CR, LF, tab and quote escaped, other control
// characters as \xHH; backslashes stay as they are, so paths read naturally.
std::string Quoted(const std::string& text);

struct PropertyName {
    int32_t index;
    const char* name;
    bool text;  // read with GetPropertyString, else GetPropertyNumber
};
// The properties of the cash drawer in the order they are printed: numbers, then texts.
const std::vector<PropertyName>& Properties();

}  // namespace cdctl
