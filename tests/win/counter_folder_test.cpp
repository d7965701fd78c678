// Where CVmRAS keeps the default counter file and relative names: "Bramwick" in the common
// application data folder, one folder for the 32- and 64-bit builds, made when a file is first
// written there. The path rules themselves are ras_rules_test.cpp's.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ras/event_log.h"
#include "ras/ras_rules.h"
#include "ras/vm_ras.h"
#include "tests/win/test_util.h"
#include "util/opos_constants.h"

namespace {

constexpr char kClass[] = "BramwickCounterFolderTest";
constexpr char kClassKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\BramwickCounterFolderTest";
const char* const kNames[] = {"DrawerOpenCount             "};

std::string CounterLine(unsigned long value) {
    const std::string digits = std::to_string(value);
    return kNames[0] + std::string(10 - digits.size(), ' ') + digits + "\r\n";
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class NoEventLog final : public RasEventLog {
public:
    bool Available() override { return false; }
    bool Register(const char*, const char*) override { return false; }
    bool Write(uint16_t, uint16_t, uint32_t, const char* const*, uint16_t, const void*,
               uint32_t) override {
        return false;
    }
    void Deregister() override {}
};

class RasCounterFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char common[MAX_PATH] = {};
        ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common));
        m_folder = std::string(common) + "\\Bramwick";
        // An empty folder goes, so that the service has to make it again; one that holds
        // files is left alone.
        RemoveDirectoryA(m_folder.c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kClassKey);
        ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, KeyPath(), "EventLog", "Disable"));
    }
    void TearDown() override {
        m_ras.reset();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kClassKey);
        for (const std::string& file : m_files) DeleteFileA(file.c_str());
        RemoveDirectoryA(m_folder.c_str());
    }

    static std::string KeyPath() { return RasDeviceKeyPath(kClass, "Dev"); }
    // A file in the data folder, removed after the test.
    std::string InDataFolder(const std::string& name) {
        m_files.push_back(m_folder + "\\" + name);
        return m_files.back();
    }
    // Opened with this program as the module: the old home of relative counter files.
    CVmRAS& Opened() {
        char exe[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        const std::string program = std::string(exe).substr(std::string(exe).rfind('\\') + 1);
        m_ras = std::make_unique<CVmRAS>(std::make_unique<NoEventLog>());
        EXPECT_OPOS(OPOS_SUCCESS, m_ras->Open(kClass, "Dev", "Cash Drawer", "COM3", "BRAMWICK",
                                              nullptr, 1, kNames, program.c_str()));
        return *m_ras;
    }
    static LONG Run(CVmRAS& ras, LONG command, LONG* data, std::string* text) {
        return ras.ExecuteCommand(command, data, text, OPOS_BC_NONE);
    }

    std::string m_folder;
    std::vector<std::string> m_files;
    std::unique_ptr<CVmRAS> m_ras;
};

TEST_F(RasCounterFolder, TheDefaultFileOfADeviceIsMadeInTheCommonDataFolder) {
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, KeyPath(), "Statistics", "File"));
    const std::string file = InDataFolder("RASDev.LOG");
    CVmRAS& ras = Opened();
    LONG data = 0;
    std::string text;
    ASSERT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdGetStatisticsMode, &data, &text));
    EXPECT_EQ(file, text);
    EXPECT_OPOS(OPOS_SUCCESS, ras.IncrementCounter(0));
    EXPECT_OPOS(OPOS_SUCCESS, ras.Close());
    EXPECT_EQ(CounterLine(1), ReadWholeFile(file));
}

// Choosing a file probes it by making it: the folder must be there before the first write.
TEST_F(RasCounterFolder, ARelativeNameIsProbedAndSavedInTheDataFolder) {
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, KeyPath(), "Statistics", "Memory"));
    const std::string file = InDataFolder("rel.txt");
    CVmRAS& ras = Opened();
    ASSERT_OPOS(OPOS_SUCCESS, ras.IncrementCounter(0));
    LONG data = 3;
    std::string text = "rel.txt";
    ASSERT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSetStatisticsMode, &data, &text));
    EXPECT_FALSE(Exists(file));  // probed, not left behind
    data = 0;
    EXPECT_OPOS(OPOS_SUCCESS, Run(ras, kRasCmdSaveCounters, &data, nullptr));
    EXPECT_EQ(CounterLine(1), ReadWholeFile(file));
}

}  // namespace
