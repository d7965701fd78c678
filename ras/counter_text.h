// The counter text: one 40-byte line per counter in use, "%-28s%10lu\r\n", and nothing else.
// It is what DirectIO 115 returns, what DirectIO 114 accepts and what the counter file holds.
// Pure C++; no Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// True when every one of the count names is exactly 28 characters long.
bool CounterNamesValid(const char* const* names, int32_t count);

// One line: the name blank-padded to 28 bytes, the value right-aligned in 10, then CR LF.
std::string FormatCounterLine(const char* name, uint32_t value);
// The lines of counters 0 to count - 1, in that order.
std::string BuildCounterText(const char* const* names, const uint32_t* values, int32_t count);

// Reads a counter text into values[0..count). All or nothing: the values change only when the
// whole text is valid; otherwise OPOS_E_ILLEGAL (106) and nothing changes. Returns 0 on
// success. Each line must end in CR LF, name one of the counters (letter case not significant;
// the search starts after the counter the previous line named and wraps around), and carry a
// value of optional leading blanks and at least one digit; values beyond 32 bits read as
// 4294967295. Counters not named keep their values; a counter named twice takes the later one.
int32_t ParseCounterText(const char* text, size_t length, const char* const* names, int32_t count,
                         uint32_t* values);
