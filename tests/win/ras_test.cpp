// CVmRAS against the real registry, mapping and mutex with a recording event log: the shared
// block, level filtering, DirectIO 110 to 115, when the counter file is read and written.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ras/counter_file.h"
#include "ras/event_log.h"
#include "ras/ras_rules.h"
#include "ras/vm_ras.h"
#include "tests/win/recording_event_log.h"
#include "tests/win/sim_control.h"
#include "tests/win/test_util.h"

namespace {

using testutil::ReadWholeFile;
using testutil::WriteWholeFile;

constexpr char kClass[] = "BramwickRasTest";
constexpr char kClassKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\BramwickRasTest";
const char* const kNames[] = {"DrawerOpenCount             "};
constexpr LONG kBit31 = static_cast<LONG>(0x80000000u);

// A counter line as the service writes it.
std::string CounterLine(unsigned long value) {
    const std::string digits = std::to_string(value);
    return kNames[0] + std::string(10 - digits.size(), ' ') + digits + "\r\n";
}

// Text in binary conversion nibble: each byte as two characters from '0' to '?'.
std::string Nibbles(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) text += {char('0' + (c >> 4)), char('0' + (c & 15))};
    return text;
}

// The running test program's name: the module whose folder is the counter files' fallback.
std::string ProgramName() {
    return fw::WideToUtf8(fw::ModulePath(nullptr)).substr(testproc::ExeDir().size());
}

struct Io {
    LONG result;
    LONG data;
    std::string text;
};

// Each test has a device key of its own under the test device class.
class RasTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_device =
            std::string("Dev_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, KeyPath().c_str());
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, nullptr,
                                                 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
    }
    void TearDown() override {
        m_ras.clear();  // closes every instance (and may write a counter file) first
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kClassKey);
        for (const std::string& file : m_inDataFolder) DeleteFileA(file.c_str());
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    std::string KeyPath() const { return RasDeviceKeyPath(kClass, m_device); }
    // Writes a REG_SZ value, or removes the value when `text` is null.
    void Set(const char* name, const char* text) {
        if (text) {
            testutil::WriteRegText(HKEY_LOCAL_MACHINE, KeyPath(), name, text);
        } else {
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, KeyPath().c_str(), name);
        }
    }
    void Set(const char* name, const std::string& text) { Set(name, text.c_str()); }
    // The REG_SZ value, or "<absent>".
    std::string Text(const char* name) const {
        const testutil::RegValue v = testutil::ReadRegValue(HKEY_LOCAL_MACHINE, KeyPath(), name);
        return v.type == REG_SZ ? v.text : "<absent>";
    }

    CVmRAS& NewRas() {
        m_ras.push_back(std::make_unique<CVmRAS>(std::make_unique<RecordingEventLog>(m_journal)));
        return *m_ras.back();
    }
    LONG Open(CVmRAS& ras, LONG count = 1, const char* const* names = kNames) {
        return ras.Open(kClass, m_device.c_str(), "Cash Drawer", "\\\\.\\COM3", "BRAMWICK", nullptr,
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
    // A counter file in the data folder, removed after the test.
    std::string InDataFolder(const std::string& name) {
        m_inDataFolder.push_back(CounterDataFolder(nullptr) + "\\" + name);
        return m_inDataFolder.back();
    }

    std::string m_device;
    std::shared_ptr<EventJournal> m_journal = std::make_shared<EventJournal>();
    std::vector<std::unique_ptr<CVmRAS>> m_ras;
    std::vector<std::string> m_inDataFolder;
    const std::string m_folder = testproc::NewTempFolder("BramwickRas");
    std::string File(const std::string& name) const { return m_folder + "\\" + name; }
};

TEST_F(RasTest, OneBlockPerDeviceFilledByItsFirstUser) {
    Set("Statistics", "Memory");
    Set("EventLog", " verbose 2 ");
    Set("VerboseLimit", "3");
    CVmRAS& first = Opened();
    Set("EventLog", "Disable");  // read by the first user only
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

// The level words themselves are ras_rules_test.cpp's; here the registry values and the filter.
TEST_F(RasTest, ReportsPassOnlyAtTheirLevel) {
    const std::vector<uint32_t> both = {kRasMsgOperationFailed, kRasMsgOperationTimeout};
    const struct {
        const char *eventLog, *verboseLimit;  // no VerboseLimit value when null
        std::vector<uint32_t> written;
    } cases[] = {{"ENABLE", nullptr, {kRasMsgOperationFailed}},
                 {"Verbose1", nullptr, both},
                 {"Verbose2", nullptr, {}},
                 {"Verbose2", "3", both}};
    for (const auto& c : cases) {
        Set("EventLog", c.eventLog);
        Set("VerboseLimit", c.verboseLimit);
        m_journal->records.clear();
        CVmRAS& ras = Opened();
        EXPECT_OPOS(OPOS_SUCCESS, ras.ReportError(1, kRasMsgOperationFailed, "Opening Drawer"));
        EXPECT_OPOS(OPOS_SUCCESS, ras.ReportError(2, kRasMsgOperationTimeout, "to send"));
        std::vector<uint32_t> ids;
        for (const EventRecord& r : m_journal->records) ids.push_back(r.id);
        EXPECT_EQ(c.written, ids) << c.eventLog << " limit "
                                  << (c.verboseLimit ? c.verboseLimit : "-");
        m_ras.clear();  // the next case makes a new block
    }
    // A record carries the port, the device and the operation, and the raw data given.
    Set("EventLog", "Enable");
    m_journal->records.clear();
    const char* strings[] = {"a", "b"};
    CVmRAS& ras = Opened();
    EXPECT_OPOS(OPOS_SUCCESS, ras.ReportError(1, kRasMsgOperationFailed, "to init", 0x1234));
    EXPECT_OPOS(OPOS_SUCCESS,
                ras.ReportEvent(1, EVENTLOG_WARNING_TYPE, 0x800003ED, 0, nullptr, 2, strings));
    ASSERT_EQ(2u, m_journal->records.size());
    const EventRecord& error = m_journal->records[0];
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, error.type);
    EXPECT_EQ(0xC000006Fu, error.id);
    EXPECT_EQ((std::vector<std::string>{"COM3", m_device + "Cash Drawer", "to init"}),
              error.strings);
    EXPECT_EQ(std::string("\x34\x12\x00\x00", 4), error.data);
    EXPECT_EQ((std::vector<std::string>{"COM3", m_device + "Cash Drawer", "a", "b"}),
              m_journal->records[1].strings);
}

TEST_F(RasTest, ReportFailures) {
    Set("EventLog", "Enable");
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

TEST_F(RasTest, LevelWithBit31IsStoredInTheRegistry) {
    CVmRAS& ras = Opened();  // VerboseLimit absent: 1
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetEventLogLevel, kBit31 | 2).result);
    EXPECT_EQ("Verbose1", Text("EventLog"));
    EXPECT_EQ(2, Run(ras, kRasCmdGetEventLogLevel, 0).data);
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetEventLogLevel, kBit31 | 0).result);
    EXPECT_EQ("Disable", Text("EventLog"));
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetEventLogLevel, 1).result);
    EXPECT_EQ("Disable", Text("EventLog"));

    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSetEventLogLevel, 3).result);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSetEventLogLevel, kBit31 | 3).result);
    EXPECT_EQ("Disable", Text("EventLog"));
    // Not a text: the write is refused and nothing changes.
    const DWORD one = 1;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, KeyPath().c_str(), "EventLog", REG_DWORD, &one, 4);
    EXPECT_OPOS(OPOS_E_FAILURE, Run(ras, kRasCmdSetEventLogLevel, kBit31 | 2).result);
    EXPECT_EQ(1, Run(ras, kRasCmdGetEventLogLevel, 0).data);
}

// The counter text rules are ras_rules_test.cpp's; here the conversion and the argument checks.
TEST_F(RasTest, CounterTextFollowsTheBinaryConversionAndTheCounterWraps) {
    Set("Statistics", "Memory");
    CVmRAS& ras = Opened();
    for (int i = 0; i < 5; ++i) ASSERT_OPOS(OPOS_SUCCESS, ras.IncrementCounter(0));
    EXPECT_EQ(Nibbles(CounterLine(5)), Run(ras, kRasCmdSaveCounters, 1, "", OPOS_BC_NIBBLE).text);
    std::string decimal;
    for (unsigned char c : CounterLine(7)) {
        decimal += {char('0' + c / 100), char('0' + c / 10 % 10), char('0' + c % 10)};
    }
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 1, decimal, OPOS_BC_DECIMAL).result);
    EXPECT_EQ(CounterLine(7), Counters(ras));

    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdLoadCounters, 3, CounterLine(6)).result);
    LONG one = 1;
    EXPECT_OPOS(OPOS_E_ILLEGAL, ras.ExecuteCommand(kRasCmdLoadCounters, &one, nullptr, 0));
    ASSERT_OPOS(OPOS_SUCCESS, SetCounter(ras, 4294967295ul));
    EXPECT_OPOS(OPOS_SUCCESS, ras.IncrementCounter(0));
    EXPECT_EQ(CounterLine(0), Counters(ras));
}

TEST_F(RasTest, MemoryModeKeepsNoFileOfItsOwn) {
    Set("Statistics", "Memory");
    CVmRAS& ras = Opened();
    ASSERT_OPOS(OPOS_SUCCESS, SetCounter(ras, 9));
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 0).result);
    EXPECT_EQ(CounterLine(0), Counters(ras));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSaveCounters, 0).result);
    Io mode = Run(ras, kRasCmdGetStatisticsMode, -1, "untouched");
    EXPECT_EQ(kRasModeMemory, mode.data);
    EXPECT_EQ("untouched", mode.text);

    // Files named in the string are written and read in any mode but Disable.
    const std::string copy = File("copy.txt"), empty = File("empty.txt");
    ASSERT_OPOS(OPOS_SUCCESS, SetCounter(ras, 11));
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSaveCounters, 2, copy).result);
    EXPECT_EQ(CounterLine(11), ReadWholeFile(copy));
    ASSERT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 0).result);
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 2, copy).result);
    EXPECT_EQ(CounterLine(11), Counters(ras));
    ASSERT_TRUE(WriteWholeFile(empty, ""));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdLoadCounters, 2, empty).result);
    EXPECT_OPOS(OPOS_E_NOEXIST, Run(ras, kRasCmdLoadCounters, 2, File("no.txt")).result);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSaveCounters, 2, "").result);
}

TEST_F(RasTest, DisableModeCountsButShowsNothing) {
    CVmRAS& ras = Opened();
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSaveCounters, 1).result);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdLoadCounters, 0).result);
    EXPECT_OPOS(OPOS_SUCCESS, ras.IncrementCounter(0));
    ASSERT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetStatisticsMode, kRasModeMemory).result);
    EXPECT_EQ(CounterLine(1), Counters(ras));
    EXPECT_EQ("<absent>", Text("Statistics"));

    CVmRAS& noCounters = NewRas();
    ASSERT_OPOS(OPOS_SUCCESS, Open(noCounters, 0, nullptr));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(noCounters, kRasCmdSetStatisticsMode, 1).result);
}

// Every count is in the file before IncrementCounter returns; the last close writes it again.
TEST_F(RasTest, FileModeLoadsAtTheFirstOpenAndSavesAtEachCountAndTheLastClose) {
    const std::string file = File("counts.log");
    ASSERT_TRUE(WriteWholeFile(file, CounterLine(7)));
    Set("Statistics", "File");
    Set("StatFileName", file);
    CVmRAS& first = Opened();
    CVmRAS& second = Opened();
    EXPECT_EQ(CounterLine(7), Counters(first));
    EXPECT_OPOS(OPOS_SUCCESS, first.IncrementCounter(0));
    EXPECT_EQ(CounterLine(8), ReadWholeFile(file));
    EXPECT_OPOS(OPOS_SUCCESS, first.Close());
    ASSERT_TRUE(WriteWholeFile(file, CounterLine(0)));  // edited while a user is left
    EXPECT_OPOS(OPOS_SUCCESS, second.Close());
    EXPECT_EQ(CounterLine(8), ReadWholeFile(file));

    Set("StatFileName", File("missing\\counts.log"));
    EXPECT_OPOS(OPOS_E_NOEXIST, Opened().Close());  // the final write's result
}

TEST_F(RasTest, NamedFileWithBit31BecomesTheFileSetting) {
    Set("Statistics", "Memory");
    CVmRAS& ras = Opened();
    EXPECT_OPOS(OPOS_E_NOEXIST,
                Run(ras, kRasCmdSetStatisticsMode, kBit31 | 3, File("nowhere\\c.log")).result);
    EXPECT_OPOS(OPOS_E_ILLEGAL, Run(ras, kRasCmdSetStatisticsMode, 4).result);
    EXPECT_EQ("Memory", Text("Statistics"));

    const std::string file = File("named.log");
    ASSERT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetStatisticsMode, kBit31 | 3, file).result);
    EXPECT_EQ("File", Text("Statistics"));
    EXPECT_EQ(file, Text("StatFileName"));
    Io mode = Run(ras, kRasCmdGetStatisticsMode, 0);
    EXPECT_EQ(kRasModeFile, mode.data);
    EXPECT_EQ(file, mode.text);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesA(file.c_str()));  // probed, not left behind

    // Without a name it is the default file, and the registry gets an empty name.
    ASSERT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetStatisticsMode, kBit31 | 3, "").result);
    EXPECT_EQ("", Text("StatFileName"));
    EXPECT_EQ(InDataFolder("RAS" + m_device + ".LOG"), Run(ras, kRasCmdGetStatisticsMode, 0).text);
}

// A relative name is in the data folder, which the probe makes when it is missing.
TEST_F(RasTest, NamedFileWithoutBit31StaysOutOfTheRegistry) {
    Set("Statistics", "Memory");
    CVmRAS& ras = Opened();
    ASSERT_OPOS(OPOS_SUCCESS, SetCounter(ras, 4));
    const std::string file = InDataFolder("rel.txt");
    RemoveDirectoryA(CounterDataFolder(nullptr).c_str());  // goes only when empty
    ASSERT_OPOS(OPOS_SUCCESS,
                Run(ras, kRasCmdSetStatisticsMode, 3, Nibbles("rel.txt"), OPOS_BC_NIBBLE).result);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesA(file.c_str()));  // probed, not left behind
    EXPECT_EQ("Memory", Text("Statistics"));
    EXPECT_EQ("<absent>", Text("StatFileName"));
    Io mode = Run(ras, kRasCmdGetStatisticsMode, 0);
    EXPECT_EQ(kRasModeNamedFile, mode.data);
    EXPECT_EQ(file, mode.text);

    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSaveCounters, 0).result);
    EXPECT_EQ(CounterLine(4), ReadWholeFile(file));
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdLoadCounters, 0).result);  // rewrites the file
    EXPECT_EQ(CounterLine(0), ReadWholeFile(file));
}

TEST_F(RasTest, ADeviceInBothViewsKeepsItsSettingsInThe32BitView) {
    if (sizeof(void*) != 8) GTEST_SKIP() << "the 32-bit view is this program's own";
    Set("EventLog", "Disable");
    Set("Statistics", "Memory");
    // The same device in the 32-bit registry view, removed with its class at the end.
    HKEY view32 = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0,
                                           KEY_ALL_ACCESS | KEY_WOW64_32KEY, &view32));
    std::unique_ptr<HKEY__, decltype(&RegCloseKey)> closer(view32, &RegCloseKey);
    const std::string key32 = KeyPath().substr(strlen("SOFTWARE\\"));
    const std::string file = File("c32.log");
    for (const auto& [name, text] : {std::pair<const char*, std::string>{"EventLog", "Enable"},
                                     {"Statistics", "File"},
                                     {"StatFileName", file}}) {
        ASSERT_TRUE(testutil::WriteRegText(view32, key32, name, text));
    }

    CVmRAS& ras = Opened();
    EXPECT_EQ(1, Run(ras, kRasCmdGetEventLogLevel, 0).data);
    const Io mode = Run(ras, kRasCmdGetStatisticsMode, 0);
    EXPECT_EQ(kRasModeFile, mode.data);
    EXPECT_EQ(file, mode.text);
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetEventLogLevel, kBit31 | 2).result);
    EXPECT_EQ("Verbose1", testutil::ReadRegValue(view32, key32, "EventLog").text);
    EXPECT_EQ("Disable", Text("EventLog"));
    EXPECT_OPOS(OPOS_SUCCESS, ras.Close());
    EXPECT_EQ(CounterLine(0), ReadWholeFile(file));
    RegDeleteTreeA(view32, "OLEforRetail\\ServiceOPOS\\BramwickRasTest");
}

}  // namespace
