// What cdctl prints where it is more than a table: timestamps, counter texts and quoting. The
// names of results, events and modes show in the transcripts of cdctl_commands_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "tools/cdctl/cdctl_text.h"

namespace {

TEST(CdctlText, CounterTextLinesAreSplitIntoNameAndValue) {
    const std::string line = "DrawerOpenCount                      5\r\n";
    ASSERT_EQ(40u, line.size());
    const std::string other = "Other" + std::string(23, ' ') + "4294967295\r\n";
    ASSERT_EQ(40u, other.size());
    auto lines = cdctl::SplitCounterText(line + other);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("DrawerOpenCount", lines[0].first);
    EXPECT_EQ("5", lines[0].second);
    EXPECT_EQ("Other", lines[1].first);
    EXPECT_EQ("4294967295", lines[1].second);
    // A line without CR LF at its end, or a short tail, is not a counter line.
    EXPECT_TRUE(cdctl::SplitCounterText(line.substr(0, 39)).empty());
    EXPECT_TRUE(cdctl::SplitCounterText(line.substr(0, 38) + " \n").empty());
    EXPECT_EQ(1u, cdctl::SplitCounterText(line + "tail").size());
}

TEST(CdctlText, QuotedShowsControlCharacters) {
    EXPECT_EQ("\"plain\"", cdctl::Quoted("plain"));
    EXPECT_EQ("\"a\\r\\nb\"", cdctl::Quoted("a\r\nb"));
    EXPECT_EQ("\"\\\"q\\\" C:\\dir\\ \\t\"", cdctl::Quoted("\"q\" C:\\dir\\ \t"));
    EXPECT_EQ("\"\\x01\\x7F\"", cdctl::Quoted(std::string("\x01\x7f")));
    EXPECT_EQ("\"\"", cdctl::Quoted(""));
}

}  // namespace
