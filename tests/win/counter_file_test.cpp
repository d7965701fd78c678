// The counter file as an application meets it: the service through IDispatch with real BSTRs,
// real files and the event log recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "ras/vm_ras.h"
#include "so/cash_drawer.h"
#include "tests/win/recording_event_log.h"
#include "tests/win/scratch_device.h"
#include "tools/client/drawer_client.h"
#include "tests/win/test_util.h"

namespace {

using testutil::ReadWholeFile;
using testutil::WriteWholeFile;

std::shared_ptr<EventJournal> g_journal;

std::unique_ptr<RasEventLog> MakeRecorder() {
    return std::make_unique<RecordingEventLog>(g_journal);
}

std::string CounterLine(unsigned long value) {
    const std::string digits = std::to_string(value);
    return "DrawerOpenCount" + std::string(13 + 10 - digits.size(), ' ') + digits + "\r\n";
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

class CounterFile : public ::testing::Test {
protected:
    void SetUp() override {
        g_journal = std::make_shared<EventJournal>();
        m_previousMaker = SetRasEventLogMaker(&MakeRecorder);
        m_folder = testproc::NewTempFolder("BramwickCounterFile");
        ASSERT_FALSE(m_folder.empty());
        m_file = m_folder + "\\c.log";
        m_device.SetText("Trace_Enable", "False");
        m_device.SetText("EventLog", "Enable");
        m_device.SetText("Statistics", "File");
        m_device.SetText("StatFileName", m_file.c_str());
        fw::ComPtr<IDispatch> object;
        ASSERT_HR(S_OK, CCashDrawer::CreateInstance(IID_IDispatch, object.put_void()));
        m_drawer.Attach(object.get());
    }
    void TearDown() override {
        m_drawer.Attach(nullptr);
        SetRasEventLogMaker(m_previousMaker);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    // DirectIO with a real BSTR; the string comes back in *text when given.
    LONG DirectIO(LONG command, LONG data, const std::wstring& argument,
                  std::wstring* text = nullptr) {
        BSTR s = SysAllocStringLen(argument.data(), static_cast<UINT>(argument.size()));
        VARIANT r;
        VariantInit(&r);
        const HRESULT hr =
            m_drawer.Call(L"DirectIO", &r, command, fw::Arg::Ref(&data), fw::Arg::Ref(&s));
        if (text != nullptr) *text = s != nullptr ? std::wstring(s, SysStringLen(s)) : L"";
        SysFreeString(s);
        return SUCCEEDED(hr) ? V_I4(&r) : hr;
    }
    // The records written so far, as "type id %3 [%4]".
    std::vector<std::string> Records() const {
        std::vector<std::string> seen;
        for (const EventRecord& r : g_journal->records) {
            char head[32];
            snprintf(head, sizeof(head), "%u %08X", r.type, r.id);
            std::string line = head;
            for (size_t i = 2; i < r.strings.size(); ++i) line += " " + r.strings[i];
            EXPECT_EQ(m_device.name() + "Cash Drawer", r.strings.at(1));
            seen.push_back(line);
        }
        return seen;
    }
    std::vector<std::string> FilesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    testutil::ComApartment m_com;
    ScratchDevice m_device{"BramwickCounterFile"};
    DrawerClient m_drawer;
    RasEventLogMaker m_previousMaker = nullptr;
    std::string m_folder;
    std::string m_file;
};

// A lenient file is read and left alone; a cut one is kept aside with a record naming both.
TEST_F(CounterFile, AnUnreadableFileIsKeptAsideWithARecordAndAReadableOneIsLeftAlone) {
    const std::string lenient = "DrawerOpenCount                   1234\n\n \r\n";
    ASSERT_TRUE(WriteWholeFile(m_file, lenient));
    std::wstring counters;
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Open(m_device.name()));
    EXPECT_OPOS(OPOS_SUCCESS, DirectIO(115, 1, L"", &counters));
    EXPECT_EQ(Wide(CounterLine(1234)), counters);
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Close"));
    EXPECT_EQ(lenient, ReadWholeFile(m_file));
    EXPECT_TRUE(Records().empty());

    const std::string cut = "DrawerOpenCount                   12";
    ASSERT_TRUE(WriteWholeFile(m_file, cut));
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Open(m_device.name()));
    EXPECT_OPOS(OPOS_SUCCESS, DirectIO(115, 1, L"", &counters));
    EXPECT_EQ(Wide(CounterLine(0)), counters);
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Close"));
    EXPECT_EQ(CounterLine(0), ReadWholeFile(m_file));
    const std::vector<std::string> names = FilesInFolder();
    ASSERT_EQ(2u, names.size());
    const std::string aside = m_folder + "\\" + names[1];  // "c.log" comes first
    EXPECT_EQ(0u, aside.find(m_file + ".unreadable-")) << aside;
    EXPECT_EQ(cut, ReadWholeFile(aside));
    EXPECT_EQ((std::vector<std::string>{"2 800003EF " + m_file + " " + aside}), Records());
}

// DirectIO 112/115 refuse a file that is not a counter file (with a record) or a name with a NUL.
TEST_F(CounterFile, AFileThatIsNotACounterFileIsNeverReplaced) {
    const std::string library = m_folder + "\\k.dll";
    const std::string program = std::string("MZ\x90\0\x03\0\0\0", 8) + std::string(300, '\xFF');
    ASSERT_TRUE(WriteWholeFile(library, program));
    const std::string notes = m_folder + "\\notes.txt", memo = "Call the service man.\r\n";
    ASSERT_TRUE(WriteWholeFile(notes, memo));
    EXPECT_OPOS(OPOS_E_CLOSED, DirectIO(115, 2, Wide(library)));
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Open(m_device.name()));
    EXPECT_OPOS(OPOS_E_ILLEGAL, DirectIO(109, 0, Wide(library)));  // not a reliability command
    EXPECT_OPOS(OPOS_E_ILLEGAL, DirectIO(116, 2, Wide(library)));

    EXPECT_OPOS(OPOS_E_FAILURE, DirectIO(115, 2, Wide(library)));
    EXPECT_OPOS(OPOS_E_FAILURE, DirectIO(115, 2, Wide(notes)));
    EXPECT_OPOS(OPOS_E_FAILURE, DirectIO(112, 3, Wide(library)));
    EXPECT_EQ(program, ReadWholeFile(library));
    EXPECT_EQ(memo, ReadWholeFile(notes));
    EXPECT_EQ((std::vector<std::string>{"1 C0000071 " + library, "1 C0000071 " + notes,
                                        "1 C0000071 " + library}),
              Records());

    const std::string empty = m_folder + "\\empty.cnt", copy = m_folder + "\\copy.cnt";
    ASSERT_TRUE(WriteWholeFile(empty, ""));
    ASSERT_TRUE(WriteWholeFile(copy, CounterLine(77)));
    EXPECT_OPOS(OPOS_SUCCESS, DirectIO(115, 2, Wide(empty)));
    EXPECT_OPOS(OPOS_SUCCESS, DirectIO(115, 2, Wide(copy)));
    EXPECT_EQ(CounterLine(0), ReadWholeFile(copy));

    const std::wstring cut = Wide(m_folder + "\\x.txt") + std::wstring(1, L'\0') + L"y";
    EXPECT_OPOS(OPOS_E_ILLEGAL, DirectIO(115, 2, cut));
    EXPECT_OPOS(OPOS_E_ILLEGAL, DirectIO(112, 3, cut));
    EXPECT_OPOS(OPOS_E_ILLEGAL, DirectIO(114, 2, cut));
    EXPECT_EQ("<missing>", ReadWholeFile(m_folder + "\\x.txt"));

    // The records are of level 1: with the event log off the refusal is silent.
    ASSERT_OPOS(OPOS_SUCCESS, DirectIO(110, 0, L""));
    EXPECT_OPOS(OPOS_E_FAILURE, DirectIO(115, 2, Wide(library)));
    EXPECT_EQ(3u, Records().size());
}

// 258-character paths work; a reader without delete sharing gets the count written in place.
TEST_F(CounterFile, LongPathsAndReadersHoldingTheFileLoseNoCount) {
    const std::string longPath = m_folder + "\\" + std::string(258 - m_folder.size() - 1, 'a');
    ASSERT_EQ(258u, longPath.size());
    ASSERT_TRUE(WriteWholeFile(m_file, CounterLine(4)));
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Open(m_device.name()));
    EXPECT_OPOS(OPOS_SUCCESS, DirectIO(115, 2, Wide(longPath)));
    EXPECT_EQ(CounterLine(4), ReadWholeFile(longPath));

    {
        fw::UniqueFile reader(CreateFileA(m_file.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_OPOS(OPOS_SUCCESS, DirectIO(114, 1, Wide(CounterLine(5))));
    }
    EXPECT_EQ(CounterLine(5), ReadWholeFile(m_file));
    {
        fw::UniqueFile reader(CreateFileA(m_file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_OPOS(OPOS_E_FAILURE, DirectIO(114, 1, Wide(CounterLine(6))));
    }
    EXPECT_EQ(CounterLine(5), ReadWholeFile(m_file));
    ASSERT_TRUE(SetFileAttributesA(m_file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_OPOS(OPOS_E_FAILURE, DirectIO(115, 0, L""));
    SetFileAttributesA(m_file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_OPOS(OPOS_E_NOEXIST, DirectIO(115, 2, Wide(m_folder + "\\no\\c.log")));
    EXPECT_EQ(CounterLine(5), ReadWholeFile(m_file));
    EXPECT_EQ((std::vector<std::string>{longPath.substr(m_folder.size() + 1), "c.log"}),
              FilesInFolder())
        << "a temporary file was left behind";
}

}  // namespace
