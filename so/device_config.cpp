// Device configuration rules, drawer commands and operation texts.
#include "so/device_config.h"

#include <memory>

#include "util/config_rules.h"

namespace {

// {Japanese in code page 932, English}.
const char* const kOperationTexts[kOperationTextCount][2] = {
    {"\x83L\x83\x83\x83"
     "b\x83V\x83\x85\x83h\x83\x8D\x83\x8F",  // キャッシュドロワ
     "Cash Drawer"},
    {"\x83h\x83\x8D\x83\x8F\x83I\x81[\x83v\x83\x93",  // ドロワオープン
     "Opening Drawer"},
    {"\x92\xE2\x93"
     "d\x82\xC9\x82\xE6\x82\xE8\x83h\x83\x8D\x83\x8F\x83I\x81["
     "\x83v\x83\x93",  // 停電によりドロワオープン
     "Opening Drawer"},
    {"\x8A\xC4\x8E\x8B\x83X\x83\x8C\x83"
     "b\x83h\x8BN\x93\xAE",  // 監視スレッド起動
     "to create Input thread"},
    {"\x83"
     "C\x83x\x83\x93\x83g\x92\xCA\x92m\x83X\x83\x8C\x83"
     "b\x83h\x8BN\x93\xAE",  // イベント通知スレッド起動
     "to create Event thread"},
    {"\x92\xE2\x93"
     "d\x92\xCA\x92m\x83X\x83\x8C\x83"
     "b\x83h\x8BN\x93\xAE",  // 停電通知スレッド起動
     "to create Power Fail thread"},
    {"\x8F\xF3\x91\xD4\x8E\xE6\x93\xBE\x83R\x83}"
     "\x83\x93\x83h\x91\x97\x90M",  // 状態取得コマンド送信
     "to send status command"},
    {"\x8Fo\x97\xCD\x83X\x83\x8C\x83"
     "b\x83h\x8BN\x93\xAE",  // 出力スレッド起動
     "to create Output thread"},
    {"COM\x83|\x81[\x83g\x8F\x89\x8A\xFA\x90\xDD\x92\xE8",  // COMポート初期設定
     "to initialize COM port"},
    {"\x83h\x83\x8D\x83\x8F\x83I\x81[\x83v\x83\x93\x83R\x83}"
     "\x83\x93\x83h\x91\x97\x90M",  // ドロワオープンコマンド送信
     // "sned" is the system's own text, as it appears in event-log records: it must stay.
     "to sned command for drawer open"},
};

// What a rule makes of a number: the value used and, when that is not the value read, why.
struct Corrected {
    int32_t value;
    const char* reason = nullptr;
    bool toDefault = false;  // a value out of range takes the default, as a missing one does
};

Corrected Keep(int32_t v) {
    return {v};
}
Corrected Default(int32_t value, const char* reason) {
    return {value, reason, true};
}

// A wait in milliseconds: a value below lowest takes the default, as the configuration rules
// have it; one above the longest wait is cut to it.
Corrected Wait(int32_t v, int32_t lowest, int32_t fallback, const char* tooShort) {
    if (v < lowest) return Default(fallback, tooShort);
    if (v > kMaxWaitMs) return {kMaxWaitMs, "above 60000: the longest wait"};
    return Keep(v);
}
Corrected CommandTimeout(int32_t v) {
    return Wait(v, 100, 6000, "below 100: the default");
}
Corrected OpenDrawerTimeout(int32_t v) {
    return Wait(v, 101, 3000, "100 or less: the default");
}
Corrected SendReadyTimeout(int32_t v) {
    return Wait(v, 100, 3000, "below 100: the default");
}
Corrected SendDoneTimeout(int32_t v) {
    return Wait(v, 100, 6000, "below 100: the default");
}
Corrected DrawerNo(int32_t v) {
    return v == 1 || v == 2 ? Keep(v) : Default(1, "not 1 or 2: drawer 1");
}
Corrected RestartCount(int32_t v) {
    return v < 0 ? Default(3, "negative: the default") : Keep(v);
}
Corrected RestartTimeout(int32_t v) {
    return v < 0 ? Default(3000, "negative: the default") : Keep(v);
}
Corrected DllMode(int32_t v) {
    // 0 and negative values ask for no queries at all.
    if (v > 0 && v < kMinStatusQueryPeriodMs) {
        return {kMinStatusQueryPeriodMs, "1 to 99: a status query at most every 100 ms"};
    }
    return Keep(v);
}
Corrected PulseWidth(int32_t v) {
    const int32_t low = v & 0xFF;
    return low == v ? Keep(v) : Corrected{low, "only the low 8 bits are used"};
}
// The reader waits this long before it decodes a status, so a delay that is not well inside
// both waits for a status makes every open and every OpenDrawer fail.
Corrected DetectDelay(int32_t v, int32_t commandTimeout, int32_t openDrawerTimeout) {
    const int32_t limit =
        (commandTimeout < openDrawerTimeout ? commandTimeout : openDrawerTimeout) - 100;
    const int32_t delay = v < 0 ? 300 : v;
    if (delay > limit) {
        return {limit, "at most the shorter of Command_Timeout and OpenDrawer_Timeout less 100"};
    }
    return v < 0 ? Default(300, "negative: the default") : Keep(v);
}

// Reads the number settings and applies their rules, noting every value they change.
class Numbers {
public:
    Numbers(const ConfigSource& key, std::vector<ConfigCorrection>* log) : m_key(key), m_log(log) {}

    // absent: what a missing value reads as, 0 or -1.
    int32_t Read(const char* name, int32_t absent) const {
        return absent == 0 ? m_key.GetLongDefZero(name) : m_key.GetLongDefMinusOne(name);
    }
    int32_t Read(const char* name, int32_t absent, Corrected (*rule)(int32_t)) const {
        const int32_t stored = Read(name, absent);
        return Apply(name, stored, absent, rule(stored));
    }
    int32_t Apply(const char* name, int32_t stored, int32_t absent, const Corrected& c) const {
        // A missing value that takes its default is no correction.
        if (c.reason != nullptr && !(c.toDefault && stored == absent)) {
            m_log->push_back({name, c.reason});
        }
        return c.value;
    }

private:
    const ConfigSource& m_key;
    std::vector<ConfigCorrection>* m_log;
};

}  // namespace

int32_t EventLogModeFromText(const char* text) {
    if (text == nullptr) return 0;
    std::string word = TrimBlanks(text);
    if (EqualsNoCase(word, "Disable")) return 0;
    if (EqualsNoCase(word, "Enable")) return 1;
    return 2;
}

std::string DeviceKeyPath(const std::string& deviceName) {
    return std::string(kDeviceKeyRoot) + "\\" + deviceName;
}

DeviceConfig ReadDeviceConfig(const ConfigSource& key) {
    DeviceConfig c;
    const Numbers numbers(key, &c.corrections);
    c.portDll = key.GetStringOr("PortDll", kDefaultPortDll);
    c.port = key.GetStringOr("Port", "");
    c.portInitializeString = key.GetStringOr("Port_Initialize_String", kDefaultPortSettings);
    c.eventLogPortName = key.GetStringOr("EventLogPortName", "");
    {
        std::unique_ptr<char[]> mode(key.GetString("EventLog"));
        c.eventLogMode = EventLogModeFromText(mode.get());
    }
    c.dllMode = numbers.Read("DllMode", 0, DllMode);
    c.noDwOpenAtChkExt = key.GetBoolDefFalse("NoDwOpenAtChkExt");
    c.traceEnable = key.GetBoolDefTrue("Trace_Enable");
    c.traceTick = key.GetBoolDefFalse("Trace_Tick");
    c.commandTimeout = numbers.Read("Command_Timeout", 0, CommandTimeout);
    c.openDrawerTimeout = numbers.Read("OpenDrawer_Timeout", 0, OpenDrawerTimeout);
    c.drawerNo = numbers.Read("DrawerNo", 0, DrawerNo);
    const int32_t detectDelay = numbers.Read("DetectDelay_Time", -1);
    c.detectDelayTime =
        numbers.Apply("DetectDelay_Time", detectDelay, -1,
                      DetectDelay(detectDelay, c.commandTimeout, c.openDrawerTimeout));
    c.sendReadyTimeout = numbers.Read("SendReady_Timeout", 0, SendReadyTimeout);
    c.sendDoneTimeout = numbers.Read("SendDone_Timeout", 0, SendDoneTimeout);
    c.commandType = EqualsNoCase(TrimBlanks(key.GetStringOr("CommandType", "")), "Solenoid")
                        ? CommandType::Solenoid
                        : CommandType::Normal;
    c.pulseWidthTime = static_cast<uint8_t>(numbers.Read("PulseWidthTime", 0, PulseWidth));
    c.restartHardwareId = TrimBlanks(key.GetStringOr("RestartHardwareID", ""));
    c.restartCount = numbers.Read("RestartCount", -1, RestartCount);
    c.restartTimeout = numbers.Read("RestartTimeout", -1, RestartTimeout);
    // Compared as stored: a blank before the word means normal status.
    c.statusInvert = EqualsNoCase(key.GetStringOr("Status_Mode", ""), "Invert");
    return c;
}

DrawerCommand BuildOpenCommand(int32_t drawerNo, CommandType type, uint8_t pulseWidth) {
    DrawerCommand c;
    c.bytes[0] = kFrameStart;
    c.bytes[1] = kCommandOpen;
    c.bytes[2] = static_cast<uint8_t>(DrawerNo(drawerNo).value - 1);
    c.length = 3;
    if (type == CommandType::Solenoid) c.bytes[c.length++] = pulseWidth;
    return c;
}

DrawerCommand BuildStatusCommand(CommandType type) {
    DrawerCommand c;
    c.bytes[0] = kFrameStart;
    c.bytes[1] = kCommandStatus;
    c.bytes[2] = kStatusSelector;
    c.length = 3;
    if (type == CommandType::Solenoid) c.bytes[c.length++] = kSolenoidStatusPad;
    return c;
}

const char* ClaimMutexName(int32_t drawerNo) {
    return drawerNo == 2 ? "Vantrel CashDrawer2 Claimed" : "Vantrel CashDrawer Claimed";
}

int32_t LanguageForCodePage(uint32_t ansiCodePage) {
    return ansiCodePage == 932 ? 0 : 1;
}

const char* OperationTextFor(int index, int32_t language) {
    if (index < 0 || index >= kOperationTextCount) return "";
    return kOperationTexts[index][language == 0 ? 0 : 1];
}
