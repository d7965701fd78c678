// ZeZAZ.dll's entry points and request results: what "Init" and "Term" give, what a request
// outside an open port returns, which open requests are refused and what the detail word then
// says, and that a controller is open in one place at a time.
#include "tests/win/port_lib_test_util.h"

namespace {

using portlib::Library;
using portlib::OpenOptions;
using portlib::Port;
using portlib::SimScope;

class PortLibTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lib.Load()); }
    Library lib;
};

TEST_F(PortLibTest, InitRefusesANullEntrySlotAndRequestsNeedAnOpenPort) {
    Port port(lib);
    Port other(lib);
    ASSERT_TRUE(port.valid());
    ASSERT_TRUE(other.valid());
    LONG detail = -1;
    EXPECT_EQ(0u, lib.init(nullptr, &detail));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, detail);
    lib.term(0xBADBAD);  // unknown handles are ignored

    DWORD got = 0;
    char buffer[4];
    EXPECT_EQ(ERROR_INVALID_HANDLE, port.Read(buffer, sizeof(buffer), &got));
    EXPECT_EQ(ERROR_INVALID_HANDLE, port.SetEventMask(0));
    EXPECT_EQ(0, port.Close()) << "closing a closed port is harmless";
    EXPECT_EQ(ERROR_INVALID_FUNCTION, port.Request({5}));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, port.Request({11}));
    EXPECT_EQ(ERROR_INVALID_HANDLE, port.Request({kPortClose}, 0xBADBAD));
}

// The detail word of a refused open: the failing step in bits 16 to 23, the error below.
LONG Detail(LONG step, LONG error) {
    return (step << 16) | (error & 0xFFFF);
}

TEST_F(PortLibTest, RefusedOpenRequestsNameTheFailingStep) {
    SimScope scope;
    struct Case {
        OpenOptions options;
        LONG result;
        LONG stage;
    };
    const Case cases[] = {
        {{""}, ERROR_INVALID_PARAMETER, 1},
        {{"SIM/1"}, ERROR_INVALID_NAME, 1},
        {{"SIM" + std::string(62, 'L')}, ERROR_INVALID_NAME, 1},  // 65 characters
        {{scope.name(), "19200,N,9,1"}, ERROR_INVALID_PARAMETER, 4},
        {{scope.name(), "fast"}, ERROR_INVALID_PARAMETER, 4},
    };
    for (const Case& c : cases) {
        Port port(lib);
        EXPECT_EQ(c.result, port.Open(c.options)) << c.options.port << " " << c.options.settings;
        EXPECT_EQ(Detail(c.stage, c.result), port.detail())
            << c.options.port << " " << c.options.settings;
        DWORD status = 0;
        EXPECT_EQ(ERROR_INVALID_HANDLE, port.GetModemStatus(&status)) << "the port stays closed";
    }
    // A serial port that does not exist fails at the device step with the system's error.
    Port missing(lib);
    const LONG result = missing.Open({"COM97"});
    EXPECT_NE(0, result);
    EXPECT_EQ(Detail(2, result), missing.detail());
}

TEST_F(PortLibTest, AControllerIsOpenInOnePlaceAtATime) {
    SimScope scope;
    Port first(lib);
    Port second(lib);
    ASSERT_EQ(0, first.Open({scope.name()}));
    EXPECT_EQ(ERROR_ALREADY_INITIALIZED, first.Open({scope.name()}));

    // The name is the same controller in any letter case.
    std::string lower = scope.name();
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(ERROR_ACCESS_DENIED, second.Open({lower}));
    EXPECT_EQ(Detail(2, ERROR_ACCESS_DENIED), second.detail());

    EXPECT_EQ(0, first.Close());
    DWORD status = 0;
    EXPECT_EQ(ERROR_INVALID_HANDLE, first.GetModemStatus(&status));
    ASSERT_EQ(0, second.Open({lower}));

    // Term without a close request closes too.
    second.Term();
    Port third(lib);
    EXPECT_EQ(0, third.Open({scope.name()}));
}

}  // namespace
