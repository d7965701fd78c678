// libFuzzer target: any registry values of a device, of any type, read as the registry reads
// them; every setting within range, and what is built from them sound.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ports/port_settings.h"
#include "ras/counter_path.h"
#include "ras/ras_rules.h"
#include "so/device_config.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/native/memory_key.h"
#include "util/config_rules.h"

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// A value as the registry utility reads it: the text of a REG_SZ value of non-zero size up to
// its first NUL, the number of a REG_DWORD value of 1 to 4 bytes; any other value is unreadable
// and reads as absent.
void Store(MemoryKey* key, const std::string& name, uint32_t type, const std::string& data) {
    if (type == kRegSz && !data.empty()) key->texts[name] = fuzz::UpToNul(data);
    if (type == kRegDword && !data.empty() && data.size() <= 4) {
        uint32_t n = 0;
        memcpy(&n, data.data(), data.size());
        key->numbers[name] = static_cast<int32_t>(n);
    }
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    return parts;
}

const std::vector<std::string> kNames = Split(
    "PortDll Port Port_Initialize_String EventLogPortName EventLog DllMode NoDwOpenAtChkExt "
    "Trace_Enable Trace_Tick Command_Timeout OpenDrawer_Timeout DrawerNo DetectDelay_Time "
    "SendReady_Timeout SendDone_Timeout CommandType PulseWidthTime RestartHardwareID "
    "RestartCount RestartTimeout Status_Mode VerboseLimit Statistics StatFileName",
    ' ');

// Texts near the accepted words make the interesting branches likely ('|' between them).
const std::vector<std::string> kWords = Split(
    "Solenoid| solenoid\t|Invert| Invert|invert|True|t|False|Disable|Enable| ENABLE |Verbose|"
    "Verbose1|verbose 2|Verbose0|Verbose 2147483646|Memory|File| file |99|100|101|-1|2| +42abc|"
    "-2147483649|4294967296|SIM1|sim_front-2|SIMbad!|COM3|19200,N,8,1| 9600 , e , 7 , 1.5 |"
    "0,N,8,1|4000001,N,8,1|1200,x,8,2|C:\\logs\\ras.txt|\\\\server\\share\\c.txt|"
    "counters.txt|:\\:|",
    '|');

void CheckRanges(const DeviceConfig& c) {
    FUZZ_CHECK(c.commandTimeout >= 100 && c.commandTimeout <= 60000);
    FUZZ_CHECK(c.openDrawerTimeout > 100 && c.openDrawerTimeout <= 60000);
    FUZZ_CHECK(c.sendReadyTimeout >= 100 && c.sendReadyTimeout <= 60000);
    FUZZ_CHECK(c.sendDoneTimeout >= 100 && c.sendDoneTimeout <= 60000);
    FUZZ_CHECK(c.drawerNo == 1 || c.drawerNo == 2);
    // The reader must look twice within the shorter of the waits it serves.
    FUZZ_CHECK(c.detectDelayTime >= 0 &&
               c.detectDelayTime <= std::min(c.commandTimeout, c.openDrawerTimeout) - 100);
    FUZZ_CHECK(c.dllMode <= 0 || c.dllMode >= 100);
    FUZZ_CHECK(c.restartCount >= 0 && c.restartTimeout >= 0);
    FUZZ_CHECK(c.eventLogMode >= 0 && c.eventLogMode <= 2);
    FUZZ_CHECK(TrimBlanks(c.restartHardwareId) == c.restartHardwareId);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    MemoryKey key;
    for (const std::string& name : kNames) {
        const uint8_t how = in.ConsumeIntegral<uint8_t>();
        if (how < 64) continue;  // absent
        const uint32_t type = in.PickValueInArray<uint32_t>(
            {kRegSz, kRegSz, kRegSz, kRegDword, kRegDword, kRegBinary, kRegExpandSz, kRegMultiSz});
        std::string bytes;  // their count is the value's size
        if (type == kRegDword && how < 200) {
            const uint32_t n = in.ConsumeIntegral<uint32_t>();
            bytes.assign(reinterpret_cast<const char*>(&n), 4);
        } else if (how < 160) {
            bytes = kWords[in.ConsumeIntegralInRange<size_t>(0, kWords.size() - 1)];
            if (type == kRegSz && in.ConsumeBool()) bytes.push_back('\0');  // stored with NUL
        } else {
            bytes = in.ConsumeRandomLengthString(300);
        }
        Store(&key, name, type, bytes);
    }

    FUZZ_CHECK(kNames.size() == 24 && kWords.size() == 41);  // as the seeds count them
    const DeviceConfig c = ReadDeviceConfig(key);
    CheckRanges(c);

    // The commands of the configured drawer: ESC, the command, the drawer or 1, and for a
    // solenoid the pulse width (status: 0); nothing after them.
    const DrawerCommand open = BuildOpenCommand(c.drawerNo, c.commandType, c.pulseWidthTime);
    const DrawerCommand status = BuildStatusCommand(c.commandType);
    const bool solenoid = c.commandType == CommandType::Solenoid;
    const int32_t length = solenoid ? 4 : 3;
    FUZZ_CHECK(open.length == length && status.length == length);
    FUZZ_CHECK(open.bytes[0] == 0x1B && open.bytes[1] == 0x01 && open.bytes[2] == c.drawerNo - 1);
    FUZZ_CHECK(status.bytes[0] == 0x1B && status.bytes[1] == 0x02 && status.bytes[2] == 0x01);
    FUZZ_CHECK(!solenoid || (open.bytes[3] == c.pulseWidthTime && status.bytes[3] == 0));
    for (int i = length; i < 8; ++i) FUZZ_CHECK(open.bytes[i] == 0 && status.bytes[i] == 0);

    // Reliability settings: a level within the limit, written back as text it reads the same.
    const int32_t limit = VerboseLimitFromValue(key.GetLongDefZero("VerboseLimit"));
    FUZZ_CHECK(limit >= 1);
    std::unique_ptr<char[]> levelText(key.GetString("EventLog"));
    const int32_t level = EventLogLevelFromText(levelText.get(), limit);
    FUZZ_CHECK(level >= 0 && (level <= 1 || level - 1 <= limit));
    FUZZ_CHECK(EventLogLevelFromText(EventLogTextForLevel(static_cast<uint32_t>(level)).c_str(),
                                     limit) == level);
    std::unique_ptr<char[]> modeText(key.GetString("Statistics"));
    const int32_t mode = StatisticsModeFromText(modeText.get());
    FUZZ_CHECK(mode >= 0 && mode <= 2);

    // The counter file path fits the block; a full path is kept as it is, cut back at most to
    // the start of the character the limit splits, and reads as itself again.
    std::unique_ptr<char[]> fileText(key.GetString("StatFileName"));
    const std::string device = in.PickValueInArray<std::string>({"Drawer1", "", "CashDrawer2x"});
    const std::string folder = in.PickValueInArray<std::string>(
        {"C:\\ProgramData\\Bramwick", "C:\\ProgramData\\Bramwick\\", "", "\\\\srv\\s"});
    const std::string path = ResolveCounterFilePath(fileText.get(), device, folder);
    FUZZ_CHECK(path.size() <= 271);
    const std::string name = fileText ? std::string(fileText.get()) : "";
    if (!CounterNameIsNone(fileText.get()) &&
        (name[0] == '\\' ||
         (name.size() >= 2 && ((name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z') &&
          name[1] == ':'))) {
        FUZZ_CHECK(name.compare(0, path.size(), path) == 0);
        FUZZ_CHECK(path.size() + 3 >= std::min<size_t>(name.size(), 271));
        FUZZ_CHECK(ResolveCounterFilePath(path.c_str(), device, folder) == path);
    }

    // A simulator name can only name a state file and kernel objects of its own.
    std::string simName;
    if (ports::ClassifyPort(c.port.c_str(), &simName) == ports::PortKind::Simulator) {
        FUZZ_CHECK(simName.size() == c.port.size() && simName.size() <= ports::kMaxSimNameLength);
        for (char ch : simName) {
            FUZZ_CHECK((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || ch == '_' ||
                       ch == '-');
        }
    }
    // Line settings: within what a serial port takes, the same when written back, and a
    // refused text leaves the result alone.
    ports::LineSettings got;
    got.baud = 7;
    if (!ports::ParseLineSettings(c.portInitializeString.c_str(), &got)) {
        FUZZ_CHECK(got.baud == 7);
        return 0;
    }
    FUZZ_CHECK(got.baud >= 1 && got.baud <= 4000000);
    FUZZ_CHECK(got.parity != '\0' && std::strchr("NEOMS", got.parity) != nullptr);
    FUZZ_CHECK(got.dataBits >= 5 && got.dataBits <= 8);
    FUZZ_CHECK(got.stopBitsTimesTwo >= 2 && got.stopBitsTimesTwo <= 4);
    const char* stop[] = {"1", "1.5", "2"};
    const std::string text = std::to_string(got.baud) + "," + got.parity + "," +
                             std::to_string(got.dataBits) + "," + stop[got.stopBitsTimesTwo - 2];
    ports::LineSettings again;
    FUZZ_CHECK(ports::ParseLineSettings(text.c_str(), &again));
    FUZZ_CHECK(again.baud == got.baud && again.parity == got.parity &&
               again.dataBits == got.dataBits && again.stopBitsTimesTwo == got.stopBitsTimesTwo);
    return 0;
}
