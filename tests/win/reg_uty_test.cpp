// CRegUty against the real registry: typed reads with their defaults, and guarded writes.
// Uses a scratch key under HKLM\SOFTWARE that each test creates and removes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "util/opos_constants.h"
#include "util/reg_uty.h"

namespace {

constexpr char kScratch[] = "SOFTWARE\\BramwickTest\\RegUty";

class RegUtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kScratch);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kScratch, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &m_key, nullptr));
    }
    void TearDown() override {
        RegCloseKey(m_key);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kScratch);
    }
    void Put(const char* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(m_key, nullptr, name, type, data, size));
    }
    void PutText(const char* name, const char* text, DWORD type = REG_SZ) {
        Put(name, type, text, static_cast<DWORD>(strlen(text) + 1));
    }
    void PutDword(const char* name, DWORD value) { Put(name, REG_DWORD, &value, sizeof(value)); }

    HKEY m_key = nullptr;
};

// The text rules themselves are config_rules_test.cpp's; here the value types.
TEST_F(RegUtyTest, BooleansAreTextsStartingWithT) {
    PutText("yes", "Tomorrow");
    PutText("blank", " True");
    PutDword("dword", 1);
    CRegUty reg;
    ASSERT_EQ(0, reg.OpenKey(HKEY_LOCAL_MACHINE, kScratch, KEY_READ));
    EXPECT_TRUE(reg.GetBoolDefFalse("yes"));
    EXPECT_FALSE(reg.GetBoolDefTrue("blank"));
    // A DWORD is not a Boolean: the default applies.
    EXPECT_FALSE(reg.GetBoolDefFalse("dword"));
    EXPECT_TRUE(reg.GetBoolDefTrue("dword"));
    EXPECT_TRUE(reg.GetBoolDefTrue("missing"));
    EXPECT_FALSE(reg.GetBoolDefFalse("missing"));
}

TEST_F(RegUtyTest, NumbersComeFromDwordsOrDecimalText) {
    PutDword("dword", 0xFFFFFFFF);
    PutText("text", "   42abc");
    PutText("letters", "abc");
    PutText("expand", "12", REG_EXPAND_SZ);
    Put("binary", REG_BINARY, "\x05\x00\x00\x00", 4);
    Put("zero-size", REG_DWORD, "", 0);
    CRegUty reg;
    ASSERT_EQ(0, reg.OpenKey(HKEY_LOCAL_MACHINE, kScratch, KEY_READ));
    EXPECT_EQ(-1, reg.GetLongDefZero("dword"));
    EXPECT_EQ(42, reg.GetLongDefMinusOne("text"));
    // The value exists and reads as 0: the default does not apply.
    EXPECT_EQ(0, reg.GetLongDefMinusOne("letters"));
    EXPECT_EQ(-1, reg.GetLongDefMinusOne("expand"));
    EXPECT_EQ(-1, reg.GetLongDefMinusOne("binary"));
    EXPECT_EQ(-1, reg.GetLongDefMinusOne("zero-size"));
    EXPECT_EQ(0, reg.GetLongDefZero("missing"));
    EXPECT_EQ(-1, reg.GetLongDefMinusOne("missing"));
}

TEST_F(RegUtyTest, StringsAreRegSzOnlyAndAlwaysTerminated) {
    PutText("empty", "");
    Put("unterminated", REG_SZ, "abc", 3);
    Put("zero-size", REG_SZ, "", 0);
    PutText("expand", "%TEMP%", REG_EXPAND_SZ);
    CRegUty reg;
    ASSERT_EQ(0, reg.OpenKey(HKEY_LOCAL_MACHINE, kScratch, KEY_READ));
    std::unique_ptr<char[]> empty(reg.GetString("empty"));
    ASSERT_NE(nullptr, empty);
    EXPECT_STREQ("", empty.get());
    std::unique_ptr<char[]> unterminated(reg.GetString("unterminated"));
    ASSERT_NE(nullptr, unterminated);
    EXPECT_STREQ("abc", unterminated.get());
    EXPECT_EQ(nullptr, std::unique_ptr<char[]>(reg.GetString("zero-size")));
    EXPECT_EQ(nullptr, std::unique_ptr<char[]>(reg.GetString("expand")));
    EXPECT_EQ(nullptr, std::unique_ptr<char[]>(reg.GetString("missing")));
    EXPECT_EQ("fallback", reg.GetStringOr("missing", "fallback"));
}

TEST_F(RegUtyTest, SetStringWritesOnlyTextValues) {
    PutDword("dword", 9);
    PutText("text", "old");
    CRegUty reg;
    ASSERT_EQ(0, reg.OpenKey(HKEY_LOCAL_MACHINE, kScratch, KEY_READ | KEY_WRITE));
    EXPECT_EQ(OPOS_E_FAILURE, reg.SetString("dword", "new"));
    EXPECT_EQ(9, reg.GetLongDefZero("dword"));
    EXPECT_EQ(OPOS_SUCCESS, reg.SetString("text", "new"));
    EXPECT_EQ("new", reg.GetStringOr("text", ""));
    EXPECT_EQ(OPOS_SUCCESS, reg.SetString("created", "value"));
    EXPECT_EQ("value", reg.GetStringOr("created", ""));
    DWORD size = 0;
    RegQueryValueExA(m_key, "created", nullptr, nullptr, nullptr, &size);
    EXPECT_EQ(6u, size);  // the terminator is stored
}

TEST_F(RegUtyTest, AFailedOpenGivesDefaultsAndRefusesWrites) {
    CRegUty reg;
    EXPECT_NE(0, reg.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\BramwickTest\\Nowhere", KEY_READ));
    EXPECT_FALSE(reg.IsOpen());
    EXPECT_TRUE(reg.GetBoolDefTrue("x"));
    EXPECT_EQ(-1, reg.GetLongDefMinusOne("x"));
    EXPECT_EQ(nullptr, std::unique_ptr<char[]>(reg.GetString("x")));
    EXPECT_EQ(OPOS_E_CLOSED, reg.SetString("x", "y"));
    reg.CloseKey();  // closing nothing is harmless
    ASSERT_EQ(0, reg.OpenKey(HKEY_LOCAL_MACHINE, kScratch, KEY_READ));
    reg.CloseKey();
    reg.CloseKey();
    EXPECT_FALSE(reg.IsOpen());
}

}  // namespace
