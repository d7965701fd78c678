// CVmRAS against the real registry, named mapping and mutex, with a recording event log:
// the shared block and its first user, level filtering, DirectIO 110 to 115 and the counter
// file kept at the first open and the last close.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ras/direct_io.h"
#include "ras/vm_ras.h"
#include "tests/win/ras_test_util.h"
#include "tests/win/test_util.h"

namespace {

using namespace rastest;

const char* const kNames[] = {kDrawerOpenCount};
constexpr LONG kBit31 = static_cast<LONG>(0x80000000u);

// Text in binary conversion nibble: each byte as two characters from '0' to '?'.
std::string Nibbles(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) text += {char('0' + (c >> 4)), char('0' + (c & 15))};
    return text;
}

struct Io {
    LONG result;
    LONG data;
    std::string text;
};

class RasTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_key = std::make_unique<ScratchKey>(
            std::string("Dev_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(m_key->created());
    }
    void TearDown() override {
        m_ras.clear();  // closes every instance (and may write a counter file) first
        m_key.reset();
        for (const std::string& file : m_besideProgram) DeleteFileA(file.c_str());
    }

    CVmRAS& NewRas() {
        m_ras.push_back(std::make_unique<CVmRAS>(std::make_unique<RecordingEventLog>(m_journal)));
        return *m_ras.back();
    }
    LONG Open(CVmRAS& ras, LONG count = 1, const char* const* names = kNames) {
        return ras.Open(kClass, device().c_str(), "Cash Drawer", "\\\\.\\COM3", "BRAMWICK", nullptr,
                        count, names, ProgramName().c_str());
    }
    CVmRAS& Opened() {
        CVmRAS& ras = NewRas();
        EXPECT_OPOS(OPOS_SUCCESS, Open(ras));
        return ras;
    }
    static Io Run(CVmRAS& ras, LONG command, LONG data, std::string text = "",
                  LONG binaryConversion = OPOS_BC_NONE) {
        Io io{0, data, std::move(text)};
        io.result = ras.ExecuteCommand(command, &io.data, &io.text, binaryConversion);
        return io;
    }
    static std::string Counters(CVmRAS& ras) { return Run(ras, kRasCmdSaveCounters, 1).text; }
    static LONG SetCounter(CVmRAS& ras, unsigned long value) {
        return Run(ras, kRasCmdLoadCounters, 1, CounterLine(value)).result;
    }
    // A counter file in the test program's folder, removed after the test.
    std::string BesideProgram(const std::string& name) {
        m_besideProgram.push_back(testproc::ExeDir() + name);
        return m_besideProgram.back();
    }
    const std::string& device() const { return m_key->device(); }
    ScratchKey& key() { return *m_key; }

    std::shared_ptr<Journal> m_journal = std::make_shared<Journal>();
    std::unique_ptr<ScratchKey> m_key;
    std::vector<std::unique_ptr<CVmRAS>> m_ras;
    std::vector<std::string> m_besideProgram;
    ScratchFolder m_folder;
};

// --- Open, Close and the shared block ---------------------------------------------------------

TEST_F(RasTest, OneBlockPerDeviceFilledByItsFirstUser) {
    key().SetText("Statistics", "Memory");
    key().SetText("EventLog", " verbose 2 ");
    key().SetText("VerboseLimit", "3");
    CVmRAS& first = Opened();
    key().SetText("EventLog", "Disable");  // read by the first user only
    CVmRAS& second = Opened();
    ASSERT_TRUE(first.IsSharedBlock() && second.IsSharedBlock());
    EXPECT_EQ(2, first.Block()->nUsers);
    EXPECT_EQ(3, Run(second, kRasCmdGetEventLogLevel, 0).data);
    EXPECT_OPOS(OPOS_SUCCESS, first.IncrementCounter(0));
    EXPECT_OPOS(OPOS_SUCCESS, second.IncrementCounter(0));
    EXPECT_EQ(CounterLine(2), Counters(first));
    EXPECT_OPOS(OPOS_SUCCESS, Run(first, kRasCmdSetEventLogLevel, 1).result);
    EXPECT_EQ(1, Run(second, kRasCmdGetEventLogLevel, -1).data);

    EXPECT_OPOS(OPOS_SUCCESS, second.Close());
    EXPECT_EQ(1, first.Block()->nUsers);
    EXPECT_OPOS(OPOS_E_CLOSED, second.Close());
    EXPECT_OPOS(OPOS_SUCCESS, first.Close());
    CVmRAS& again = Opened();  // a new block: Memory counters are gone, the registry is read
    EXPECT_EQ(CounterLine(0), Counters(again));
    EXPECT_EQ(0, again.Block()->nEventLogLevel);
}

TEST_F(RasTest, RefusalsAtOpenGiveTheEventSourceBack) {
    CVmRAS& ras = NewRas();
    const char* const long29[] = {"DrawerOpenCount              "};  // names are 28 wide
    EXPECT_OPOS(OPOS_E_ILLEGAL, Open(ras, 1, long29));
    EXPECT_OPOS(OPOS_E_NOEXIST, ras.Open(kClass, "NoSuchDevice", "Cash Drawer", "COM1", "BRAMWICK",
                                         nullptr, 1, kNames, nullptr));
    EXPECT_FALSE(ras.IsOpen());
    EXPECT_EQ(2, m_journal->deregistrations);

    EXPECT_OPOS(OPOS_SUCCESS, Open(ras));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Open(ras));
    EXPECT_OPOS(OPOS_E_ILLEGAL, ras.IncrementCounter(1));
    EXPECT_OPOS(OPOS_SUCCESS, ras.Close());
    EXPECT_EQ(m_journal->registrations, m_journal->deregistrations);
    EXPECT_EQ("BRAMWICK", m_journal->source);  // on this machine
}

// --- Event-log reports -------------------------------------------------------------------------

struct LevelCase {
    const char* eventLog;      // null: no value
    const char* verboseLimit;  // null: no value
    std::vector<uint32_t> written;
};

void PrintTo(const LevelCase& c, std::ostream* os) {
    *os << (c.eventLog ? c.eventLog : "-") << " limit " << (c.verboseLimit ? c.verboseLimit : "-");
}

class RasLevelTest : public RasTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(RasLevelTest, ReportsPassTheirLevel) {
    if (GetParam().eventLog != nullptr) key().SetText("EventLog", GetParam().eventLog);
    if (GetParam().verboseLimit != nullptr) key().SetText("VerboseLimit", GetParam().verboseLimit);
    CVmRAS& ras = Opened();
    EXPECT_OPOS(OPOS_SUCCESS, ras.ReportError(1, kRasMsgOperationFailed, "Opening Drawer"));
    EXPECT_OPOS(OPOS_SUCCESS, ras.ReportError(2, kRasMsgOperationTimeout, "to send"));
    std::vector<uint32_t> ids;
    for (const Record& r : m_journal->records) ids.push_back(r.id);
    EXPECT_EQ(GetParam().written, ids);
}

const std::vector<uint32_t> kBoth = {kRasMsgOperationFailed, kRasMsgOperationTimeout};
INSTANTIATE_TEST_SUITE_P(RasSettings, RasLevelTest,
                         ::testing::Values(LevelCase{"ENABLE", nullptr, {kRasMsgOperationFailed}},
                                           LevelCase{"Verbose1", nullptr, kBoth},
                                           LevelCase{"Verbose2", nullptr, {}},
                                           LevelCase{"Verbose2", "3", kBoth},
                                           LevelCase{nullptr, nullptr, {}}));

TEST_F(RasTest, ARecordCarriesTheInsertsAndTheRawData) {
    key().SetText("EventLog", "Enable");
    CVmRAS& ras = Opened();
    EXPECT_OPOS(OPOS_SUCCESS, ras.ReportError(1, kRasMsgOperationFailed, "to init", 0x1234));
    const char* strings[] = {"a", "b"};
    EXPECT_OPOS(OPOS_SUCCESS,
                ras.ReportEvent(1, EVENTLOG_WARNING_TYPE, 0x800003ED, 0, nullptr, 2, strings));

    ASSERT_EQ(2u, m_journal->records.size());
    const Record& error = m_journal->records[0];
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, error.type);
    EXPECT_EQ(0, error.category);
    EXPECT_EQ(0xC000006Fu, error.id);
    EXPECT_EQ((std::vector<std::string>{"COM3", device() + "Cash Drawer", "to init"}),
              error.strings);
    EXPECT_EQ(std::string("\x34\x12\x00\x00", 4), error.data);
    EXPECT_EQ((std::vector<std::string>{"COM3", device() + "Cash Drawer", "a", "b"}),
              m_journal->records[1].strings);
    EXPECT_EQ("", m_journal->records[1].data);
}

TEST_F(RasTest, ReportFailures) {
    key().SetText("EventLog", "Enable");
    m_journal->registerSucceeds = false;
    CVmRAS& unregistered = Opened();
    EXPECT_OPOS(OPOS_E_FAILURE, unregistered.ReportError(1, kRasMsgOperationFailed, "x"));
    EXPECT_OPOS(OPOS_SUCCESS, unregistered.ReportError(2, kRasMsgOperationFailed, "x"));
    m_ras.clear();

    m_journal->registerSucceeds = true;
    m_journal->writeSucceeds = false;
    EXPECT_OPOS(OPOS_E_FAILURE, Opened().ReportError(1, kRasMsgOperationFailed, "x", 5));
    EXPECT_OPOS(OPOS_E_CLOSED, NewRas().ReportError(1, kRasMsgOperationFailed, "x"));
    m_ras.clear();

    // Without an event log the level stays off and cannot be set.
    m_journal->available = false;
    CVmRAS& noLog = Opened();
    EXPECT_EQ(0, noLog.Block()->nEventLogLevel);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(noLog, kRasCmdSetEventLogLevel, 1).result);
    EXPECT_EQ(2, m_journal->registrations);
}

TEST_F(RasTest, TheWindowsEventLogAcceptsARecord) {
    key().SetText("EventLog", "Enable");
    CVmRAS ras;
    ASSERT_OPOS(OPOS_SUCCESS, ras.Open(kClass, device().c_str(), "Cash Drawer", "COM1", "BRAMWICK",
                                       nullptr, 1, kNames, nullptr));
    EXPECT_OPOS(OPOS_SUCCESS, ras.ReportError(1, kRasMsgNoResponse, "to send status command", 0));
}

// --- DirectIO 110 and 111 and the frame --------------------------------------------------------

TEST_F(RasTest, LevelWithBit31IsStoredInTheRegistry) {
    CVmRAS& ras = Opened();  // VerboseLimit absent: 1
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetEventLogLevel, kBit31 | 2).result);
    EXPECT_EQ("Verbose1", key().Text("EventLog"));
    EXPECT_EQ(2, Run(ras, kRasCmdGetEventLogLevel, 0).data);
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetEventLogLevel, kBit31 | 0).result);
    EXPECT_EQ("Disable", key().Text("EventLog"));
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetEventLogLevel, 1).result);
    EXPECT_EQ("Disable", key().Text("EventLog"));

    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSetEventLogLevel, 3).result);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSetEventLogLevel, kBit31 | 3).result);
    EXPECT_EQ("Disable", key().Text("EventLog"));
    key().SetNumber("EventLog", 1);  // not a text: the write is refused and nothing changes
    EXPECT_OPOS(OPOS_E_FAILURE, Run(ras, kRasCmdSetEventLogLevel, kBit31 | 2).result);
    EXPECT_EQ(1, Run(ras, kRasCmdGetEventLogLevel, 0).data);
}

TEST_F(RasTest, DirectIOFrameForwardsOnlyTheReliabilityCommands) {
    CVmRAS& closed = NewRas();  // would answer 101 if a command reached it
    LONG data = 0;
    std::string text;
    LONG extended = 99;
    EXPECT_OPOS(OPOS_E_CLOSED, DirectIOFrame(closed, false, 111, data, text, 0, &extended));
    EXPECT_OPOS(OPOS_E_ILLEGAL, DirectIOFrame(closed, true, 109, data, text, 0, &extended));
    EXPECT_OPOS(OPOS_E_ILLEGAL, DirectIOFrame(closed, true, 116, data, text, 0, &extended));
    EXPECT_OPOS(OPOS_E_CLOSED, DirectIOFrame(closed, true, 115, data, text, 0, &extended));

    key().SetText("EventLog", "Enable");
    CVmRAS& ras = Opened();
    EXPECT_OPOS(OPOS_SUCCESS, DirectIOFrame(ras, true, 111, data, text, 0, &extended));
    EXPECT_EQ(1, data);
    EXPECT_EQ(0, extended);
    EXPECT_OPOS(OPOS_E_ILLEGAL, ras.ExecuteCommand(111, nullptr, &text, 0));
}

// --- Counters ----------------------------------------------------------------------------------

TEST_F(RasTest, CounterTextFollowsTheBinaryConversionAndLoadsAllOrNothing) {
    key().SetText("Statistics", "Memory");
    CVmRAS& ras = Opened();
    for (int i = 0; i < 5; ++i) ASSERT_OPOS(OPOS_SUCCESS, ras.IncrementCounter(0));
    EXPECT_EQ("DrawerOpenCount" + std::string(13 + 9, ' ') + "5\r\n", Counters(ras));
    std::string decimal;
    for (unsigned char c : CounterLine(7)) {
        decimal += {char('0' + c / 100), char('0' + c / 10 % 10), char('0' + c % 10)};
    }
    EXPECT_EQ(Nibbles(CounterLine(5)), Run(ras, kRasCmdSaveCounters, 1, "", OPOS_BC_NIBBLE).text);
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 1, decimal, OPOS_BC_DECIMAL).result);
    EXPECT_EQ(CounterLine(7), Counters(ras));

    std::string lower = CounterLine(4294967295ul);
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 1, lower).result);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdLoadCounters, 1, " " + CounterLine(6)).result);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdLoadCounters, 3, CounterLine(6)).result);
    LONG one = 1;
    EXPECT_OPOS(OPOS_E_ILLEGAL, ras.ExecuteCommand(kRasCmdLoadCounters, &one, nullptr, 0));
    EXPECT_OPOS(OPOS_SUCCESS, ras.IncrementCounter(0));
    EXPECT_EQ(CounterLine(0), Counters(ras));  // 4294967295 wrapped
}

TEST_F(RasTest, MemoryModeKeepsNoFileOfItsOwn) {
    key().SetText("Statistics", "Memory");
    CVmRAS& ras = Opened();
    ASSERT_OPOS(OPOS_SUCCESS, SetCounter(ras, 9));
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 0).result);
    EXPECT_EQ(CounterLine(0), Counters(ras));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSaveCounters, 0).result);
    Io mode = Run(ras, kRasCmdGetStatisticsMode, -1, "untouched");
    EXPECT_EQ(kRasModeMemory, mode.data);
    EXPECT_EQ("untouched", mode.text);

    // Files named in the string are written and read in any mode but Disable.
    const std::string copy = m_folder.File("copy.txt"), empty = m_folder.File("empty.txt");
    ASSERT_OPOS(OPOS_SUCCESS, SetCounter(ras, 11));
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSaveCounters, 2, copy).result);
    EXPECT_EQ(CounterLine(11), ReadWholeFile(copy));
    ASSERT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 0).result);
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 2, copy).result);
    EXPECT_EQ(CounterLine(11), Counters(ras));
    ASSERT_TRUE(WriteWholeFile(empty, ""));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdLoadCounters, 2, empty).result);
    EXPECT_OPOS(OPOS_E_NOEXIST, Run(ras, kRasCmdLoadCounters, 2, m_folder.File("no.txt")).result);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSaveCounters, 2, "").result);
}

TEST_F(RasTest, DisableModeCountsButShowsNothing) {
    CVmRAS& ras = Opened();
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSaveCounters, 1).result);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdLoadCounters, 0).result);
    EXPECT_OPOS(OPOS_SUCCESS, ras.IncrementCounter(0));
    ASSERT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetStatisticsMode, kRasModeMemory).result);
    EXPECT_EQ(CounterLine(1), Counters(ras));
    EXPECT_EQ("<absent>", key().Text("Statistics"));

    CVmRAS& noCounters = NewRas();
    ASSERT_OPOS(OPOS_SUCCESS, Open(noCounters, 0, nullptr));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(noCounters, kRasCmdSetStatisticsMode, 1).result);
}

// --- Counter file ------------------------------------------------------------------------------

TEST_F(RasTest, FileModeLoadsAtTheFirstOpenAndSavesAtTheLastClose) {
    const std::string file = m_folder.File("counts.log");
    ASSERT_TRUE(WriteWholeFile(file, CounterLine(7)));
    key().SetText("Statistics", "File");
    key().SetText("StatFileName", file);
    CVmRAS& first = Opened();
    CVmRAS& second = Opened();
    EXPECT_EQ(CounterLine(7), Counters(first));
    EXPECT_OPOS(OPOS_SUCCESS, first.IncrementCounter(0));
    EXPECT_OPOS(OPOS_SUCCESS, first.Close());
    EXPECT_EQ(CounterLine(7), ReadWholeFile(file));  // another user is still attached
    EXPECT_OPOS(OPOS_SUCCESS, second.Close());
    EXPECT_EQ(CounterLine(8), ReadWholeFile(file));

    ASSERT_TRUE(WriteWholeFile(file, CounterLine(7) + "junk"));
    EXPECT_EQ(CounterLine(0), Counters(Opened()));  // a bad file is ignored at open
    m_ras.clear();
    EXPECT_EQ(CounterLine(0), ReadWholeFile(file));

    key().SetText("StatFileName", m_folder.File("missing\\counts.log"));
    EXPECT_OPOS(OPOS_E_NOEXIST, Opened().Close());  // the final write's result
}

// Default names are NamedFileWithBit31BecomesTheFileSetting's, the path rules ras_rules_test's.
TEST_F(RasTest, RelativeFileNamesLiveBesideTheModule) {
    key().SetText("Statistics", "File");
    key().SetText("StatFileName", "counters.txt");
    Io io = Run(Opened(), kRasCmdGetStatisticsMode, 0);
    EXPECT_EQ(kRasModeFile, io.data);
    EXPECT_EQ(BesideProgram("counters.txt"), io.text);
}

TEST_F(RasTest, NamedFileWithBit31BecomesTheFileSetting) {
    key().SetText("Statistics", "Memory");
    CVmRAS& ras = Opened();
    EXPECT_OPOS(
        OPOS_E_NOEXIST,
        Run(ras, kRasCmdSetStatisticsMode, kBit31 | 3, m_folder.File("nowhere\\c.log")).result);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSetStatisticsMode, 4).result);
    EXPECT_EQ("Memory", key().Text("Statistics"));

    const std::string file = m_folder.File("named.log");
    ASSERT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetStatisticsMode, kBit31 | 3, file).result);
    EXPECT_EQ("File", key().Text("Statistics"));
    EXPECT_EQ(file, key().Text("StatFileName"));
    Io mode = Run(ras, kRasCmdGetStatisticsMode, 0);
    EXPECT_EQ(kRasModeFile, mode.data);
    EXPECT_EQ(file, mode.text);
    EXPECT_FALSE(FileExists(file));  // probed, not left behind

    // Without a name it is the default file, and the registry gets an empty name.
    ASSERT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetStatisticsMode, kBit31 | 3, "").result);
    EXPECT_EQ("", key().Text("StatFileName"));
    EXPECT_EQ(BesideProgram("RAS" + device() + ".LOG"), Run(ras, kRasCmdGetStatisticsMode, 0).text);
}

TEST_F(RasTest, NamedFileWithoutBit31StaysOutOfTheRegistry) {
    key().SetText("Statistics", "Memory");
    CVmRAS& ras = Opened();
    ASSERT_OPOS(OPOS_SUCCESS, SetCounter(ras, 4));
    const std::string file = BesideProgram("rel.txt");
    ASSERT_OPOS(OPOS_SUCCESS,
                Run(ras, kRasCmdSetStatisticsMode, 3, Nibbles("rel.txt"), OPOS_BC_NIBBLE).result);
    EXPECT_EQ("Memory", key().Text("Statistics"));
    EXPECT_EQ("<absent>", key().Text("StatFileName"));
    Io mode = Run(ras, kRasCmdGetStatisticsMode, 0);
    EXPECT_EQ(kRasModeNamedFile, mode.data);
    EXPECT_EQ(file, mode.text);

    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSaveCounters, 0).result);
    EXPECT_EQ(CounterLine(4), ReadWholeFile(file));
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 0).result);  // rewrites the file
    EXPECT_EQ(CounterLine(0), ReadWholeFile(file));
}

}  // namespace
