// cdctl run as a user runs it: what it writes to the registry, and its exit codes.

#include <set>
#include <string>

#include "framework/handles.h"
#include "framework/wide_text.h"
#include "server/server_registry.h"
#include "so/device_config.h"
#include "tests/win/sim_control.h"
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

RegValue Read(const std::string& key, const char* name) {
    return testutil::ReadRegValue(HKEY_LOCAL_MACHINE, key, name);
}

bool KeyExists(const std::string& key, REGSAM view = 0) {
    fw::UniqueHKey handle;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, handle.put()) == 0;
}

// Each test starts without the device entry; the maker's shared key is put back as it was.
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

TEST_F(Commands, SetupWritesWhatIsGivenKeepsTheRestAndRefusesBadInputWhole) {
    ASSERT_EQ(
        0u, Cdctl("setup add " + kDevice + " Port=COM3 DrawerNo=2 OpenDrawer_Timeout=250ms").code);
    EXPECT_EQ(kProgId, Read(Path(), nullptr).text);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), Read(Path(), "DrawerNo").type);
    EXPECT_EQ(2u, Read(Path(), "DrawerNo").number);
    EXPECT_EQ("250ms", Read(Path(), "OpenDrawer_Timeout").text);  // not a plain number: text
    EXPECT_TRUE(KeyExists(Path() + "\\Stat"));
    ASSERT_TRUE(Read(kMakerKey, "Path").present);
    EXPECT_EQ('\\', Read(kMakerKey, "Path").text.back());

    // A second add changes only what it names, and an existing Path stays.
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, kMakerKey, "Path", "C:\\Kept\\"));
    ASSERT_EQ(0u, Cdctl("setup add " + kDevice + " Port=").code);
    EXPECT_FALSE(Read(Path(), "Port").present);
    EXPECT_EQ(2u, Read(Path(), "DrawerNo").number);
    EXPECT_EQ("C:\\Kept\\", Read(kMakerKey, "Path").text);

    // A bad argument anywhere refuses the whole command line.
    for (const char* bad : {" DrawerNo=3 Prot=COM2", " DrawerNo=3 Port"}) {
        EXPECT_EQ(2u, Cdctl("setup add " + kDevice + bad).code) << bad;
        EXPECT_EQ(2u, Read(Path(), "DrawerNo").number) << bad;
    }

    EXPECT_EQ(0u, Cdctl("setup remove " + kDevice).code);
    EXPECT_FALSE(KeyExists(Path()));
    EXPECT_TRUE(KeyExists(kMakerKey));
    EXPECT_EQ(1u, Cdctl("setup remove " + kDevice).code);
    EXPECT_EQ(1u, Cdctl("setup show " + kDevice).code);
    // A device of another maker is refused unless forced.
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, Path(), nullptr, "OPOS.CashDrawer.X.1"));
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, Path(), "Port", "COM9"));
    EXPECT_EQ(3u, Cdctl("setup add " + kDevice + " Port=COM3").code);
    EXPECT_EQ("COM9", Read(Path(), "Port").text);
    EXPECT_EQ(0u, Cdctl("setup add --force " + kDevice + " Port=COM3").code);
    EXPECT_EQ(kProgId, Read(Path(), nullptr).text);
    EXPECT_EQ("COM3", Read(Path(), "Port").text);
}

// --purge deletes the counter file; the folder it was named in is the user's and stays.
TEST_F(Commands, PurgeDeletesTheCounterFileAndKeepsTheUsersFolder) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "cdctl_purge_test";
    const std::string file = folder + "\\drawer.cnt";
    CreateDirectoryA(folder.c_str(), nullptr);
    testutil::WriteWholeFile(file, "DrawerOpenCount                      5\r\n");
    ASSERT_EQ(
        0u, Cdctl("setup add " + kDevice + " Statistics=File \"StatFileName=" + file + "\"").code);
    Outcome purge = Cdctl("setup remove --purge " + kDevice);
    EXPECT_EQ(0u, purge.code) << purge.output;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(file.c_str())) << purge.output;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.c_str())) << purge.output;
    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
}

// A device name in characters no ANSI code page holds reaches the registry and the service as
// it was typed.
TEST_F(Commands, DeviceNamesInAnyScript) {
    const std::string name = fw::WideToUtf8(L"\u30c9\u30ed\u30ef\u00e4");
    const std::wstring key = fw::Utf8ToWide(DeviceKeyPath(name));
    ASSERT_EQ(0u, Sim(kSim, "reset"));
    EXPECT_EQ(0u, Cdctl("setup add " + name + " Port=" + kSim + " Trace_Enable=False").code);
    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened));
    RegCloseKey(opened);
    EXPECT_EQ(0u, Cdctl("session " + name + " open close").code);
    EXPECT_EQ(0u, Cdctl("setup remove " + name).code);
    EXPECT_NE(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str())) << "not removed";
}

// --- setup with 32- and 64-bit applications -----------------------------------------------

constexpr bool k64 = sizeof(void*) == 8;
// The registry view of the other bitness, and cdctl's option that names it.
constexpr REGSAM kOtherView = k64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr const char* kOtherViewOption = k64 ? "--32" : "--64";

// Without an option cdctl writes the view its own bitness reads; a Path whose port library is
// of the other bitness is refused for a view, as the service of that view could not load it.
TEST_F(Commands, WritesItsOwnViewAndRefusesAPortLibraryOfTheOtherBitness) {
    ASSERT_EQ(0u, Cdctl("setup add " + kDevice + " Port=COM3").code);
    EXPECT_TRUE(KeyExists(Path(), k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY));
    EXPECT_FALSE(KeyExists(Path(), kOtherView));
    EXPECT_EQ(3u, Cdctl("setup " + std::string(kOtherViewOption) + " add " + kDevice +
                        " Port=COM3 \"Path=" + OutDir() + "\"")
                      .code);
    EXPECT_FALSE(KeyExists(Path(), kOtherView));
}

// --- session, stats and ras -----------------------------------------------------------------

TEST_F(Commands, SessionRunsTheStepsAndItsExitCodeIsTheFirstUnexpectedResult) {
    AddSimDevice();
    Outcome run = Cdctl("session " + kDevice +
                        " open claim:1000 enable opendrawer wait-events:1,10000 "
                        "updatestats:DrawerGoodOpenCount=41 updatestats:HoursPoweredCount=5 "
                        "expect:OPOS_E_ILLEGAL stats:DrawerGoodOpenCount props release close");
    EXPECT_EQ(0u, run.code) << run.output;
    EXPECT_PRINTS(run, "<Value>41</Value>");

    // Not enabled: the service refuses and the rest is not run.
    const Outcome refused = Cdctl("session " + kDevice + " open opendrawer claim:0");
    EXPECT_EQ(105u, refused.code);
    EXPECT_FALSE(Contains(refused, "claim:0 ->")) << refused.output;

    EXPECT_EQ(3u, Cdctl("session " + kDevice + " open expect:OPOS_E_FAILURE").code);
    // A script that does not parse runs nothing.
    Outcome unparsed = Cdctl("session " + kDevice + " open opendrawer=105");
    EXPECT_EQ(2u, unparsed.code);
    EXPECT_FALSE(Contains(unparsed, "open ->")) << unparsed.output;
    // --keep-going runs every step and still reports the first failure.
    Outcome all = Cdctl("session --keep-going " + kDevice + " open opendrawer directio:109 close");
    EXPECT_EQ(105u, all.code) << all.output;
    EXPECT_PRINTS(all, "close -> 0");

    // A drawer left open sends no open event: a wait for one cannot end.
    ASSERT_EQ(0u, Sim(kSim, "open 1"));
    Outcome open = Cdctl("session " + kDevice + " open enable opendrawer wait-events:1,300 close");
    EXPECT_EQ(112u, open.code) << open.output;
}

TEST_F(Commands, StatsAndPropsRefusalsAndWhyTheOpenFailed) {
    EXPECT_EQ(109u, Cdctl("session " + kDevice + " open").code);  // no device entry
    AddSimDevice();
    EXPECT_EQ(106u, Cdctl("stats " + kDevice + " NoSuchStatistic").code);
    EXPECT_EQ(2u, Cdctl("props").code);
    // A missing Stat subkey stops the statistics.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, (Path() + "\\Stat").c_str()));
    EXPECT_PRINTS(Cdctl("session " + kDevice + " open expect:109"), "OpenResult 455");
}

// Five ways for the port not to open, all OpenResult 456: the session and setup show find the
// same cause, and a different one for each.
TEST_F(Commands, EachPortFailureNamesItsCause) {
    const std::string out = OutDir();
    const std::pair<std::string, std::string> cases[] = {
        // settings for setup add after a working simulator device, and what the cause names
        {"PortDll=BramwickNoSuchPort.dll", "BramwickNoSuchPort.dll"},
        {"Path=", "backslash"},  // Path is then written by hand, without its backslash
        {"Port=COM97", "COM97"},
        {"Port_Initialize_String=19200,X,8,1", "19200,X,8,1"},
        {"Port=SIM" + std::string(62, 'L'), "64"},
    };
    std::set<std::string> causes;
    for (const auto& [settings, names] : cases) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, Path().c_str());
        AddSimDevice("\"Path=" + out + "\"");
        ASSERT_EQ(0u, Cdctl("setup add " + kDevice + " " + settings).code) << settings;
        if (settings == "Path=") {
            ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, kMakerKey, "Path", out));
        }
        Outcome run = Cdctl("session " + kDevice + " open expect:111");
        EXPECT_EQ(0u, run.code) << run.output;
        const size_t at = run.output.find("cause: ");
        ASSERT_NE(std::string::npos, at) << run.output;
        const std::string cause = run.output.substr(at + 7, run.output.find('\n', at) - at - 7);
        EXPECT_NE(std::string::npos, cause.find(names)) << settings << "\n" << run.output;
        causes.insert(cause);
        EXPECT_PRINTS(Cdctl("setup show " + kDevice), cause);
    }
    EXPECT_EQ(std::size(cases), causes.size());
}

TEST_F(Commands, RasCounterRoundTripsThroughTheCounterFile) {
    AddSimDevice();  // off by default
    EXPECT_EQ(106u, Cdctl("ras " + kDevice + " counter set 5").code);

    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "cdctl_test_counter.log";
    DeleteFileA(file.c_str());
    AddSimDevice("Statistics=File \"StatFileName=" + file + "\"");
    EXPECT_EQ(0u, Cdctl("ras " + kDevice + " counter set 1200").code);
    // The counter file outlives the session that wrote it; the next one reads it.
    Outcome show = Cdctl("ras " + kDevice + " counter");
    EXPECT_EQ(0u, show.code) << show.output;
    EXPECT_PRINTS(show, "DrawerOpenCount 1200");
    // A file that holds no counter lines is refused and changes nothing.
    const std::string bad = std::string(temp) + "cdctl_test_not_counters.txt";
    testutil::WriteWholeFile(bad, "DrawerOpenCount=7\r\n");
    EXPECT_EQ(106u, Cdctl("ras " + kDevice + " load " + bad).code);
    EXPECT_PRINTS(Cdctl("ras " + kDevice + " counter"), "DrawerOpenCount 1200");
    DeleteFileA(bad.c_str());
    DeleteFileA(file.c_str());
}

}  // namespace
