// The serial backend against a real line: a pseudo-terminal that Wine maps to a COM port, with
// tests/win/port_lib_controller.py answering on its far side. tests/win/port_lib_serial.sh sets
// this up and names the port in BRAMWICK_SERIAL_TEST_PORT; without it these tests skip. What a
// pseudo-terminal cannot show (modem lines, line events) is left to a Windows machine.
#include "tests/win/port_lib_test_util.h"

namespace {

using portlib::Bytes;
using portlib::Port;

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        name = testproc::Environment("BRAMWICK_SERIAL_TEST_PORT");
        if (name.empty()) {
            GTEST_SKIP() << "no serial line: run tests/win/port_lib_serial.sh, which maps a "
                            "pseudo-terminal with a controller to a COM port";
        }
        ASSERT_TRUE(lib.Load());
        port = std::make_unique<Port>(lib);
        // Settings the controller reports back as it sees them on the terminal. A Linux
        // pseudo-terminal refuses parity and data bits other than 8, so only the baud rate and
        // the stop bits can show that the settings reach the line.
        portlib::OpenOptions options{name, "9600,N,8,2"};
        ASSERT_EQ(0, port->Open(options)) << name << ", failed step " << port->detail();
        ASSERT_EQ(0, port->Purge(kPurgeAll));
    }
    void Write(const Bytes& bytes) {
        DWORD written = 0;
        ASSERT_EQ(0, port->Write(bytes, &written));
        ASSERT_EQ(bytes.size(), written);
    }

    std::string name;
    portlib::Library lib;
    std::unique_ptr<Port> port;
};

TEST_F(SerialPortTest, CommandsGoOutAndFramesComeBack) {
    Write({0x1B, 0x02, 0x01});
    EXPECT_EQ((Bytes{0x1B, 0x02, 0x00, 0x0D}), port->ReadAtLeast(4));
    Write({0x1B, 0x01, 0x01});
    EXPECT_EQ((Bytes{0x1B, 0x01, 0x02, 0x0D}), port->ReadAtLeast(4));
    Write({0x1B, 0x02, 0x01, 0x00});
    EXPECT_EQ((Bytes{0x1B, 0x02, 0x02, 0x0D}), port->ReadAtLeast(4));
    DWORD errors = 0xFFFF;
    COMSTAT stat{};
    ASSERT_EQ(0, port->ClearError(&errors, &stat));
    EXPECT_EQ(0u, errors);
    EXPECT_EQ(0u, stat.cbInQue);
}

TEST_F(SerialPortTest, SecondOpenOfTheSamePortIsRefused) {
    if (portlib::UnderWine()) GTEST_SKIP() << "Wine does not open COM ports exclusively";
    Port second(lib);
    const LONG result = second.Open({name});
    EXPECT_NE(0, result);
    EXPECT_EQ((2 << 16) | (result & 0xFFFF), second.detail());
}

TEST_F(SerialPortTest, SetEventMaskZeroEndsAPendingWait) {
    portlib::LineWait wait;
    const LONG armed = wait.Arm(*port);
    if (armed == ERROR_NOT_SUPPORTED && portlib::UnderWine()) {
        GTEST_SKIP() << "Wine cannot wait for line events on a pseudo-terminal";
    }
    ASSERT_EQ(0, armed);
    ASSERT_EQ(0, port->SetEventMask(0));
    ASSERT_TRUE(wait.Signalled());
    EXPECT_EQ(0u, wait.mask());
}

// The service's reader sets mask 0 between its waits; an answer that arrives then must end the
// next wait at once, which the backend sees from the input queue before it waits.
TEST_F(SerialPortTest, BytesQueuedUnderMaskZeroCompleteTheNextWaitAtOnce) {
    ASSERT_EQ(0, port->SetEventMask(0));
    Write({0x1B, 0x02, 0x01});
    ASSERT_TRUE(portlib::WaitUntil([&] { return port->InQueue() == 4; }));
    portlib::LineWait wait;
    ASSERT_EQ(0, wait.Arm(*port));
    const bool atOnce = wait.Signalled(0);
    if (!atOnce) port->SetEventMask(0);  // ends the wait: the block must not outlive it
    ASSERT_TRUE(atOnce) << "the answer came while the mask was 0";
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask());
    EXPECT_EQ(4u, port->ReadAtLeast(4).size()) << "the wait leaves the answer queued";
}

}  // namespace
