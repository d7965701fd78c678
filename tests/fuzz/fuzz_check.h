// What the fuzz targets share: a check that stops the run with the failed condition and its
// place, so that libFuzzer keeps the input that broke it, and a helper for texts.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace fuzz {

// The text up to its first NUL, as a C function taking the text sees it.
inline std::string UpToNul(const std::string& text) {
    const size_t end = text.find('\0');
    return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace fuzz
