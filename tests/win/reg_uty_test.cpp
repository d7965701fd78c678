// CRegUty against a scratch registry key: typed reads with their defaults, guarded writes.
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

// The text rules are config_rules_test.cpp's; here the value types.
TEST_F(RegUtyTest, ReadsTakeTheirOwnValueTypesElseTheDefaultAndWritesOnlyText) {
    PutText("yes", "Tomorrow");
    PutDword("dword", 0xFFFFFFFF);
    PutText("text", "   42abc");
    PutText("expand", "12", REG_EXPAND_SZ);
    Put("zero-dword", REG_DWORD, "", 0);
    PutText("empty", "");
    Put("unterminated", REG_SZ, "abc", 3);
    Put("zero-size", REG_SZ, "", 0);
    CRegUty reg;
    ASSERT_EQ(0, reg.OpenKey(HKEY_LOCAL_MACHINE, kScratch, KEY_READ));

    // Booleans are texts starting with T; a DWORD is not a Boolean.
    EXPECT_TRUE(reg.GetBoolDefFalse("yes"));
    EXPECT_FALSE(reg.GetBoolDefFalse("dword"));
    EXPECT_TRUE(reg.GetBoolDefTrue("dword"));
    EXPECT_TRUE(reg.GetBoolDefTrue("missing"));

    // Numbers come from DWORDs or decimal REG_SZ text.
    EXPECT_EQ(-1, reg.GetLongDefZero("dword"));
    EXPECT_EQ(42, reg.GetLongDefMinusOne("text"));
    for (const char* other : {"expand", "zero-dword", "missing"}) {
        EXPECT_EQ(-1, reg.GetLongDefMinusOne(other)) << other;
    }

    // Strings are REG_SZ only and always terminated.
    auto text = [&](const char* name) {
        std::unique_ptr<char[]> value(reg.GetString(name));
        return value ? std::string(value.get()) : std::string("<null>");
    };
    EXPECT_EQ("", text("empty"));
    EXPECT_EQ("abc", text("unterminated"));
    for (const char* other : {"zero-size", "expand", "missing"}) {
        EXPECT_EQ("<null>", text(other)) << other;
    }
    EXPECT_EQ("fallback", reg.GetStringOr("missing", "fallback"));

    // Writes go to text values only, with the terminator; a key that did not open gives the
    // defaults and refuses writes.
    reg.CloseKey();
    ASSERT_EQ(0, reg.OpenKey(HKEY_LOCAL_MACHINE, kScratch, KEY_READ | KEY_WRITE));
    EXPECT_EQ(OPOS_E_FAILURE, reg.SetString("dword", "new"));
    EXPECT_EQ(-1, reg.GetLongDefZero("dword"));
    EXPECT_EQ(OPOS_SUCCESS, reg.SetString("created", "value"));
    EXPECT_EQ("value", reg.GetStringOr("created", ""));
    DWORD size = 0;
    RegQueryValueExA(m_key, "created", nullptr, nullptr, nullptr, &size);
    EXPECT_EQ(6u, size);
    reg.CloseKey();
    reg.CloseKey();  // closing twice is harmless

    EXPECT_NE(0, reg.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\BramwickTest\\Nowhere", KEY_READ));
    EXPECT_FALSE(reg.IsOpen());
    EXPECT_TRUE(reg.GetBoolDefTrue("x"));
    EXPECT_EQ(-1, reg.GetLongDefMinusOne("x"));
    EXPECT_EQ(OPOS_E_CLOSED, reg.SetString("x", "y"));
}

}  // namespace
