// libFuzzer target for the registry values of a device: any set of values, of any registry
// type and any contents, read through a fake device key that follows the registry reading
// rules (texts only from REG_SZ and up to their first NUL, numbers from REG_DWORD or a decimal
// REG_SZ, Booleans from the first letter). Checked against the configuration table as written
// in the documentation:
//   - ReadDeviceConfig: every default and correction, the commands derived from it;
//   - the text rules it builds on (LongFromText, BoolFromText, TrimBlanks, EqualsNoCase);
//   - the reliability settings (EventLog with VerboseLimit, Statistics, StatFileName);
//   - the port texts (Port naming a simulated controller, Port_Initialize_String).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "ports/port_settings.h"
#include "ras/counter_path.h"
#include "ras/ras_rules.h"
#include "so/device_config.h"
#include "tests/fuzz/fuzz_check.h"
#include "util/config_rules.h"

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

struct Value {
    uint32_t type;
    std::string data;  // the stored bytes; their count is the value's size
};

// atol as the documentation states it: blanks, an optional sign, digits up to the first other
// character; out of the 32-bit range the nearest end of it.
int32_t ReferenceAtol(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && fuzz::IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 10000000000LL) v = 10000000000LL;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

class FakeKey final : public ConfigSource {
public:
    std::map<std::string, Value> values;

    // The text of a REG_SZ value of non-zero size, up to its first NUL; false otherwise.
    bool Text(const char* name, std::string* text) const {
        auto it = values.find(name);
        if (it == values.end() || it->second.type != kRegSz || it->second.data.empty()) {
            return false;
        }
        *text = fuzz::UpToNul(it->second.data);
        return true;
    }
    LONG Long(const char* name, LONG fallback) const {
        auto it = values.find(name);
        if (it == values.end() || it->second.data.empty()) return fallback;
        const Value& v = it->second;
        if (v.type == kRegDword) {
            if (v.data.size() > 4) return fallback;  // does not fit the number: unreadable
            uint32_t n = 0;
            memcpy(&n, v.data.data(), v.data.size());
            return static_cast<LONG>(n);
        }
        if (v.type != kRegSz) return fallback;
        return ReferenceAtol(fuzz::UpToNul(v.data));
    }
    BOOL Bool(const char* name, BOOL fallback) const {
        std::string text;
        if (!Text(name, &text)) return fallback;
        return !text.empty() && (text[0] == 'T' || text[0] == 't');
    }
    std::string StringOr(const char* name, const std::string& absent) const {
        std::string text;
        return Text(name, &text) ? text : absent;
    }

    BOOL GetBoolDefFalse(const char* name) const override { return Bool(name, 0); }
    BOOL GetBoolDefTrue(const char* name) const override { return Bool(name, 1); }
    LONG GetLongDefZero(const char* name) const override { return Long(name, 0); }
    LONG GetLongDefMinusOne(const char* name) const override { return Long(name, -1); }
    char* GetString(const char* name) const override {
        auto it = values.find(name);
        if (it == values.end() || it->second.type != kRegSz || it->second.data.empty()) {
            return nullptr;
        }
        char* text = new char[it->second.data.size() + 1]();
        memcpy(text, it->second.data.data(), it->second.data.size());
        return text;
    }
};

const char* const kNames[] = {
    "PortDll",
    "Port",
    "Port_Initialize_String",
    "EventLogPortName",
    "EventLog",
    "DllMode",
    "NoDwOpenAtChkExt",
    "Trace_Enable",
    "Trace_Tick",
    "Command_Timeout",
    "OpenDrawer_Timeout",
    "DrawerNo",
    "DetectDelay_Time",
    "SendReady_Timeout",
    "SendDone_Timeout",
    "CommandType",
    "PulseWidthTime",
    "RestartHardwareID",
    "RestartCount",
    "RestartTimeout",
    "Status_Mode",
    "VerboseLimit",
    "Statistics",
    "StatFileName",
};

// Texts near the accepted words make the interesting branches likely.
const char* const kWords[] = {
    "Solenoid",
    " solenoid\t",
    "Invert",
    " Invert",
    "invert",
    "True",
    "t",
    "False",
    "Disable",
    "Enable",
    " ENABLE ",
    "Verbose",
    "Verbose1",
    "verbose 2",
    "Verbose0",
    "Verbose 2147483646",
    "Memory",
    "File",
    " file ",
    "99",
    "100",
    "101",
    "-1",
    "2",
    " +42abc",
    "-2147483649",
    "4294967296",
    "SIM1",
    "sim_front-2",
    "SIMbad!",
    "COM3",
    "19200,N,8,1",
    " 9600 , e , 7 , 1.5 ",
    "0,N,8,1",
    "4000001,N,8,1",
    "1200,x,8,2",
    "C:\\logs\\ras.txt",
    "\\\\server\\share\\c.txt",
    "counters.txt",
    ":\\:",
    "",
};

int32_t ReferenceEventLogLevel(const std::string* text, int32_t limit) {
    if (text == nullptr) return 0;
    const std::string word = fuzz::Trim(*text);
    if (fuzz::EqualNoCase(word, "Enable")) return 1;
    if (word.size() < 7 || !fuzz::EqualNoCase(word.substr(0, 7), "Verbose")) return 0;
    size_t i = 7;
    while (i < word.size() && (word[i] == ' ' || word[i] == '\t')) ++i;
    if (i == word.size()) return 0;
    long long n = 0;
    for (; i < word.size(); ++i) {
        if (word[i] < '0' || word[i] > '9') return 0;
        n = n * 10 + (word[i] - '0');
        if (n > 100000000000LL) n = 100000000000LL;
    }
    if (n < 1 || n > limit || n + 1 > INT32_MAX) return 0;
    return static_cast<int32_t>(n + 1);
}

std::string ReferenceCounterPath(const std::string* name, const std::string& device,
                                 const std::string& folder) {
    bool none =
        name == nullptr || name->empty() || name->find_first_not_of(":\\") == std::string::npos;
    const std::string file = none ? "RAS" + device + ".LOG" : *name;
    const bool letter = file.size() >= 2 &&
                        ((file[0] >= 'A' && file[0] <= 'Z') || (file[0] >= 'a' && file[0] <= 'z'));
    std::string path;
    if (file[0] == '\\' || (letter && file[1] == ':') || folder.empty()) {
        path = file;
    } else {
        path = folder + (folder.back() == '\\' ? "" : "\\") + file;
    }
    return path;  // before the cut to 271 bytes
}

bool ReferenceLineSettings(const std::string& text, ports::LineSettings* out) {
    std::string fields[4];
    size_t count = 0;
    std::string current;
    for (char c : text + ",") {
        if (c != ',') {
            current.push_back(c);
            continue;
        }
        if (count == 4) return false;
        fields[count++] = fuzz::Trim(current);
        current.clear();
    }
    if (count != 4) return false;
    auto decimal = [](const std::string& f, uint64_t max, uint64_t* v) {
        if (f.empty() || f.size() > 10) return false;
        *v = 0;
        for (char c : f) {
            if (c < '0' || c > '9') return false;
            *v = *v * 10 + static_cast<uint64_t>(c - '0');
        }
        return *v <= max;
    };
    uint64_t baud = 0;
    uint64_t bits = 0;
    if (!decimal(fields[0], 4000000, &baud) || baud == 0) return false;
    const std::string parity = fields[1];
    if (parity.size() != 1 || std::string("NEOMSneoms").find(parity[0]) == std::string::npos) {
        return false;
    }
    if (!decimal(fields[2], 8, &bits) || bits < 5) return false;
    uint8_t stop = 0;
    if (fields[3] == "1") stop = 2;
    if (fields[3] == "1.5") stop = 3;
    if (fields[3] == "2") stop = 4;
    if (stop == 0) return false;
    out->baud = static_cast<uint32_t>(baud);
    out->parity = static_cast<char>(parity[0] & ~0x20);
    out->dataBits = static_cast<uint8_t>(bits);
    out->stopBitsTimesTwo = stop;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    FakeKey key;
    for (const char* name : kNames) {
        const uint8_t how = in.ConsumeIntegral<uint8_t>();
        if (how < 64) continue;  // absent
        Value v;
        v.type = in.PickValueInArray<uint32_t>(
            {kRegSz, kRegSz, kRegSz, kRegDword, kRegDword, kRegBinary, kRegExpandSz, kRegMultiSz});
        if (v.type == kRegDword && how < 200) {
            const uint32_t n = in.ConsumeIntegral<uint32_t>();
            v.data.assign(reinterpret_cast<const char*>(&n), 4);
        } else if (how < 160) {
            v.data = in.PickValueInArray(kWords);
            if (v.type == kRegSz && in.ConsumeBool()) v.data.push_back('\0');  // stored with NUL
        } else {
            v.data = in.ConsumeRandomLengthString(300);
        }
        key.values[name] = v;
    }

    // The text rules against their documented reading, on every text value.
    for (const auto& entry : key.values) {
        const std::string text = fuzz::UpToNul(entry.second.data);
        FUZZ_CHECK(LongFromText(text.c_str()) == ReferenceAtol(text));
        FUZZ_CHECK(BoolFromText(text.c_str()) == (text[0] == 'T' || text[0] == 't'));
        FUZZ_CHECK(TrimBlanks(text) == fuzz::Trim(text));
        FUZZ_CHECK(EqualsNoCase(text, "Solenoid") == fuzz::EqualNoCase(text, "Solenoid"));
    }

    const DeviceConfig c = ReadDeviceConfig(key);
    FUZZ_CHECK(c.portDll == key.StringOr("PortDll", "ZeZAZ.dll"));
    FUZZ_CHECK(c.port == key.StringOr("Port", ""));
    FUZZ_CHECK(c.portInitializeString == key.StringOr("Port_Initialize_String", "19200,N,8,1"));
    FUZZ_CHECK(c.eventLogPortName == key.StringOr("EventLogPortName", ""));
    std::string eventLog;
    int32_t mode = 0;
    if (key.Text("EventLog", &eventLog)) {
        const std::string word = fuzz::Trim(eventLog);
        mode = fuzz::EqualNoCase(word, "Disable") ? 0 : fuzz::EqualNoCase(word, "Enable") ? 1 : 2;
    }
    FUZZ_CHECK(c.eventLogMode == mode);
    const LONG dllMode = key.Long("DllMode", 0);
    FUZZ_CHECK(c.dllMode == (dllMode > 0 && dllMode < 100 ? 100 : dllMode));
    FUZZ_CHECK(c.noDwOpenAtChkExt == (key.Bool("NoDwOpenAtChkExt", 0) != 0));
    FUZZ_CHECK(c.traceEnable == (key.Bool("Trace_Enable", 1) != 0));
    FUZZ_CHECK(c.traceTick == (key.Bool("Trace_Tick", 0) != 0));
    const LONG command = key.Long("Command_Timeout", 0);
    FUZZ_CHECK(c.commandTimeout == (command < 100 ? 6000 : std::min<LONG>(command, 60000)));
    const LONG openDrawer = key.Long("OpenDrawer_Timeout", 0);
    FUZZ_CHECK(c.openDrawerTimeout ==
               (openDrawer <= 100 ? 3000 : std::min<LONG>(openDrawer, 60000)));
    const LONG drawer = key.Long("DrawerNo", 0);
    FUZZ_CHECK(c.drawerNo == (drawer == 1 || drawer == 2 ? drawer : 1));
    const LONG detect = key.Long("DetectDelay_Time", -1);
    const LONG detectLimit = std::min(c.commandTimeout, c.openDrawerTimeout) - 100;
    FUZZ_CHECK(c.detectDelayTime == std::min<LONG>(detect < 0 ? 300 : detect, detectLimit));
    const LONG ready = key.Long("SendReady_Timeout", 0);
    FUZZ_CHECK(c.sendReadyTimeout == (ready < 100 ? 3000 : std::min<LONG>(ready, 60000)));
    const LONG done = key.Long("SendDone_Timeout", 0);
    FUZZ_CHECK(c.sendDoneTimeout == (done < 100 ? 6000 : std::min<LONG>(done, 60000)));
    const bool solenoid =
        fuzz::EqualNoCase(fuzz::Trim(key.StringOr("CommandType", "")), "Solenoid");
    FUZZ_CHECK((c.commandType == CommandType::Solenoid) == solenoid);
    FUZZ_CHECK(c.pulseWidthTime == static_cast<uint8_t>(key.Long("PulseWidthTime", 0) & 0xFF));
    FUZZ_CHECK(c.restartHardwareId == fuzz::Trim(key.StringOr("RestartHardwareID", "")));
    const LONG restarts = key.Long("RestartCount", -1);
    FUZZ_CHECK(c.restartCount == (restarts < 0 ? 3 : restarts));
    const LONG restartTime = key.Long("RestartTimeout", -1);
    FUZZ_CHECK(c.restartTimeout == (restartTime < 0 ? 3000 : restartTime));
    FUZZ_CHECK(c.statusInvert == fuzz::EqualNoCase(key.StringOr("Status_Mode", ""), "Invert"));

    // The commands of the configured drawer.
    const DrawerCommand open = BuildOpenCommand(c.drawerNo, c.commandType, c.pulseWidthTime);
    const DrawerCommand status = BuildStatusCommand(c.commandType);
    const int32_t length = solenoid ? 4 : 3;
    FUZZ_CHECK(open.length == length && status.length == length);
    FUZZ_CHECK(open.bytes[0] == 0x1B && open.bytes[1] == 0x01 && open.bytes[2] == c.drawerNo - 1);
    FUZZ_CHECK(status.bytes[0] == 0x1B && status.bytes[1] == 0x02 && status.bytes[2] == 0x01);
    FUZZ_CHECK(!solenoid || (open.bytes[3] == c.pulseWidthTime && status.bytes[3] == 0));
    for (int i = length; i < 8; ++i) FUZZ_CHECK(open.bytes[i] == 0 && status.bytes[i] == 0);

    // Reliability settings of the same key.
    const LONG rawLimit = key.Long("VerboseLimit", 0);
    const int32_t limit = VerboseLimitFromValue(rawLimit);
    FUZZ_CHECK(limit == (rawLimit < 1 ? 1 : rawLimit));
    std::unique_ptr<char[]> level(key.GetString("EventLog"));
    FUZZ_CHECK(EventLogLevelFromText(level.get(), limit) ==
               ReferenceEventLogLevel(level ? &eventLog : nullptr, limit));
    std::string statistics;
    std::unique_ptr<char[]> modeText(key.GetString("Statistics"));
    int32_t counterMode = 0;
    if (key.Text("Statistics", &statistics)) {
        const std::string word = fuzz::Trim(statistics);
        counterMode = fuzz::EqualNoCase(word, "Memory") ? 1
                      : fuzz::EqualNoCase(word, "File") ? 2
                                                        : 0;
    }
    FUZZ_CHECK(StatisticsModeFromText(modeText.get()) == counterMode);
    std::string fileName;
    const bool hasFileName = key.Text("StatFileName", &fileName);
    std::unique_ptr<char[]> fileText(key.GetString("StatFileName"));
    const std::string device = in.PickValueInArray<std::string>({"Drawer1", "", "CashDrawer2x"});
    const std::string folder = in.PickValueInArray<std::string>(
        {"C:\\ProgramData\\Bramwick", "C:\\ProgramData\\Bramwick\\", "", "\\\\srv\\s"});
    const std::string path = ResolveCounterFilePath(fileText.get(), device, folder);
    // The path is cut to 271 bytes, and then back to the start of a character it would split
    // (at most 3 bytes more of a UTF-8 sequence).
    const std::string uncut =
        ReferenceCounterPath(hasFileName ? &fileName : nullptr, device, folder);
    FUZZ_CHECK(path.size() <= 271);
    FUZZ_CHECK(uncut.compare(0, path.size(), path) == 0);
    FUZZ_CHECK(path.size() + 3 >= std::min<size_t>(uncut.size(), 271));

    // The port texts the port library is given.
    std::string simName;
    const ports::PortKind kind = ports::ClassifyPort(c.port.c_str(), &simName);
    const bool sim = c.port.size() >= 3 && fuzz::EqualNoCase(c.port.substr(0, 3), "SIM");
    bool wellNamed = sim && c.port.size() <= ports::kMaxSimNameLength;
    for (char ch : c.port) {
        wellNamed = wellNamed && ((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') ||
                                  (ch >= 'A' && ch <= 'Z') || ch == '_' || ch == '-');
    }
    FUZZ_CHECK(kind == (!sim        ? ports::PortKind::Serial
                        : wellNamed ? ports::PortKind::Simulator
                                    : ports::PortKind::BadSimName));
    if (kind == ports::PortKind::Simulator) {
        FUZZ_CHECK(fuzz::EqualNoCase(simName, c.port));
        for (char ch : simName) FUZZ_CHECK(!(ch >= 'a' && ch <= 'z'));
    }
    ports::LineSettings got;
    ports::LineSettings expected;
    const bool parsed = ports::ParseLineSettings(c.portInitializeString.c_str(), &got);
    FUZZ_CHECK(parsed == ReferenceLineSettings(c.portInitializeString, &expected));
    if (parsed) {
        FUZZ_CHECK(got.baud == expected.baud && got.parity == expected.parity &&
                   got.dataBits == expected.dataBits &&
                   got.stopBitsTimesTwo == expected.stopBitsTimesTwo);
    }
    return 0;
}
