// What cdctl prints: result codes, events, open results, reliability settings and the
// property list, worded once so that every command and the documentation agree.
// Pure C++; no Windows headers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cdctl {

// "111 OPOS_E_FAILURE"; a code without a published name prints as the number alone.
std::string DescribeResult(int32_t code);

// "1 (CASH_SUE_DRAWEROPEN)", "2004 (OPOS_SUE_POWER_OFF_OFFLINE)", or the number alone.
std::string DescribeStatusUpdate(int32_t value);

// "[+1.234s]" for 1234 ms since the start of the session.
std::string Timestamp(uint64_t elapsedMs);
// "1.234s" for 1234 ms.
std::string Seconds(uint64_t ms);

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
};
// The numeric and string properties of the cash drawer, in the order they are printed.
const std::vector<PropertyName>& NumericProperties();
const std::vector<PropertyName>& StringProperties();

}  // namespace cdctl
