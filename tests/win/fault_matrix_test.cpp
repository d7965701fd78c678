// The fault matrix of the device link: each fault a drawer installation meets, made with the
// simulated controller or with the device's configuration, against the registered DLL as an
// application uses it. Every case checks the documented result (and OpenResult for opens),
// what the service counted (CommunicationErrorCount, DrawerFailedOpenCount and
// DrawerGoodOpenCount of the statistics document; the DrawerOpenCount reliability counter
// through DirectIO), and that the service works again once the fault is gone.
// The event-log records of each fault are those of a second application that meets it.
#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "so/kernel_objects.h"
#include "tests/win/fault_fixture.h"

namespace {

using testproc::ExeDir;
using testproc::OutDir;

// What the service has counted, read through its methods: CommunicationErrorCount,
// DrawerFailedOpenCount, DrawerGoodOpenCount and the DrawerOpenCount reliability counter.
using Counts = std::array<long long, 4>;

// The maker key's "Path" (the folder the port library is loaded from) for one test: none, so
// PortDll names the library alone; restored afterwards.
class MakerPath {
public:
    MakerPath() : m_old(testutil::ReadRegValue(HKEY_LOCAL_MACHINE, kMakerKey, "Path")) {
        Set(nullptr);
    }
    ~MakerPath() { Set(m_old.present ? m_old.text.c_str() : nullptr); }
    void Set(const char* folder) {
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kMakerKey, "Path");
        if (folder) testutil::WriteRegText(HKEY_LOCAL_MACHINE, kMakerKey, "Path", folder);
    }

private:
    const testutil::RegValue m_old;
};

class FaultMatrix : public FaultFixture {
protected:
    void SetUp() override {
        FaultFixture::SetUp();
        m_device.SetNumber("Command_Timeout", 1500);
        m_device.SetNumber("OpenDrawer_Timeout", 1000);
        m_device.SetText("Statistics", "Memory");
    }

    // Open, enabled, power notification on, the reliability counter at 0.
    void OpenEnabled() {
        ASSERT_OPOS(OPOS_SUCCESS, Open());
        m_session.Set(PIDX_PowerNotify, OPOS_PN_ENABLED);
        m_session.Set(PIDX_DeviceEnabled, 1);
        ASSERT_EQ(1, m_session.Number(PIDX_DeviceEnabled));
        ASSERT_EQ(1, m_session.CounterMode());  // Memory
        ASSERT_OPOS(OPOS_SUCCESS, m_session.ClearDrawerOpenCount());
    }
    // An open that the fault makes fail: result, OpenResult, the service closed again.
    void ExpectOpenFails() {
        EXPECT_OPOS(OPOS_E_FAILURE, Open());
        EXPECT_EQ(kOpenResultNoPort, m_session.OpenResult());
        EXPECT_EQ(OPOS_S_CLOSED, m_session.Number(PIDX_State));
    }
    // Once the fault is gone: the service opens, counted only `errors` communication errors,
    // and opens the drawer.
    void WorksAgain(long long errors) {
        OpenEnabled();
        EXPECT_EQ((Counts{errors, 0, 0, 0}), Now());
        EXPECT_OPOS(OPOS_SUCCESS, m_session.OpenDrawer());
        EXPECT_EQ((Counts{errors, 0, 1, 1}), Now());
    }
    Counts Now() {
        std::map<std::string, long long> c;
        EXPECT_OPOS(OPOS_SUCCESS, m_session.Counters(&c));
        return {c["CommunicationErrorCount"], c["DrawerFailedOpenCount"], c["DrawerGoodOpenCount"],
                m_session.DrawerOpenCount()};
    }
    bool CommunicationErrorsBecome(long long n) {
        return PumpUntil([&] { return m_session.Counter("CommunicationErrorCount") == n; }, kBound);
    }
    // Every status update so far, once the last one is `last`. Updates arrive in the order
    // they were queued, so a list that ends with a known last update is complete.
    std::vector<LONG> UpdatesEndingWith(LONG last) {
        PumpUntil(
            [&] {
                std::vector<LONG> u = m_session.co().StatusUpdates();
                return !u.empty() && u.back() == last;
            },
            kBound);
        return m_session.co().StatusUpdates();
    }
    std::vector<LONG> DrawerUpdates(const std::vector<LONG>& all) {
        std::vector<LONG> drawer;
        for (LONG u : all) {
            if (u == CASH_SUE_DRAWEROPEN || u == CASH_SUE_DRAWERCLOSED) drawer.push_back(u);
        }
        return drawer;
    }
    // A break on the line counts one communication error once the reader has dealt with
    // everything sent before it: a marker that the bytes before it were read and evaluated.
    void SyncWithBreak(long long errorsAfter) {
        ASSERT_EQ(0u, Sim(kSim, "break"));
        ASSERT_TRUE(CommunicationErrorsBecome(errorsAfter));
    }

    MakerPath m_makerPath;
};

// --- Faults that fail the open until they are gone ------------------------------------------

struct OpenFaultCase {
    const char* name;
    const char* fault;    // `cdctl sim` arguments, or the PortDll to use
    const char* cleared;  // `cdctl sim` arguments that end the fault; null: PortDll ZeZAZ.dll
    long long errors;     // communication errors counted by the failed open
};

class OpenFault : public FaultMatrix, public ::testing::WithParamInterface<OpenFaultCase> {};

TEST_P(OpenFault, FailsTheOpenUntilTheFaultIsGone) {
    const OpenFaultCase& c = GetParam();
    if (c.cleared) {
        ASSERT_EQ(0u, Sim(kSim, c.fault));
        ExpectOpenFails();
        ASSERT_EQ(0u, Sim(kSim, c.cleared));
    } else {
        const std::string dll = c.fault;
        m_device.SetText("PortDll", (dll.rfind("fake", 0) == 0 ? ExeDir() + dll : dll).c_str());
        ExpectOpenFails();
        ExpectOpenFails();  // the same again: nothing was left behind by the first attempt
        m_device.SetText("PortDll", "ZeZAZ.dll");
    }
    // The refused write of the status command with a line off counted one communication
    // error, kept over the close for the next open.
    WorksAgain(c.errors);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, OpenFault,
    ::testing::Values(OpenFaultCase{"CtsOff", "cts off", "cts on", 1},
                      OpenFaultCase{"DsrOff", "dsr off", "dsr on", 1},
                      OpenFaultCase{"Silent", "answer off", "answer on", 0},
                      // Command_Timeout is 1500
                      OpenFaultCase{"LateReply", "reply-delay 2500", "reply-delay 10", 0},
                      OpenFaultCase{"PortLibraryMissing", "BramwickNoSuchPort.dll", nullptr, 0},
                      OpenFaultCase{"InitGivesNoHandle", "fake_port3.dll", nullptr, 0},
                      OpenFaultCase{"OpenRefused", "fake_port4.dll", nullptr, 0}),
    [](const ::testing::TestParamInfo<OpenFaultCase>& info) { return info.param.name; });

// --- Modem lines ------------------------------------------------------------------------

class LineFault : public FaultMatrix, public ::testing::WithParamInterface<const char*> {};

TEST_P(LineFault, LineOffWhileOpenRefusesOpenDrawerTwice) {
    const std::string line = GetParam();
    OpenEnabled();
    ASSERT_TRUE(
        PumpUntil([&] { return m_session.Number(PIDX_PowerState) == OPOS_PS_ONLINE; }, kBound));
    ASSERT_EQ(0u, Sim(kSim, line + " off"));
    // The line check reports the loss once the reader has seen the line change.
    ASSERT_TRUE(PumpUntil(
        [&] {
            const std::vector<LONG> u = m_session.co().StatusUpdates();
            return std::find(u.begin(), u.end(), OPOS_SUE_POWER_OFF_OFFLINE) != u.end();
        },
        kBound));

    EXPECT_OPOS(OPOS_E_FAILURE, m_session.OpenDrawer());
    // Two refused writes, one failed opening, nothing for the reliability counter.
    EXPECT_EQ((Counts{2, 1, 0, 0}), Now());
    EXPECT_EQ(0, m_session.Number(PIDXCash_DrawerOpened));

    // The line comes back; a frame sent after it shows the reader has seen the change.
    ASSERT_EQ(0u, Sim(kSim, line + " on"));
    ASSERT_EQ(0u, Sim(kSim, "open 1"));
    ASSERT_TRUE(OpenedBecomes(1));
    ASSERT_EQ(0u, Sim(kSim, "close 1"));
    ASSERT_TRUE(OpenedBecomes(0));
    EXPECT_OPOS(OPOS_SUCCESS, m_session.OpenDrawer());
    EXPECT_EQ((Counts{2, 1, 1, 1}), Now());
}

INSTANTIATE_TEST_SUITE_P(CtsAndDsr, LineFault, ::testing::Values("cts", "dsr"));

// --- A controller that does not answer, or answers too late ------------------------------

TEST_F(FaultMatrix, SilentControllerFailsOpenDrawerAfterItsTimeout) {
    OpenEnabled();
    ASSERT_EQ(0u, Sim(kSim, "answer off"));
    const DWORD start = GetTickCount();
    EXPECT_OPOS(OPOS_E_FAILURE, m_session.OpenDrawer());
    EXPECT_GE(GetTickCount() - start, 900u) << "OpenDrawer_Timeout is 1000 ms";
    EXPECT_EQ((Counts{0, 1, 0, 0}), Now());
    EXPECT_EQ(0, m_session.Number(PIDXCash_DrawerOpened));
    ASSERT_EQ(0u, Sim(kSim, "answer on"));
    EXPECT_OPOS(OPOS_SUCCESS, m_session.OpenDrawer());
    EXPECT_EQ(1, m_session.Number(PIDXCash_DrawerOpened));
    EXPECT_EQ((Counts{0, 1, 1, 1}), Now());
}

TEST_F(FaultMatrix, DrawerOpeningLaterThanOpenDrawerTimeoutIsAFailureAndThenAChange) {
    OpenEnabled();
    ASSERT_EQ(0u, Sim(kSim, "open-delay 2500"));  // OpenDrawer_Timeout is 1000
    EXPECT_OPOS(OPOS_E_FAILURE, m_session.OpenDrawer());
    EXPECT_EQ((Counts{0, 1, 0, 0}), Now());
    // The late opening still arrives, as a change of state.
    ASSERT_TRUE(OpenedBecomes(1));
    EXPECT_EQ(std::vector<LONG>{CASH_SUE_DRAWEROPEN},
              DrawerUpdates(UpdatesEndingWith(CASH_SUE_DRAWEROPEN)));
    ASSERT_EQ(0u, Sim(kSim, "close 1"));
    ASSERT_TRUE(OpenedBecomes(0));
    ASSERT_EQ(0u, Sim(kSim, "open-delay 50"));
    EXPECT_OPOS(OPOS_SUCCESS, m_session.OpenDrawer());
    EXPECT_EQ((Counts{0, 1, 1, 1}), Now());
}

// Something holds the port-owner mutex but never opens the port: the status command of an
// open finds no writer within SendReady_Timeout; once the port is free again, all is well.
TEST_F(FaultMatrix, NoPortOwnerFailsTheOpenAfterSendReadyTimeout) {
    m_device.SetNumber("SendReady_Timeout", 300);
    fw::UniqueKernel held(CreateMutexA(nullptr, TRUE, kComOpenedMutexName));
    ASSERT_TRUE(held);
    ExpectOpenFails();
    ReleaseMutex(held.get());
    held.reset();
    WorksAgain(0);
}

// --- Line conditions and what the reader makes of received bytes --------------------------

class LineCondition : public FaultMatrix, public ::testing::WithParamInterface<const char*> {};

TEST_P(LineCondition, IsCountedOnceAndReadingGoesOn) {
    OpenEnabled();
    ASSERT_EQ(0u, Sim(kSim, GetParam()));
    ASSERT_TRUE(CommunicationErrorsBecome(1));
    ASSERT_EQ(0u, Sim(kSim, GetParam()));
    ASSERT_TRUE(CommunicationErrorsBecome(2));
    ASSERT_EQ(0u, Sim(kSim, "open 1"));
    EXPECT_TRUE(OpenedBecomes(1));
    ASSERT_EQ(0u, Sim(kSim, "close 1"));
    EXPECT_TRUE(OpenedBecomes(0));
    EXPECT_OPOS(OPOS_SUCCESS, m_session.OpenDrawer());
    EXPECT_EQ((Counts{2, 0, 1, 1}), Now());
}

INSTANTIATE_TEST_SUITE_P(BreakAndFramingError, LineCondition, ::testing::Values("break", "error"));

TEST_F(FaultMatrix, GarbageBytesChangeNothing) {
    OpenEnabled();
    ASSERT_EQ(0u, Sim(kSim, "notify off"));
    // Noise, half frames, frames of unknown types, a CR without an ESC and an ESC without a CR.
    ASSERT_EQ(0u, Sim(kSim, "inject 00 ff 55 aa 0d 1b 1b 7f 1b 05 01 0d 1b 00 01 0d 01 0d 1b"));
    ASSERT_EQ(0u, Sim(kSim, "inject 1b 03 01 0d 0d 0d"));
    SyncWithBreak(1);
    EXPECT_EQ(0, m_session.Number(PIDXCash_DrawerOpened));
    // A good frame behind more noise than one read takes (128 bytes) is still found.
    std::string noise;
    for (int i = 0; i < 200; ++i) noise += "55";
    ASSERT_EQ(0u, Sim(kSim, "inject " + noise + " 1b 02 01 0d 5a"));
    EXPECT_TRUE(OpenedBecomes(1));
    EXPECT_EQ((Counts{1, 0, 0, 0}), Now());
}

// Several frames in one read count each, in order: a drawer closed and opened again between
// two reads is two changes. A frame of an unknown type is skipped, not taken for a change.
TEST_F(FaultMatrix, EveryFrameOfOneReadCountsInOrder) {
    OpenEnabled();
    ASSERT_EQ(0u, Sim(kSim, "notify off"));
    ASSERT_EQ(0u, Sim(kSim, "inject 1b 02 01 0d"));
    ASSERT_TRUE(OpenedBecomes(1));
    ASSERT_EQ(0u, Sim(kSim, "inject 1b 02 00 0d 1b 02 01 0d"));  // closed, then open again
    ASSERT_TRUE(PumpUntil([&] { return DrawerUpdates(m_session.co().StatusUpdates()).size() == 3; },
                          kBound));
    ASSERT_EQ(0u, Sim(kSim, "inject 1b 02 00 0d 1b 03 00 0d"));  // closed, then unknown
    ASSERT_TRUE(OpenedBecomes(0));
    ASSERT_EQ(0u, Sim(kSim, "inject 1b 02 01 0d 1b 01 00 0d"));  // open, then closed
    const std::vector<LONG> expected = {CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED,
                                        CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED,
                                        CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED};
    EXPECT_TRUE(PumpUntil([&] { return DrawerUpdates(m_session.co().StatusUpdates()) == expected; },
                          kBound));
    EXPECT_EQ(expected, DrawerUpdates(m_session.co().StatusUpdates()));
    EXPECT_EQ(0, m_session.Number(PIDXCash_DrawerOpened));
}

// A frame split over two transfers of the controller, at each byte boundary. The controller
// sends at most 64 bytes per transfer, so 64 - k bytes of noise put the split after the
// frame's k-th byte. Both parts arrive within one read pass (the first look and the second
// one after DetectDelay_Time), where the held frame start joins the rest. (A split whose second
// part comes in a later pass is lost: held bytes are not kept between passes.)
TEST_F(FaultMatrix, AFrameSplitAtEveryByteBoundaryWithinOnePassIsJoined) {
    m_device.SetNumber("DetectDelay_Time", 300);
    OpenEnabled();
    ASSERT_EQ(0u, Sim(kSim, "notify off"));
    LONG expected = 0;
    for (int k = 1; k <= 3; ++k) {
        expected = 1 - expected;
        std::string bytes;
        for (int i = 0; i < 64 - k; ++i) bytes += "55";
        bytes += expected ? "1b02010d" : "1b02000d";
        ASSERT_EQ(0u, Sim(kSim, "inject " + bytes + " 5a 5a"));
        EXPECT_TRUE(OpenedBecomes(expected)) << "split after byte " << k;
    }
    EXPECT_EQ((std::vector<LONG>{CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED, CASH_SUE_DRAWEROPEN}),
              DrawerUpdates(UpdatesEndingWith(CASH_SUE_DRAWEROPEN)));
    EXPECT_EQ((Counts{0, 0, 0, 0}), Now());
}

// --- Trace library --------------------------------------------------------------------------

// This process's environment without PATH, WINEPATH and BRAMWICK_TRACE_DIR, plus the given
// variables: a process that finds DLLs only in its own folder and the system's.
std::string Environment(const std::vector<std::string>& extra) {
    std::string block;
    char* all = GetEnvironmentStringsA();
    for (const char* p = all; *p; p += strlen(p) + 1) {
        const std::string entry = p;
        auto starts = [&](const char* prefix) { return _strnicmp(p, prefix, strlen(prefix)) == 0; };
        if (starts("PATH=") || starts("WINEPATH=") || starts("BRAMWICK_TRACE_DIR=")) continue;
        block += entry;
        block.push_back('\0');
    }
    FreeEnvironmentStringsA(all);
    for (const std::string& e : extra) {
        block += e;
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

namespace fs = std::filesystem;

// An empty folder of that name in the temporary folder (emptied when a run before left it).
fs::path ScratchFolder(const char* name) {
    std::error_code ignored;
    const fs::path folder = fs::temp_directory_path() / name;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder, ignored);
    return folder;
}

size_t TraceFiles(const fs::path& folder) {
    return std::count_if(
        fs::directory_iterator(folder), fs::directory_iterator(),
        [](const fs::directory_entry& f) { return f.path().extension() == ".trc"; });
}

// The service loads its trace library by name, which Wine also finds beside the module that
// asks for it; so the child uses a copy of the module in a folder of its own, with or without
// the library beside it.
TEST_F(FaultMatrix, AMissingTraceLibraryOnlyMeansNoTrace) {
    m_device.SetText("Trace_Enable", "True");
    // The child finds the port library only in the folder the maker's key names.
    m_makerPath.Set((OutDir() + "\\").c_str());
    const fs::path traces = ScratchFolder("BramwickFaultTrace");
    const fs::path without = ScratchFolder("BramwickFaultNoTraceLib");
    const fs::path with = ScratchFolder("BramwickFaultTraceLib");
    const auto copy = fs::copy_options::overwrite_existing;
    for (const fs::path& folder : {without, with}) {
        ASSERT_TRUE(fs::copy_file(ExeDir() + "drawer_peer.exe", folder / "drawer_peer.exe", copy));
        ASSERT_TRUE(fs::copy_file(OutDir() + "\\Bramwick.dll", folder / "Bramwick.dll", copy));
    }
    ASSERT_TRUE(fs::copy_file(OutDir() + "\\XTRLOG32.DLL", with / "XTRLOG32.DLL", copy));
    const std::string env = Environment(
        {"PATH=C:\\windows\\system32;C:\\windows", "BRAMWICK_TRACE_DIR=" + traces.string()});
    auto run = [&](const fs::path& folder) {
        const std::string dir = folder.string();
        return testproc::Process("\"" + dir + "\\drawer_peer.exe\" --dll \"" + dir +
                                     "\\Bramwick.dll\" " + kDevice +
                                     " open enable opendrawer close",
                                 false, env, dir)
            .Wait(60000);
    };

    EXPECT_EQ(0u, run(without));  // opens, opens the drawer and closes as usual
    EXPECT_EQ(0u, TraceFiles(traces)) << "the trace library was found after all";
    // The same with the library beside the module: the channel file appears.
    EXPECT_EQ(0u, run(with));
    EXPECT_EQ(1u, TraceFiles(traces));

    m_device.SetText("Trace_Enable", "False");
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    EXPECT_EQ(2, m_session.Counter("DrawerGoodOpenCount"));
    m_session.Close();
    std::error_code ignored;
    for (const fs::path& folder : {traces, without, with}) fs::remove_all(folder, ignored);
}

// --- Event log ------------------------------------------------------------------------------

// Wine keeps no event log, but prints each insertion string of an error record as an
// "err:eventlog" line on standard error when WINEDEBUG asks for it. Each case runs a second
// application that meets the fault, between two marker lines that name the operation texts of
// the records expected; tests/win/check_eventlog.sh runs these cases with WINEDEBUG set and
// compares.
struct RecordCase {
    const char* name;
    const char* eventLog;  // the device's EventLog level
    const char* portDll;   // or null for the real port library
    const char* setup;     // `cdctl sim` arguments before the child starts, or null
    const char* steps;     // drawer_peer steps
    std::vector<std::string> records;
    const char* port = nullptr;  // the device's Port, when not the simulated controller
};

class EventLogRecords : public FaultMatrix, public ::testing::WithParamInterface<RecordCase> {};

// Each fault writes its records, at their levels only, with the operation that failed; the
// records are those of a second application that meets the fault.
TEST_P(EventLogRecords, EachFaultWritesItsRecordsAtItsLevel) {
    const RecordCase& c = GetParam();
    m_device.SetText("EventLog", c.eventLog);
    m_device.SetNumber("VerboseLimit", 2);
    if (c.portDll) m_device.SetText("PortDll", (ExeDir() + c.portDll).c_str());
    if (c.port) m_device.SetText("Port", c.port);
    if (c.setup) {
        ASSERT_EQ(0u, Sim(kSim, c.setup));
    }
    std::string expected;
    for (const std::string& r : c.records) expected += (expected.empty() ? "" : "|") + r;
    fprintf(stderr, "eventlog-case %s expect %s\n", c.name, expected.c_str());
    fflush(stderr);
    testproc::Process child("\"" + ExeDir() + "drawer_peer.exe\" " + kDevice + " " + c.steps);
    EXPECT_EQ(0u, child.Wait(60000));
    fprintf(stderr, "eventlog-case-end\n");
    fflush(stderr);
}

const std::string kOpenStatus = "to send status command";
const std::string kOpening = "Opening Drawer";
const std::string kOpenCommand = "to sned command for drawer open";
const std::string kPortInit = "to initialize COM port";
constexpr char kCtsOff[] =
    "open enable sim=SIMFAULT1:cts_off sleep=500 opendrawer=111 sim=SIMFAULT1:cts_on close";
constexpr char kNoDll[] = "BramwickNoSuchPort.dll";
constexpr char kLate[] = "open-delay 2000";
constexpr char kOpenLate[] = "open enable opendrawer=111 close";

INSTANTIATE_TEST_SUITE_P(
    Faults, EventLogRecords,
    ::testing::Values(
        RecordCase{"CtsOffAtOpen", "Verbose2", nullptr, "cts off", "open=111", {kOpenStatus}},
        RecordCase{
            "CtsOffWhileOpen", "Verbose2", nullptr, nullptr, kCtsOff, {kOpenCommand, kOpenCommand}},
        RecordCase{"SilentAtOpen", "Verbose2", nullptr, "answer off", "open=111", {kOpenStatus}},
        RecordCase{"LateReply", "Verbose2", nullptr, "reply-delay 3000", "open=111", {kOpenStatus}},
        RecordCase{"DrawerLate", "Verbose2", nullptr, kLate, kOpenLate, {kOpening}},
        RecordCase{"PortLibraryMissing", "Verbose2", kNoDll, nullptr, "open=111", {kPortInit}},
        RecordCase{"InitFails", "Verbose2", "fake_port3.dll", nullptr, "open=111", {kPortInit}},
        RecordCase{"OpenRefused", "Verbose2", "fake_port4.dll", nullptr, "open=111", {kPortInit}},
        // Our port library names the step that failed before the service's record; Enable is
        // enough for it.
        RecordCase{
            "NoSuchPort", "Enable", nullptr, nullptr, "open=111", {"to open the port"}, "COM97"},
        // Level Enable writes the level-1 records only; Disable writes none.
        RecordCase{"EnableKeepsLevelOne", "Enable", nullptr, kLate, kOpenLate, {kOpening}},
        RecordCase{"EnableSkipsLevelTwo", "Enable", nullptr, nullptr, kCtsOff, {}},
        RecordCase{"Disabled", "Disable", nullptr, kLate, kOpenLate, {}}),
    [](const ::testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

}  // namespace
