// cdctl setup, session, stats and ras run as processes, as a user runs them: what they write
// to the registry, what they print, and the exit codes, against the registered service and a
// simulated controller.
#include <string>

#include "so/device_config.h"
#include "tests/win/sim_control.h"
#include "tests/win/test_util.h"

namespace {

const std::string kDevice = "CdctlTestDevice";
constexpr char kSim[] = "SIMCDCTLTEST";

using testproc::Cdctl;
using testproc::Outcome;
using testutil::RegKeyExists;
using testutil::RegValue;

bool Contains(const Outcome& run, const std::string& text) {
    return run.output.find(text) != std::string::npos;
}

#define EXPECT_PRINTS(run, text) \
    EXPECT_TRUE(Contains(run, text)) << "missing: " << (text) << "\noutput:\n" << (run).output

RegValue Read(const std::string& key, const char* name) {
    return testutil::ReadRegValue(HKEY_LOCAL_MACHINE, key, name);
}

bool KeyExists(const std::string& key) {
    return RegKeyExists(HKEY_LOCAL_MACHINE, key);
}

// Keeps the maker's key as it was before the test: it is shared by every device.
class MakerKeyGuard {
public:
    MakerKeyGuard() : m_existed(KeyExists(kMakerKey)), m_path(Read(kMakerKey, "Path")) {}
    ~MakerKeyGuard() {
        if (!m_existed) {
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMakerKey);
        } else if (m_path.present) {
            testutil::WriteRegText(HKEY_LOCAL_MACHINE, kMakerKey, "Path", m_path.text);
        } else {
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kMakerKey, "Path");
        }
    }

private:
    bool m_existed;
    RegValue m_path;
};

class Commands : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, Path().c_str()); }
    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, Path().c_str()); }
    static std::string Path() { return DeviceKeyPath(kDevice); }
    // A device on the simulated controller, quick to notice status changes.
    void AddSimDevice(const std::string& more = "") {
        ASSERT_EQ(0u, Sim(kSim, "reset"));
        Outcome add = Cdctl("setup add " + kDevice + " Port=" + kSim +
                            " Trace_Enable=False DetectDelay_Time=20 Command_Timeout=1500 " + more);
        ASSERT_EQ(0u, add.code) << add.output;
    }

    MakerKeyGuard m_maker;
};

// --- setup --------------------------------------------------------------------------------

TEST_F(Commands, SetupAddWritesTheEntryTheServiceNeeds) {
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
    // The value name takes its documented spelling.
    EXPECT_PRINTS(run, "Trace_Enable");
    EXPECT_TRUE(KeyExists(Path() + "\\Stat"));
    const RegValue path = Read(kMakerKey, "Path");
    ASSERT_TRUE(path.present);
    EXPECT_EQ('\\', path.text.back());
    EXPECT_PRINTS(run, "OpenDrawer_Timeout       250 ms");
}

TEST_F(Commands, SetupAddChangesOnlyWhatIsGivenAndKeepsAnExistingPath) {
    ASSERT_EQ(0u, Cdctl("setup add " + kDevice + " Port=COM3 DrawerNo=2").code);
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
}

TEST_F(Commands, SetupRefusesUnknownSettingsAndWritesNothing) {
    Outcome run = Cdctl("setup add " + kDevice + " Port=COM1 Prot=COM2");
    EXPECT_EQ(2u, run.code);
    EXPECT_PRINTS(run, "unknown setting 'Prot'. Valid settings: PortDll, Port,");
    EXPECT_FALSE(KeyExists(Path()));
    EXPECT_EQ(2u, Cdctl("setup add " + kDevice + " Port=1 Port=2").code);
    EXPECT_EQ(2u, Cdctl("setup frobnicate").code);
    EXPECT_FALSE(KeyExists(Path()));
}

TEST_F(Commands, SetupShowPrintsStoredAndEffectiveValues) {
    ASSERT_EQ(
        0u, Cdctl("setup add " + kDevice + " OpenDrawer_Timeout=100 Status_Mode=invert DrawerNo=7")
                .code);
    // A value setup does not know, as a misspelt setting would be.
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, Path(), "Comand_Timeout", "50"));

    Outcome show = Cdctl("setup show " + kDevice);
    ASSERT_EQ(0u, show.code) << show.output;
    EXPECT_PRINTS(show, "OpenDrawer_Timeout       100 (REG_DWORD)");
    EXPECT_PRINTS(show, "3000 ms");
    EXPECT_PRINTS(show, "Status_Mode              \"invert\"");
    EXPECT_PRINTS(show, "Invert");
    EXPECT_PRINTS(show, "DrawerNo                 7 (REG_DWORD)");
    EXPECT_PRINTS(show, "Stat subkey              present");
    EXPECT_PRINTS(show, "Comand_Timeout");
    EXPECT_PRINTS(show, "not read by the service");

    Outcome list = Cdctl("setup list");
    EXPECT_EQ(0u, list.code);
    EXPECT_PRINTS(list, kDevice);
}

TEST_F(Commands, SetupRemoveDeletesTheEntryWithItsStatistics) {
    ASSERT_EQ(0u, Cdctl("setup add " + kDevice).code);
    Outcome run = Cdctl("setup remove " + kDevice);
    EXPECT_EQ(0u, run.code) << run.output;
    EXPECT_FALSE(KeyExists(Path()));
    EXPECT_TRUE(KeyExists(kMakerKey));
    EXPECT_EQ(1u, Cdctl("setup remove " + kDevice).code);
    EXPECT_EQ(1u, Cdctl("setup show " + kDevice).code);
}

// --- session --------------------------------------------------------------------------------

TEST_F(Commands, SessionOpensTheDrawerAndPrintsItsEvents) {
    AddSimDevice();
    Outcome run = Cdctl("session " + kDevice +
                        " open claim:1000 enable opendrawer wait-events:1,10000 health:1 props "
                        "release close");
    EXPECT_EQ(0u, run.code) << run.output;
    EXPECT_PRINTS(run, "open -> 0 OPOS_SUCCESS");
    EXPECT_PRINTS(run, "opendrawer -> 0 OPOS_SUCCESS");
    EXPECT_PRINTS(run, "] StatusUpdate 1 (CASH_SUE_DRAWEROPEN)");
    EXPECT_PRINTS(run, "CheckHealthText \"Internal HCheck: Successful\"");
    EXPECT_PRINTS(run, "DrawerOpened                 1");
    EXPECT_PRINTS(run, "close -> 0 OPOS_SUCCESS");
}

TEST_F(Commands, SessionExitCodeIsTheFirstUnexpectedResult) {
    AddSimDevice();
    // Not enabled: the service refuses, and the rest is not run.
    Outcome refused = Cdctl("session " + kDevice + " open opendrawer claim:0");
    EXPECT_EQ(105u, refused.code) << refused.output;
    EXPECT_PRINTS(refused, "asked for 0 OPOS_SUCCESS");
    EXPECT_FALSE(Contains(refused, "claim:0 ->")) << refused.output;
    EXPECT_PRINTS(refused, "closing the service the steps left open");

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

TEST_F(Commands, SessionStatisticsRequestsKeepTheirEqualsSigns) {
    AddSimDevice();
    Outcome run = Cdctl("session " + kDevice +
                        " open enable updatestats:DrawerGoodOpenCount=41 "
                        "updatestats:HoursPoweredCount=5 expect:OPOS_E_ILLEGAL "
                        "stats:DrawerGoodOpenCount close");
    EXPECT_EQ(0u, run.code) << run.output;
    EXPECT_PRINTS(run, "<Name>DrawerGoodOpenCount</Name>");
    EXPECT_PRINTS(run, "<Value>41</Value>");
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
    EXPECT_EQ(2u, Cdctl("stats").code);
}

TEST_F(Commands, RasCounterRoundTripsThroughTheCounterFile) {
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
    EXPECT_EQ(2u, Cdctl("ras " + kDevice + " counter set many").code);
    DeleteFileA(file.c_str());
}

}  // namespace
