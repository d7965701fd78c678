// How configuration texts are read: Booleans by their first letter, numbers by the C
// library's atol rules, words compared without regard to case. Pure; no Windows headers.
#pragma once

#include <cstdint>
#include <string>

// TRUE exactly when the first character is 'T' or 't'.
int32_t BoolFromText(const char* text);
// Leading white space, an optional sign, then decimal digits up to the first other
// character; 0 when there are no digits. Values beyond 32 bits saturate.
int32_t LongFromText(const char* text);
// The text without the blanks (spaces, tabs, line ends) around it.
std::string TrimBlanks(const std::string& text);
// ASCII comparison without regard to letter case.
bool EqualsNoCase(const std::string& a, const char* b);
