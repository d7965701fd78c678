// Text rules of the statistics: decimal counters, dates, interface names, the cut of texts
// at a byte limit without splitting a double-byte character, and the normal form of counter
// values in update requests. Pure C++; no Windows headers.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>

// The bytes that begin a double-byte character in a code page.
using LeadByteSet = std::bitset<256>;

// Leading white space, an optional sign, then decimal digits up to the first other
// character; 0 without digits. Values beyond 64 bits saturate.
int64_t Int64FromText(const char* text);
std::string Int64ToText(int64_t value);

// How many bytes of text to keep so that it fits in maxBytes: the whole text when it fits,
// otherwise the characters that end at or before maxBytes, a double-byte character (a lead
// byte and the byte after it) counting as one.
size_t FitTextLength(const std::string& text, size_t maxBytes, const LeadByteSet& leadBytes);

// "%04d-%02d-%02d".
std::string FormatStatDate(int year, int month, int day);
// A date statistic's text: exactly "YYYY-MM-DD" with a first digit from 1 to 9, naming a real
// day of the Gregorian calendar. On success *normalised holds the date as stored.
bool ParseStatDate(const std::string& text, std::string* normalised);

// One of RS232, RS485, Parallel, USB, 1394, Network, Bluetooth, Other (case-sensitive).
bool IsStatInterface(const std::string& text);

// Brings an update value for a counter into its stored form: a plain signed decimal without
// "+" or leading zeros, "-0" as "0", values above the 64-bit range as the largest value.
// False for an empty value, anything but an optional sign followed by digits, and values
// below the 64-bit range.
bool NormaliseCounterValue(const std::string& value, std::string* normalised);
