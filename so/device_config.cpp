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
     "to sned command for drawer open"},
};

}  // namespace

int32_t CorrectCommandTimeout(int32_t v) {
    return v < 100 ? 6000 : v;
}
int32_t CorrectOpenDrawerTimeout(int32_t v) {
    return v <= 100 ? 3000 : v;
}
int32_t CorrectDrawerNo(int32_t v) {
    return v == 1 || v == 2 ? v : 1;
}
int32_t CorrectDetectDelay(int32_t v) {
    return v < 0 ? 300 : v;
}
int32_t CorrectSendReadyTimeout(int32_t v) {
    return v < 100 ? 3000 : v;
}
int32_t CorrectSendDoneTimeout(int32_t v) {
    return v < 100 ? 6000 : v;
}
int32_t CorrectRestartCount(int32_t v) {
    return v < 0 ? 3 : v;
}
int32_t CorrectRestartTimeout(int32_t v) {
    return v < 0 ? 3000 : v;
}

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
    c.portDll = key.GetStringOr("PortDll", kDefaultPortDll);
    c.port = key.GetStringOr("Port", "");
    c.portInitializeString = key.GetStringOr("Port_Initialize_String", kDefaultPortSettings);
    c.eventLogPortName = key.GetStringOr("EventLogPortName", "");
    {
        std::unique_ptr<char[]> mode(key.GetString("EventLog"));
        c.eventLogMode = EventLogModeFromText(mode.get());
    }
    c.dllMode = key.GetLongDefZero("DllMode");
    c.noDwOpenAtChkExt = key.GetBoolDefFalse("NoDwOpenAtChkExt");
    c.traceEnable = key.GetBoolDefTrue("Trace_Enable");
    c.traceTick = key.GetBoolDefFalse("Trace_Tick");
    c.commandTimeout = CorrectCommandTimeout(key.GetLongDefZero("Command_Timeout"));
    c.openDrawerTimeout = CorrectOpenDrawerTimeout(key.GetLongDefZero("OpenDrawer_Timeout"));
    c.drawerNo = CorrectDrawerNo(key.GetLongDefZero("DrawerNo"));
    c.detectDelayTime = CorrectDetectDelay(key.GetLongDefMinusOne("DetectDelay_Time"));
    c.sendReadyTimeout = CorrectSendReadyTimeout(key.GetLongDefZero("SendReady_Timeout"));
    c.sendDoneTimeout = CorrectSendDoneTimeout(key.GetLongDefZero("SendDone_Timeout"));
    c.commandType = EqualsNoCase(TrimBlanks(key.GetStringOr("CommandType", "")), "Solenoid")
                        ? CommandType::Solenoid
                        : CommandType::Normal;
    c.pulseWidthTime = static_cast<uint8_t>(key.GetLongDefZero("PulseWidthTime") & 0xFF);
    c.restartHardwareId = TrimBlanks(key.GetStringOr("RestartHardwareID", ""));
    c.restartCount = CorrectRestartCount(key.GetLongDefMinusOne("RestartCount"));
    c.restartTimeout = CorrectRestartTimeout(key.GetLongDefMinusOne("RestartTimeout"));
    // Compared as stored: a blank before the word means normal status.
    c.statusInvert = EqualsNoCase(key.GetStringOr("Status_Mode", ""), "Invert");
    return c;
}

DrawerCommand BuildOpenCommand(int32_t drawerNo, CommandType type, uint8_t pulseWidth) {
    DrawerCommand c;
    c.bytes[0] = 0x1B;
    c.bytes[1] = 0x01;
    c.bytes[2] = static_cast<uint8_t>(CorrectDrawerNo(drawerNo) - 1);
    c.length = 3;
    if (type == CommandType::Solenoid) c.bytes[c.length++] = pulseWidth;
    return c;
}

DrawerCommand BuildStatusCommand(CommandType type) {
    DrawerCommand c;
    c.bytes[0] = 0x1B;
    c.bytes[1] = 0x02;
    c.bytes[2] = 0x01;
    c.length = 3;
    if (type == CommandType::Solenoid) c.bytes[c.length++] = 0x00;
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
