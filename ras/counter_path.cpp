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

std::string Cut(std::string path) {
    if (path.size() > kRasCounterPathMax) path.resize(kRasCounterPathMax);
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
