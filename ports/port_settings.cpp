// Port name classification and the line settings text.
#include "ports/port_settings.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace ports {
namespace {

std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::vector<std::string> SplitFields(const char* text) {
    std::vector<std::string> fields(1);
    for (const char* p = text; *p; ++p) {
        if (*p == ',') {
            fields.emplace_back();
        } else {
            fields.back().push_back(*p);
        }
    }
    for (std::string& f : fields) f = Trim(f);
    return fields;
}

bool ParseDecimal(const std::string& text, uint32_t maxValue, uint32_t* value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (!isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > maxValue) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

PortKind ClassifyPort(const char* port, std::string* simName) {
    if (port == nullptr) return PortKind::Serial;
    for (size_t i = 0; i < 3; ++i) {
        if (toupper(static_cast<unsigned char>(port[i])) != "SIM"[i]) return PortKind::Serial;
    }
    std::string name;
    for (const char* p = port; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (!isalnum(c) && c != '_' && c != '-') return PortKind::BadSimName;
        name.push_back(static_cast<char>(toupper(c)));
    }
    if (name.size() > kMaxSimNameLength) return PortKind::BadSimName;
    if (simName) *simName = name;
    return PortKind::Simulator;
}

bool ParseLineSettings(const char* text, LineSettings* out) {
    if (text == nullptr) return false;
    const std::vector<std::string> f = SplitFields(text);
    if (f.size() != 4) return false;
    LineSettings s;
    uint32_t data = 0;
    if (!ParseDecimal(f[0], 4000000, &s.baud) || s.baud == 0) return false;
    if (f[1].size() != 1 || !strchr("NEOMS", toupper(static_cast<unsigned char>(f[1][0])))) {
        return false;
    }
    s.parity = static_cast<char>(toupper(static_cast<unsigned char>(f[1][0])));
    if (!ParseDecimal(f[2], 8, &data) || data < 5) return false;
    s.dataBits = static_cast<uint8_t>(data);
    if (f[3] == "1") {
        s.stopBitsTimesTwo = 2;
    } else if (f[3] == "1.5") {
        s.stopBitsTimesTwo = 3;
    } else if (f[3] == "2") {
        s.stopBitsTimesTwo = 4;
    } else {
        return false;
    }
    *out = s;
    return true;
}

}  // namespace ports
