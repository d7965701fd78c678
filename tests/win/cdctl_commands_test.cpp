// cdctl setup, session, stats and ras run as processes, as a user runs them: what they write
// to the registry, what they print, and the exit codes, against the registered service and a
// simulated controller; and setup on a terminal with 32- and 64-bit applications.
#include <shlwapi.h>

#include <cstdio>
#include <set>
#include <string>

#include "framework/wide_text.h"
#include "so/device_config.h"
#include "tests/win/scratch_device.h"
#include "tools/client/drawer_client.h"
#include "tests/win/test_util.h"

namespace {

const std::string kDevice = "CdctlTestDevice";
constexpr char kSim[] = "SIMCDCTLTEST";

using testproc::Cdctl;
using testproc::Outcome;
using testproc::OutDir;
using testutil::RegValue;

bool Contains(const Outcome& run, const std::string& text) {
    return run.output.find(text) != std::string::npos;
}

#define EXPECT_PRINTS(run, text) \
    EXPECT_TRUE(Contains(run, text)) << "missing: " << (text) << "\noutput:\n" << (run).output

void WriteFileText(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

RegValue Read(const std::string& key, const char* name) {
    return testutil::ReadRegValue(HKEY_LOCAL_MACHINE, key, name);
}

bool KeyExists(const std::string& key, REGSAM view = 0) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &handle) != 0) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

std::string FileVersion(const std::string& path) {
    DWORD ignored = 0;
    std::string data(GetFileVersionInfoSizeA(path.c_str(), &ignored), '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    if (data.empty() ||
        !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(data.size()), &data[0]) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &size)) {
        return "(none)";
    }
    return std::to_string(HIWORD(info->dwProductVersionMS)) + "." +
           std::to_string(LOWORD(info->dwProductVersionMS)) + "." +
           std::to_string(HIWORD(info->dwProductVersionLS)) + "." +
           std::to_string(LOWORD(info->dwProductVersionLS));
}

// Each test starts without the device entry; the maker's key, which every device shares, is
// put back as it was.
class Commands : public ::testing::Test {
protected:
    void SetUp() override { RemoveDevice(); }
    void TearDown() override {
        RemoveDevice();
        if (!m_makerExisted) {
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMakerKey);
        } else if (m_makerPath.present) {
            testutil::WriteRegText(HKEY_LOCAL_MACHINE, kMakerKey, "Path", m_makerPath.text);
        } else {
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kMakerKey, "Path");
        }
    }
    static std::string Path() { return DeviceKeyPath(kDevice); }
    // In both registry views.
    static void RemoveDevice() {
        for (REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
            HKEY root = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDeviceKeyRoot, 0, KEY_ALL_ACCESS | view,
                              &root) == ERROR_SUCCESS) {
                RegDeleteTreeA(root, kDevice.c_str());
                RegDeleteKeyExA(root, kDevice.c_str(), view, 0);
                RegCloseKey(root);
            }
        }
    }
    // A device on the simulated controller, quick to notice status changes.
    void AddSimDevice(const std::string& more = "") {
        ASSERT_EQ(0u, Sim(kSim, "reset"));
        Outcome add = Cdctl("setup add " + kDevice + " Port=" + kSim +
                            " Trace_Enable=False DetectDelay_Time=20 Command_Timeout=1500 " + more);
        ASSERT_EQ(0u, add.code) << add.output;
    }

    const bool m_makerExisted = KeyExists(kMakerKey);
    const RegValue m_makerPath = Read(kMakerKey, "Path");
};

// --- setup --------------------------------------------------------------------------------

TEST_F(Commands, SetupAddWritesWhatIsGivenAndKeepsTheRest) {
    Outcome run = Cdctl("setup add " + kDevice +
                        " Port=COM3 DrawerNo=2 OpenDrawer_Timeout=250ms trace_enable=False");
    ASSERT_EQ(0u, run.code) << run.output;
    auto text = [](const RegValue& v) { return v.type == REG_SZ ? v.text : "<not REG_SZ>"; };
    EXPECT_EQ("OPOS.CashDrawer.Bramwick.1", text(Read(Path(), nullptr)));
    EXPECT_EQ("COM3", text(Read(Path(), "Port")));
    const RegValue drawer = Read(Path(), "DrawerNo");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), drawer.type);
    EXPECT_EQ(2u, drawer.number);
    // Not a plain number: kept as the text given, which the service reads as 250.
    EXPECT_EQ("250ms", text(Read(Path(), "OpenDrawer_Timeout")));
    EXPECT_PRINTS(run, "OpenDrawer_Timeout       250 ms");
    EXPECT_PRINTS(run, "Trace_Enable");  // the value name takes its documented spelling
    EXPECT_TRUE(KeyExists(Path() + "\\Stat"));
    const RegValue path = Read(kMakerKey, "Path");
    ASSERT_TRUE(path.present);
    EXPECT_EQ('\\', path.text.back());

    // A second add changes only what it names, and an existing Path stays.
    const char kKept[] = "C:\\Kept\\";
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, kMakerKey, "Path", kKept));
    Outcome again = Cdctl("setup add " + kDevice + " Port=");
    ASSERT_EQ(0u, again.code) << again.output;
    EXPECT_FALSE(Read(Path(), "Port").present);
    EXPECT_EQ(2u, Read(Path(), "DrawerNo").number);
    EXPECT_EQ(kKept, Read(kMakerKey, "Path").text);
    EXPECT_PRINTS(again, "(kept)");
    ASSERT_EQ(0u, Cdctl("setup add " + kDevice + " Path=D:\\POS").code);
    EXPECT_EQ("D:\\POS\\", Read(kMakerKey, "Path").text);

    // An unknown setting refuses the whole command line.
    Outcome bad = Cdctl("setup add " + kDevice + " DrawerNo=3 Prot=COM2");
    EXPECT_EQ(2u, bad.code);
    EXPECT_PRINTS(bad, "unknown setting 'Prot'. Valid settings: PortDll, Port,");
    EXPECT_EQ(2u, Read(Path(), "DrawerNo").number);
}

// The effective values themselves are cdctl_setup_values_test.cpp's.
TEST_F(Commands, SetupShowListAndRemove) {
    ASSERT_EQ(
        0u, Cdctl("setup add " + kDevice + " OpenDrawer_Timeout=100 Status_Mode=invert DrawerNo=7")
                .code);
    // A value setup does not know, as a misspelt setting would be.
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, Path(), "Comand_Timeout", "50"));

    Outcome show = Cdctl("setup show " + kDevice);
    ASSERT_EQ(0u, show.code) << show.output;
    EXPECT_PRINTS(show, "OpenDrawer_Timeout       100 (REG_DWORD)");
    EXPECT_PRINTS(show, "Status_Mode              \"invert\"");
    EXPECT_PRINTS(show, "DrawerNo                 7 (REG_DWORD)");
    EXPECT_PRINTS(show, "Stat subkey              present");
    EXPECT_PRINTS(show, "Comand_Timeout");
    EXPECT_PRINTS(show, "not read by the service");
    Outcome list = Cdctl("setup list");
    EXPECT_EQ(0u, list.code);
    EXPECT_PRINTS(list, kDevice);

    Outcome remove = Cdctl("setup remove " + kDevice);
    EXPECT_EQ(0u, remove.code) << remove.output;
    EXPECT_FALSE(Contains(remove, "warning")) << remove.output;  // no application has it open
    EXPECT_FALSE(KeyExists(Path()));
    EXPECT_TRUE(KeyExists(kMakerKey));
    EXPECT_EQ(1u, Cdctl("setup remove " + kDevice).code);
    EXPECT_EQ(1u, Cdctl("setup show " + kDevice).code);
}

// --- setup with 32- and 64-bit applications -----------------------------------------------

constexpr bool k64 = sizeof(void*) == 8;
// The registry view of the other bitness, and cdctl's option that names it.
constexpr REGSAM kOtherView = k64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr const char* kOtherViewOption = k64 ? "--32" : "--64";

TEST_F(Commands, EveryModuleAndCdctlCarryTheOneProductVersion) {
    const std::string version = FileVersion(OutDir() + "\\Bramwick.dll");
    for (const char* module : {"XTRLOG32.DLL", "ZeZAZ.dll", "cdctl.exe"}) {
        EXPECT_EQ(version, FileVersion(OutDir() + "\\" + module)) << module;
    }
    Outcome run = Cdctl("--version");
    EXPECT_EQ(0u, run.code) << run.output;
    EXPECT_PRINTS(run, "Bramwick " + version + (k64 ? " (x64)" : " (x86)"));
}

// Without an option cdctl writes the view its own bitness reads; a Path whose port library is
// of the other bitness is refused for a view, as the service of that view could not load it.
TEST_F(Commands, WritesItsOwnViewAndRefusesAPortLibraryOfTheOtherBitness) {
    ASSERT_EQ(0u, Cdctl("setup add " + kDevice + " Port=COM3").code);
    EXPECT_TRUE(KeyExists(Path(), k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY));
    EXPECT_FALSE(KeyExists(Path(), kOtherView));

    Outcome refused = Cdctl("setup " + std::string(kOtherViewOption) + " add " + kDevice +
                            " Port=COM3 \"Path=" + OutDir() + "\"");
    EXPECT_EQ(3u, refused.code) << refused.output;
    EXPECT_PRINTS(refused, std::string("ZeZAZ.dll is a ") + (k64 ? "64" : "32") + "-bit DLL");
    EXPECT_FALSE(KeyExists(Path(), kOtherView));
}

TEST_F(Commands, ShowNamesTheRegsvr32OfTheView) {
    if (!k64) GTEST_SKIP() << "the tier registers the x86 and the x64 service: no view lacks it";
    ScratchDevice device(kDevice, true, {KEY_WOW64_32KEY});
    Outcome show = Cdctl("setup --32 show " + kDevice);
    EXPECT_EQ(0u, show.code) << show.output;
    char regsvr32[MAX_PATH] = {};
    GetSystemWindowsDirectoryA(regsvr32, MAX_PATH);
    strcat(regsvr32, "\\SysWOW64\\regsvr32.exe");
    EXPECT_NE(nullptr, StrStrIA(show.output.c_str(), regsvr32)) << show.output;
}

TEST_F(Commands, AddRefusesADeviceOfAnotherMakerUnlessForced) {
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, Path(), nullptr, "OPOS.CashDrawer.X.1"));
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, Path(), "Port", "COM9"));
    Outcome refused = Cdctl("setup add " + kDevice + " Port=COM3");
    EXPECT_EQ(3u, refused.code) << refused.output;
    EXPECT_PRINTS(refused, "\"OPOS.CashDrawer.X.1\". Nothing was written; --force");
    EXPECT_EQ("COM9", Read(Path(), "Port").text);

    Outcome forced = Cdctl("setup add --force " + kDevice + " Port=COM3");
    EXPECT_EQ(0u, forced.code) << forced.output;
    EXPECT_EQ("OPOS.CashDrawer.Bramwick.1", Read(Path(), nullptr).text);
    EXPECT_EQ("COM3", Read(Path(), "Port").text);
}

TEST_F(Commands, RemoveWarnsWhileAnApplicationHasTheDeviceOpen) {
    testutil::ComApartment com;
    ScratchDevice device(kDevice);
    device.SetMakerPath(0, OutDir());
    DrawerClient drawer;
    ASSERT_HR(S_OK, drawer.Create());
    ASSERT_EQ(OPOS_SUCCESS, drawer.Open(kDevice));
    Outcome open = Cdctl("setup remove " + kDevice);
    EXPECT_EQ(0u, open.code) << open.output;
    EXPECT_PRINTS(open, "warning: " + kDevice + " is open");
    EXPECT_FALSE(KeyExists(Path()));
    drawer.Long(L"Close");
}

// A device name in characters no ANSI code page holds reaches the registry and the service as
// it was typed.
TEST_F(Commands, DeviceNamesInAnyScript) {
    const std::string name = fw::WideToUtf8(L"\u30c9\u30ed\u30ef\u00e4");
    const std::wstring key = fw::Utf8ToWide(DeviceKeyPath(name));
    ASSERT_EQ(0u, Sim(kSim, "reset"));
    Outcome add = Cdctl("setup add " + name + " Port=" + kSim + " Trace_Enable=False");
    EXPECT_PRINTS(add, DeviceKeyPath(name) + " (created)");
    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened));
    RegCloseKey(opened);
    Outcome session = Cdctl("session " + name + " open close");
    EXPECT_EQ(0u, session.code) << session.output;
    EXPECT_EQ(0u, Cdctl("setup remove " + name).code);
    EXPECT_NE(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str())) << "not removed";
}

// --- session --------------------------------------------------------------------------------

TEST_F(Commands, SessionOpensTheDrawerAndPrintsItsEvents) {
    AddSimDevice();
    // Statistics requests keep their equals signs.
    Outcome run = Cdctl("session " + kDevice +
                        " open claim:1000 enable opendrawer wait-events:1,10000 health:1 "
                        "updatestats:DrawerGoodOpenCount=41 updatestats:HoursPoweredCount=5 "
                        "expect:OPOS_E_ILLEGAL stats:DrawerGoodOpenCount props release close");
    EXPECT_EQ(0u, run.code) << run.output;
    EXPECT_PRINTS(run, "open -> 0 OPOS_SUCCESS");
    EXPECT_PRINTS(run, "opendrawer -> 0 OPOS_SUCCESS");
    EXPECT_PRINTS(run, "] StatusUpdate 1 (CASH_SUE_DRAWEROPEN)");
    EXPECT_PRINTS(run, "CheckHealthText \"Internal HCheck: Successful\"");
    EXPECT_PRINTS(run, "<Name>DrawerGoodOpenCount</Name>");
    EXPECT_PRINTS(run, "<Value>41</Value>");
    EXPECT_PRINTS(run, "DrawerOpened                 1");
    EXPECT_PRINTS(run, "close -> 0 OPOS_SUCCESS");
}

TEST_F(Commands, SessionExitCodeIsTheFirstUnexpectedResult) {
    AddSimDevice();
    // Not enabled: the service refuses, and the rest is not run. The refusal is an error: it
    // goes to standard error, the rest of the transcript to standard output.
    Outcome refused = Cdctl("session " + kDevice + " open opendrawer claim:0");
    EXPECT_EQ(105u, refused.code) << refused.output;
    EXPECT_PRINTS(refused, "asked for 0 OPOS_SUCCESS");
    EXPECT_FALSE(Contains(refused, "claim:0 ->")) << refused.output;
    EXPECT_PRINTS(refused, "closing the service the steps left open");
    testproc::Process quiet("cmd /c \"\"" + testproc::OutDir() + "\\cdctl.exe\" session " +
                                kDevice + " open opendrawer claim:0 2>nul\"",
                            true);
    quiet.Wait();
    EXPECT_NE(std::string::npos, quiet.output().find("open -> 0")) << quiet.output();
    EXPECT_EQ(std::string::npos, quiet.output().find("opendrawer ->")) << quiet.output();

    // Asked for, the refusal passes; an unexpected success is 3.
    EXPECT_EQ(0u, Cdctl("session " + kDevice + " open opendrawer=105 close").code);
    EXPECT_EQ(3u, Cdctl("session " + kDevice + " open=OPOS_E_FAILURE").code);
    // A script that does not parse runs nothing.
    Outcome bad = Cdctl("session " + kDevice + " open claim:soon close");
    EXPECT_EQ(2u, bad.code);
    EXPECT_PRINTS(bad, "step 2 'claim:soon'");
    EXPECT_FALSE(Contains(bad, "open ->")) << bad.output;

    // --keep-going runs every step and still reports the first failure.
    Outcome all =
        Cdctl("session --keep-going " + kDevice + " open opendrawer health:1 directio:109 close");
    EXPECT_EQ(105u, all.code) << all.output;
    EXPECT_PRINTS(all, "directio:109 -> 106 OPOS_E_ILLEGAL");
    EXPECT_PRINTS(all, "close -> 0 OPOS_SUCCESS");

    // A drawer left open sends no open event: a wait for one cannot end, and cdctl says why.
    ASSERT_EQ(0u, Sim(kSim, "open 1"));
    Outcome open = Cdctl("session " + kDevice + " open enable opendrawer wait-events:1,300 close");
    EXPECT_EQ(112u, open.code) << open.output;
    EXPECT_PRINTS(open, "drawer already open");
}

TEST_F(Commands, SessionReportsWhyTheOpenFailed) {
    // No device entry: a control object finds no service.
    Outcome missing = Cdctl("session " + kDevice + " open");
    EXPECT_EQ(109u, missing.code) << missing.output;
    EXPECT_PRINTS(missing, "cdctl setup add");
    // The service itself, created by ProgID, reports OpenResult 403.
    Outcome direct =
        Cdctl("session --progid OPOS.CashDrawer.Bramwick.1 " + kDevice + " open=OPOS_E_NOEXIST");
    EXPECT_EQ(0u, direct.code) << direct.output;
    EXPECT_PRINTS(direct, "OpenResult 403:");

    // The drawer does not answer the status command.
    AddSimDevice();
    ASSERT_EQ(0u, Sim(kSim, "answer off"));
    Outcome silent = Cdctl("session " + kDevice + " open");
    EXPECT_EQ(111u, silent.code) << silent.output;
    EXPECT_PRINTS(silent, "OpenResult 456:");
    // A missing Stat subkey stops the statistics.
    ASSERT_EQ(0u, Sim(kSim, "answer on"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, (Path() + "\\Stat").c_str()));
    Outcome noStat = Cdctl("session " + kDevice + " open");
    EXPECT_EQ(109u, noStat.code) << noStat.output;
    EXPECT_PRINTS(noStat, "OpenResult 455:");
}

// Five ways for the port not to open, all OpenResult 456: the session and setup show find the
// same cause, and a different one for each.
TEST_F(Commands, EachPortFailureNamesItsCause) {
    const std::string out = testproc::OutDir();
    struct Case {
        std::string settings;  // for setup add, after a working simulator device
        std::string cause;     // in the "cause:" line
    };
    const Case cases[] = {
        {"PortDll=BramwickNoSuchPort.dll", "BramwickNoSuchPort.dll\" does not exist"},
        {"Path=", "does not end with a backslash"},  // Path is then written by hand
        {"Port=COM97", "there is no port COM97"},
        {"Port_Initialize_String=19200,X,8,1", "\"19200,X,8,1\" is not a valid"},
        {"Port=SIM" + std::string(62, 'L'), "longer than 64 characters"},
    };
    std::set<std::string> causes;
    for (const Case& c : cases) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, Path().c_str());
        AddSimDevice("\"Path=" + out + "\"");
        ASSERT_EQ(0u, Cdctl("setup add " + kDevice + " " + c.settings).code) << c.settings;
        if (c.settings == "Path=") {
            ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, kMakerKey, "Path", out));
        }
        Outcome run = Cdctl("session " + kDevice + " open=111");
        EXPECT_EQ(0u, run.code) << run.output;
        EXPECT_PRINTS(run, "OpenResult 456");
        const size_t at = run.output.find("cause: ");
        ASSERT_NE(std::string::npos, at) << run.output;
        const std::string cause = run.output.substr(at + 7, run.output.find('\n', at) - at - 7);
        EXPECT_NE(std::string::npos, cause.find(c.cause)) << c.settings << "\n" << run.output;
        causes.insert(cause);
        Outcome show = Cdctl("setup show " + kDevice);
        EXPECT_PRINTS(show, cause);
    }
    EXPECT_EQ(5u, causes.size());
}

// --- stats and ras ------------------------------------------------------------------------

TEST_F(Commands, StatsPrintsTheDocumentAlone) {
    AddSimDevice();
    Outcome run = Cdctl("stats " + kDevice + " U_");
    EXPECT_EQ(0u, run.code) << run.output;
    EXPECT_EQ(0u, run.output.find("<?xml version= '1.0' ?>")) << run.output;
    EXPECT_PRINTS(run, "<Name>DrawerFailedOpenCount</Name>");
    EXPECT_FALSE(Contains(run, "OPOS_SUCCESS"));
    EXPECT_FALSE(Contains(run, "\r\r"));
    EXPECT_EQ(106u, Cdctl("stats " + kDevice + " NoSuchStatistic").code);
}

TEST_F(Commands, RasCounterRoundTripsThroughTheCounterFile) {
    // Off by default: cdctl suggests a mode that outlives it, and refusals say what to do.
    AddSimDevice();
    Outcome off = Cdctl("ras " + kDevice + " counter");
    EXPECT_EQ(0u, off.code) << off.output;
    EXPECT_PRINTS(off, "counter mode File --store");
    Outcome refused = Cdctl("ras " + kDevice + " counter set 5");
    EXPECT_EQ(106u, refused.code) << refused.output;
    EXPECT_PRINTS(refused, "hint: ");
    EXPECT_PRINTS(refused, "counter mode File --store");

    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "cdctl_test_counter.log";
    DeleteFileA(file.c_str());
    AddSimDevice("Statistics=File \"StatFileName=" + file + "\"");

    Outcome set = Cdctl("ras " + kDevice + " counter set 1200");
    EXPECT_EQ(0u, set.code) << set.output;
    EXPECT_PRINTS(set, "DrawerOpenCount set to 1200");
    // The counter file outlives the session that wrote it; the next one reads it.
    Outcome show = Cdctl("ras " + kDevice + " counter");
    EXPECT_EQ(0u, show.code) << show.output;
    EXPECT_PRINTS(show, "counter mode 2 (File)");
    EXPECT_PRINTS(show, "counter file " + file);
    EXPECT_PRINTS(show, "DrawerOpenCount 1200");

    Outcome level = Cdctl("ras " + kDevice + " level Verbose9");
    EXPECT_EQ(106u, level.code) << level.output;
    EXPECT_PRINTS(level, "VerboseLimit");
    // A file that holds no counter lines is refused with what a line looks like.
    const std::string bad = std::string(temp) + "cdctl_test_not_counters.txt";
    WriteFileText(bad, "DrawerOpenCount=7\r\n");
    Outcome load = Cdctl("ras " + kDevice + " load " + bad);
    EXPECT_EQ(106u, load.code) << load.output;
    EXPECT_PRINTS(load, "40 characters");
    DeleteFileA(bad.c_str());
    DeleteFileA(file.c_str());
}

}  // namespace
