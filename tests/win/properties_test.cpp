// The property set of a service object as a control object reads and writes it: initial
// values, the setter rules and what each accessor does to ResultCode.
#include "tests/win/service_fixture.h"

namespace {

class Properties : public ServiceTest {
protected:
    Properties() : ServiceTest("BramwickTestProperties") {}
    LONG Get(LONG index) {
        const LONG value = m_drawer.Number(index);
        EXPECT_HR(S_OK, m_drawer.LastResult());
        return value;
    }
    std::wstring GetString(LONG index) { return m_drawer.Text(index); }
};

// The setters that check their value refuse with 106 and keep the old one; reads leave
// ResultCode alone. PowerNotify changes only while disabled.
TEST_F(Properties, CheckedSettersKeepTheOldValue) {
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_BinaryConversion, OPOS_BC_DECIMAL));
    for (LONG bad : {3, -1, 256}) {
        EXPECT_OPOS(OPOS_E_ILLEGAL, Set(PIDX_BinaryConversion, bad)) << bad;
        EXPECT_EQ(OPOS_BC_DECIMAL, Get(PIDX_BinaryConversion));
        EXPECT_EQ(L"[Error]", GetString(1000005));
        EXPECT_OPOS(OPOS_E_ILLEGAL, Get(PIDX_ResultCode));
    }
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_BinaryConversion, OPOS_BC_NIBBLE));
    EXPECT_EQ(OPOS_BC_NIBBLE, Get(PIDX_BinaryConversion));

    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_PowerNotify, OPOS_PN_ENABLED));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Set(PIDX_PowerNotify, 2));
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_DeviceEnabled, 1));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Set(PIDX_PowerNotify, OPOS_PN_DISABLED));
    EXPECT_EQ(OPOS_PN_ENABLED, Get(PIDX_PowerNotify));
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_DeviceEnabled, 0));
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_PowerNotify, OPOS_PN_DISABLED));
    EXPECT_EQ(OPOS_PN_DISABLED, Get(PIDX_PowerNotify));
}

// Any non-zero value sets a Boolean; enabling and disabling leave PowerState unknown.
TEST_F(Properties, BooleansTakeAnyNonZeroAsTrue) {
    for (LONG index : {PIDX_DeviceEnabled, PIDX_FreezeEvents}) {
        for (LONG value : {5, -7, 1, 0}) {
            EXPECT_OPOS(OPOS_SUCCESS, Set(index, value)) << index << " = " << value;
            EXPECT_EQ(value != 0, Get(index)) << index << " = " << value;
            EXPECT_EQ(OPOS_PS_UNKNOWN, Get(PIDX_PowerState));
        }
    }
}

TEST_F(Properties, ReadOnlyNumbersAndAllStringsIgnoreWrites) {
    struct {
        LONG index, value, expected;
    } cases[] = {{PIDX_State, OPOS_S_IDLE, OPOS_S_CLOSED},
                 {PIDX_ServiceObjectVersion, 1, 1013001},
                 {PIDX_Claimed, 1, 0},
                 {PIDX_PowerState, OPOS_PS_ONLINE, OPOS_PS_UNKNOWN},
                 {PIDXCash_DrawerOpened, 1, 0},
                 {PIDX_CapUpdateFirmware, 1, 0},
                 {PIDX_ResultCodeExtended, 9, 0},
                 {4242, 1, 0}};
    for (LONG index : {1000005, 1000000, 0, 8}) {
        EXPECT_EQ(L"[Error]", GetString(index)) << "index " << index;
    }
    for (const auto& c : cases) {
        EXPECT_OPOS(OPOS_SUCCESS, Set(c.index, c.value)) << "index " << c.index;
        EXPECT_EQ(c.expected, Get(c.index)) << "index " << c.index;
    }
    // ResultCode cannot be written: the write reports its own success instead.
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_ResultCode, 106));

    Set(PIDX_BinaryConversion, 7);  // leave ResultCode at 106 first
    EXPECT_HR(S_OK, m_drawer.Call(L"SetPropertyString", nullptr, PIDX_DeviceName, L"Mine"));
    EXPECT_OPOS(OPOS_SUCCESS, Get(PIDX_ResultCode));
    EXPECT_EQ(L"Velmora Cash Drawer", GetString(PIDX_DeviceName));
}

}  // namespace
