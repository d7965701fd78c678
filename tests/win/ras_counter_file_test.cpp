// Counter file I/O: the atomic replace and its failure paths, sharing while reading, and the
// probe made before a file mode is taken on (its other paths run in ras_test.cpp).
#include <gtest/gtest.h>

#include <string>

#include "framework/handles.h"
#include "ras/counter_file.h"
#include "tests/win/ras_test_util.h"
#include "tests/win/test_util.h"

namespace {

using namespace rastest;

class RasCounterFileTest : public ::testing::Test {
protected:
    ScratchFolder m_folder;
    const std::string m_file = m_folder.File("c.log");
};

TEST_F(RasCounterFileTest, TheFileIsReplacedAndReadWhileNobodyWritesIt) {
    ASSERT_OPOS(OPOS_SUCCESS, WriteCounterFile(m_file, CounterLine(1) + CounterLine(1)));
    ASSERT_OPOS(OPOS_SUCCESS, WriteCounterFile(m_file, CounterLine(2)));
    std::string contents;
    EXPECT_OPOS(OPOS_SUCCESS, ReadCounterFile(m_file, &contents));
    EXPECT_EQ(CounterLine(2), contents);
    EXPECT_FALSE(FileExists(CounterFileTempPath(m_file)));

    fw::UniqueFile writer(CreateFileA(m_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_OPOS(OPOS_E_FAILURE, ReadCounterFile(m_file, &contents));
}

TEST_F(RasCounterFileTest, AFailedWriteLeavesTheOldFileAsItWas) {
    EXPECT_OPOS(OPOS_E_NOEXIST, WriteCounterFile(m_folder.File("no\\c.log"), CounterLine(1)));
    ASSERT_TRUE(WriteWholeFile(m_file, CounterLine(5)));

    // The temporary file cannot be made: its name is taken by a folder.
    const std::string temp = CounterFileTempPath(m_file);
    ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr));
    EXPECT_OPOS(OPOS_E_FAILURE, WriteCounterFile(m_file, CounterLine(6)));
    EXPECT_EQ(CounterLine(5), ReadWholeFile(m_file));
    RemoveDirectoryA(temp.c_str());

    // The rename fails: a reader does not allow the file to be replaced.
    {
        fw::UniqueFile reader(CreateFileA(m_file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_OPOS(OPOS_E_FAILURE, WriteCounterFile(m_file, CounterLine(6)));
    }
    EXPECT_EQ(CounterLine(5), ReadWholeFile(m_file));
    EXPECT_FALSE(FileExists(temp));

    ASSERT_TRUE(SetFileAttributesA(m_file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_OPOS(OPOS_E_FAILURE, WriteCounterFile(m_file, CounterLine(6)));
    SetFileAttributesA(m_file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(CounterLine(5), ReadWholeFile(m_file));
}

TEST_F(RasCounterFileTest, TheProbeKeepsAnExistingFile) {
    ASSERT_TRUE(WriteWholeFile(m_file, CounterLine(5)));
    EXPECT_OPOS(OPOS_SUCCESS, CheckCounterFile(m_file));
    EXPECT_EQ(CounterLine(5), ReadWholeFile(m_file));
    EXPECT_EQ(ProgramPath(), LoadedModulePath(ProgramName().c_str()));
}

}  // namespace
