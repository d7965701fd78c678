// What a file found at a counter file path is, and the names of the files the service makes
// beside it. A counter file is read leniently (LF or CR LF line ends, blank lines at the end, a
// last line without its line end), while the DirectIO counter text stays exact. A file that
// still cannot be read is never overwritten: one that looks like a damaged counter file is
// kept under another name, any other file is left alone. Pure C++; no Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Files larger than this are not counter files (32 counters take 1280 bytes).
constexpr size_t kCounterFileLookLimit = 64 * 1024;

enum class CounterFileKind {
    Empty,     // no bytes, or blanks and line ends only: nothing to keep
    Counters,  // a counter file of these counters
    Damaged,   // text that mentions a counter, or only NULs and blanks: a counter file gone bad
    Foreign,   // anything else: some other file, never to be replaced
};

// The counter text (40-byte lines ending in CR LF) a counter file holds: a leading UTF-8 byte
// order mark is skipped, line ends may be LF or CR LF, blank lines at the end are ignored and
// the last line may lack its line end. False when a line is not 38 bytes of name and value.
bool CounterTextFromFile(const std::string& contents, std::string* text);

// What the contents (at most kCounterFileLookLimit + 1 bytes of the file) are for the count
// counters of names. For Counters, values[0..count) take the counts the file holds (counters it
// does not name keep theirs); otherwise values are not changed.
CounterFileKind ClassifyCounterFile(const std::string& contents, const char* const* names,
                                    int32_t count, uint32_t* values);

// The name a damaged counter file is kept under: the path followed by ".unreadable-" and the
// local date and time as YYYYMMDD-HHMMSS; when that is taken, attempt 1, 2, ... add "-1",
// "-2", ...
std::string SetAsideName(const std::string& path, int year, int month, int day, int hour,
                         int minute, int second, int attempt);

// The temporary file a counter file is written to before it replaces the old one: a short
// name in the same folder, "~RAS" and four hexadecimal digits from the file name and the attempt
// (0, 1, ... while a name is taken), then ".tmp".
std::string CounterTempName(const std::string& path, int attempt);
