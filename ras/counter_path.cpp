// Counter file path rules.
#include "ras/counter_path.h"

#include "ras/ras_data.h"

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsFullPath(const std::string& name) {
    return name[0] == '\\' || (name.size() >= 2 && IsAsciiLetter(name[0]) && name[1] == ':');
}

// The block keeps at most kRasCounterPathMax bytes. A UTF-8 path is cut before the character
// the limit falls in, never inside it: a part of a character would turn the whole path into
// one of other characters.
std::string Cut(std::string path) {
    if (path.size() <= kRasCounterPathMax) return path;
    const auto continuation = [&](size_t i) {
        return (static_cast<unsigned char>(path[i]) & 0xC0) == 0x80;
    };
    size_t end = kRasCounterPathMax;
    size_t lead = end;
    while (lead > 0 && end - lead < 3 && continuation(lead)) --lead;
    if (lead < end && (static_cast<unsigned char>(path[lead]) & 0xC0) == 0xC0) end = lead;
    path.resize(end);
    return path;
}

}  // namespace

bool CounterNameIsNone(const char* name) {
    if (name == nullptr) return true;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p != ':' && *p != '\\') return false;
    }
    return true;
}

std::string ResolveCounterFilePath(const char* name, const std::string& deviceName,
                                   const std::string& baseFolder) {
    const std::string file =
        CounterNameIsNone(name) ? "RAS" + deviceName + ".LOG" : std::string(name);
    if (IsFullPath(file) || baseFolder.empty()) return Cut(file);
    if (baseFolder.back() == '\\') return Cut(baseFolder + file);
    return Cut(baseFolder + '\\' + file);
}

std::string CounterDataFolderOf(const std::string& commonAppData, const std::string& modulePath) {
    if (!commonAppData.empty()) {
        return commonAppData + (commonAppData.back() == '\\' ? "" : "\\") + "Bramwick";
    }
    const size_t slash = modulePath.rfind('\\');
    return slash == std::string::npos ? std::string() : modulePath.substr(0, slash);
}

bool IsInFolder(const std::string& path, const std::string& folder) {
    const size_t n = folder.size();
    if (n == 0 || path.size() <= n + 1 || path[n] != '\\') return false;
    for (size_t i = 0; i < n; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(path[i]) != lower(folder[i])) return false;
    }
    return true;
}
