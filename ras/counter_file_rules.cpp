// Lenient reading of counter files, what a file at a counter path is, and the names of the
// files made beside it.
#include "ras/counter_file_rules.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "ras/counter_text.h"
#include "ras/ras_data.h"
#include "util/opos_constants.h"

namespace {

constexpr size_t kLineBody = kRasCounterLineLength - 2;  // name and value, without CR LF

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool AllBlank(const std::string& text, size_t from = 0) {
    for (size_t i = from; i < text.size(); ++i) {
        if (!IsBlank(text[i])) return false;
    }
    return true;
}

// Bytes a counter file is made of, also after a crash left NULs in it.
bool IsTextByte(unsigned char c) {
    return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ContainsNoCase(const std::string& text, const std::string& word) {
    if (word.empty() || word.size() > text.size()) return false;
    for (size_t at = 0; at + word.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < word.size() && LowerAscii(text[at + i]) == LowerAscii(word[i])) ++i;
        if (i == word.size()) return true;
    }
    return false;
}

// A counter name without the blanks that pad it to 28 characters.
std::string NameWord(const char* name) {
    std::string word(name, strnlen(name, kRasCounterNameLength));
    while (!word.empty() && word.back() == ' ') word.pop_back();
    return word;
}

}  // namespace

bool CounterTextFromFile(const std::string& contents, std::string* text) {
    size_t at = contents.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::vector<std::string> lines;
    while (at < contents.size()) {
        size_t end = contents.find('\n', at);
        if (end == std::string::npos) end = contents.size();
        std::string line = contents.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Blanks after the value field, as an editor may leave them, are not part of it.
        if (line.size() > kLineBody && AllBlank(line, kLineBody)) line.resize(kLineBody);
        lines.push_back(std::move(line));
        at = end + 1;
    }
    while (!lines.empty() && AllBlank(lines.back())) lines.pop_back();
    if (lines.empty()) return false;
    std::string result;
    result.reserve(lines.size() * kRasCounterLineLength);
    for (const std::string& line : lines) {
        if (line.size() != kLineBody) return false;
        result += line;
        result += "\r\n";
    }
    *text = std::move(result);
    return true;
}

CounterFileKind ClassifyCounterFile(const std::string& contents, const char* const* names,
                                    int32_t count, uint32_t* values) {
    if (AllBlank(contents)) return CounterFileKind::Empty;
    if (contents.size() > kCounterFileLookLimit) return CounterFileKind::Foreign;
    std::string text;
    if (count > 0 && CounterTextFromFile(contents, &text) &&
        ParseCounterText(text.data(), text.size(), names, count, values) == OPOS_SUCCESS) {
        return CounterFileKind::Counters;
    }

    bool printable = false;
    for (unsigned char c : contents) {
        if (!IsTextByte(c)) return CounterFileKind::Foreign;
        printable = printable || (c != '\0' && !IsBlank(static_cast<char>(c)));
    }
    if (!printable) return CounterFileKind::Damaged;  // NULs where the counts were
    for (int32_t i = 0; i < count; ++i) {
        if (ContainsNoCase(contents, NameWord(names[i]))) return CounterFileKind::Damaged;
    }
    return CounterFileKind::Foreign;
}

std::string SetAsideName(const std::string& path, int year, int month, int day, int hour,
                         int minute, int second, int attempt) {
    char stamp[48];
    std::snprintf(stamp, sizeof(stamp), ".unreadable-%04d%02d%02d-%02d%02d%02d", year, month, day,
                  hour, minute, second);
    std::string name = path + stamp;
    if (attempt > 0) name += "-" + std::to_string(attempt);
    return name;
}

std::string CounterTempName(const std::string& path, int attempt) {
    size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos && path.size() >= 2 && path[1] == ':') cut = 1;
    const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    // FNV-1a of the file name, so that each counter file of a folder has a temporary file of
    // its own; letter case is not significant in file names.
    uint32_t hash = 2166136261u;
    for (size_t i = folder.size(); i < path.size(); ++i) {
        hash = (hash ^ static_cast<unsigned char>(LowerAscii(path[i]))) * 16777619u;
    }
    char name[16];
    std::snprintf(
        name, sizeof(name), "~RAS%04X.tmp",
        static_cast<unsigned>((hash ^ (hash >> 16)) + static_cast<uint32_t>(attempt)) & 0xFFFFu);
    return folder + name;
}
