// The simulator backend through the request entry, with `cdctl sim` as the second process that
// changes the controller: answers and their delays, frames on changes, line events, the
// service's wait protocol, status-query requests (DllMode) and the state's persistence.
#include "tests/win/port_lib_test_util.h"

namespace {

using portlib::Bytes;
using portlib::LineWait;
using portlib::Port;
using portlib::SimScope;

constexpr char kDefaults[] =
    "drawer1=closed drawer2=closed cts=on dsr=on answer=on reply-delay=10 open-delay=50 "
    "notify=on autoclose=off openings=0";

const Bytes kStatusCommand = {0x1B, 0x02, 0x01};

Bytes Frame(uint8_t type, uint8_t bits) {
    return {0x1B, type, bits, 0x0D};
}

class SimPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Load());
        port = std::make_unique<Port>(lib);
        ASSERT_EQ(0, port->Open({scope.name()}));
    }
    // Runs `cdctl sim NAME args` and expects it to succeed.
    void Sim(const std::string& args) {
        const testproc::Outcome r = scope.Sim(args);
        EXPECT_EQ(0u, r.code) << args << ": " << r.output;
    }
    std::string Show() { return scope.Sim("show").output; }
    // Arms the service reader's wait, has cdctl do `args`, and gives the mask the wait ended
    // with; 0xFFFFFFFF when it could not be armed or did not end.
    DWORD EventOf(const std::string& args) {
        LineWait wait;
        if (wait.Arm(*port) != 0) return 0xFFFFFFFF;
        Sim(args);
        if (wait.Signalled()) return wait.mask();
        port->SetEventMask(0);  // ends the wait: the block must not outlive it
        return 0xFFFFFFFF;
    }
    void Write(const Bytes& bytes) {
        DWORD written = 0;
        ASSERT_EQ(0, port->Write(bytes, &written));
        ASSERT_EQ(bytes.size(), written);
    }

    SimScope scope;
    portlib::Library lib;
    // Outlives the port: a test that stops early leaves its wait to the close to end.
    LineWait lineWait;
    std::unique_ptr<Port> port;
};

// The delays themselves are sim_controller_test.cpp's, and the service's time-outs against them
// fault_matrix_test.cpp's.
TEST_F(SimPortTest, CommandsWrittenDuringAWaitAreAnswered) {
    LineWait wait;
    ASSERT_EQ(0, wait.Arm(*port));
    EXPECT_FALSE(wait.Signalled(0)) << "a wait starts with its event reset";
    Write(kStatusCommand);
    ASSERT_TRUE(wait.Signalled());
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask());
    EXPECT_EQ(0u, wait.overlapped()->Internal) << "the block reads as completed";
    EXPECT_EQ(Frame(0x02, 0), port->ReadAtLeast(4));

    Write({0x1B, 0x01, 0x01, 0x05});  // drawer 2, four-byte form with a pulse width
    EXPECT_EQ(Frame(0x01, 2), port->ReadAtLeast(4));
    EXPECT_NE(std::string::npos, Show().find("drawer1=closed drawer2=open"));
    Write({0x1B, 0x02, 0x01, 0x00});
    EXPECT_EQ(Frame(0x02, 2), port->ReadAtLeast(4));
}

TEST_F(SimPortTest, SetEventMaskCompletesAPendingWaitWithMaskZero) {
    LineWait wait;
    ASSERT_EQ(0, wait.Arm(*port));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, port->WaitEvent(wait.maskWord(), wait.overlapped()))
        << "one wait at a time";
    ASSERT_EQ(0, port->SetEventMask(0));
    ASSERT_TRUE(wait.Signalled(0)) << "completed by the request itself";
    EXPECT_EQ(0u, wait.mask());
    // With mask 0 there is nothing to wait for.
    EXPECT_EQ(ERROR_INVALID_PARAMETER, port->WaitEvent(wait.maskWord(), wait.overlapped()));
}

// Bytes that arrive while the service is between two waits must still wake its next wait, even
// though it sets the mask again first; only a mask without EV_RXCHAR forgets them.
TEST_F(SimPortTest, EventsBetweenWaitsCompleteTheNextWaitUnlessTheMaskDropsThem) {
    ASSERT_EQ(0, port->SetEventMask(kPortEventMask));
    Sim("inject 55");
    ASSERT_TRUE(portlib::WaitUntil([&] { return port->InQueue() == 1; }));
    LineWait& wait = lineWait;
    ASSERT_EQ(0, wait.Arm(*port));
    ASSERT_TRUE(wait.Signalled(0)) << "completed by the wait request itself";
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask());
    ASSERT_EQ(1u, port->ReadAtLeast(1).size());

    Sim("inject 56");
    ASSERT_TRUE(portlib::WaitUntil([&] { return port->InQueue() == 1; }));
    ASSERT_EQ(0, port->SetEventMask(EV_CTS));
    ASSERT_EQ(0, port->WaitEvent(wait.maskWord(), wait.overlapped()));
    EXPECT_FALSE(wait.Signalled(100)) << "queued bytes do not wake a mask without EV_RXCHAR";
    // Asking for EV_RXCHAR again ends that wait as any mask change does; the next wait then
    // finds the byte.
    ASSERT_EQ(0, port->SetEventMask(EV_RXCHAR));
    ASSERT_TRUE(wait.Signalled(0));
    EXPECT_EQ(0u, wait.mask());
    ASSERT_EQ(0, port->WaitEvent(wait.maskWord(), wait.overlapped()));
    ASSERT_TRUE(wait.Signalled(0));
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask());
    ASSERT_EQ(0, port->SetEventMask(0));
}

// The service's reader sets mask 0 after a time-out or a status request and arms again later: a
// frame that arrives in that gap (here the answer to a status command) is found at once.
TEST_F(SimPortTest, BytesQueuedUnderMaskZeroCompleteTheNextWaitAtOnce) {
    Sim("reply-delay 0");
    ASSERT_EQ(0, port->SetEventMask(0));
    Write(kStatusCommand);
    ASSERT_TRUE(portlib::WaitUntil([&] { return port->InQueue() == 4; }));
    LineWait& wait = lineWait;
    ASSERT_EQ(0, wait.Arm(*port));
    ASSERT_TRUE(wait.Signalled(0)) << "the frame came while the mask was 0";
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask());

    // A wait that ended without the bytes being read finds them again, mask unchanged.
    ASSERT_EQ(0, port->WaitEvent(wait.maskWord(), wait.overlapped()));
    ASSERT_TRUE(wait.Signalled(0)) << "unread bytes left from the last wait";
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask());

    // Once they are read, the wait waits for the next byte.
    EXPECT_EQ(Frame(0x02, 0), port->ReadAtLeast(4));
    ASSERT_EQ(0, port->WaitEvent(wait.maskWord(), wait.overlapped()));
    EXPECT_FALSE(wait.Signalled(100)) << "nothing queued";
    Sim("inject 57");
    ASSERT_TRUE(wait.Signalled());
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask());
}

// Each change cdctl makes ends the service reader's wait with its own event; notification on
// and off is sim_controller_test.cpp's.
TEST_F(SimPortTest, ChangesFromAnotherProcessEndTheWaitWithTheirEvent) {
    const struct {
        const char* args;
        DWORD event;
        DWORD modemStatus;  // afterwards
    } cases[] = {{"open 1", EV_RXCHAR, MS_CTS_ON | MS_DSR_ON},
                 {"cts off", EV_CTS, MS_DSR_ON},
                 {"dsr off", EV_DSR, 0},
                 {"break", EV_BREAK, 0}};
    DWORD status = 0, errors = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(c.event, EventOf(c.args)) << c.args;
        ASSERT_EQ(0, port->GetModemStatus(&status));
        EXPECT_EQ(c.modemStatus, status) << c.args;
        // Read at once: a frame left queued would end every later wait with EV_RXCHAR.
        if (c.event == EV_RXCHAR) {
            EXPECT_EQ(Frame(0x01, 1), port->ReadAtLeast(4));
        }
    }
    COMSTAT stat{};
    ASSERT_EQ(0, port->ClearError(&errors, &stat));
    EXPECT_EQ(static_cast<DWORD>(CE_BREAK), errors);
    EXPECT_EQ(static_cast<DWORD>(EV_ERR), EventOf("error"));
    EXPECT_EQ(0, port->LineError());
    ASSERT_EQ(0, port->ClearError(&errors, &stat));
    EXPECT_EQ(0u, errors) << "the reported line error is forgotten";

    Write(kStatusCommand);  // with the lines off: refusing it is the service's business
    EXPECT_EQ(Frame(0x02, 1), port->ReadAtLeast(4));
}

TEST_F(SimPortTest, PurgeAndShortReads) {
    Sim("inject 01 02 03 04");
    ASSERT_EQ(4u, port->ReadAtLeast(4).size());
    Sim("inject 05 06 07");
    ASSERT_TRUE(portlib::WaitUntil([&] { return port->InQueue() == 3; }));
    uint8_t buffer[8] = {};
    DWORD got = 0;
    // More than is there: the read ends after its total time-out with what it has.
    ASSERT_EQ(0, port->Read(buffer, 2, &got));
    EXPECT_EQ(2u, got);
    ASSERT_EQ(0, port->Read(buffer, 8, &got));
    EXPECT_EQ(1u, got);
    EXPECT_EQ(0x07, buffer[0]);

    Sim("inject 08");
    ASSERT_TRUE(portlib::WaitUntil([&] { return port->InQueue() == 1; }));
    ASSERT_EQ(0, port->Purge(kPurgeAll));
    EXPECT_EQ(0u, port->InQueue());
    EXPECT_EQ(ERROR_INVALID_PARAMETER, port->Purge(0x10));
}

TEST_F(SimPortTest, DllModeSetsTheStatusRequestEventRepeatedly) {
    HANDLE request = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(0, port->Close());
    portlib::OpenOptions options{scope.name()};
    options.dllMode = 40;
    options.statusRequest = request;
    ASSERT_EQ(0, port->Open(options));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(request, 5000)) << "request " << i;
        ResetEvent(request);
    }
    EXPECT_EQ(0, port->Close());
    CloseHandle(request);
}

TEST_F(SimPortTest, StatePersistsAcrossCloseReopenAndProcesses) {
    Write({0x1B, 0x01, 0x00});
    ASSERT_EQ(Frame(0x01, 1), port->ReadAtLeast(4));
    Sim("reply-delay 0");
    ASSERT_EQ(0, port->Close());
    port.reset();

    EXPECT_EQ(
        "drawer1=open drawer2=closed cts=on dsr=on answer=on reply-delay=0 open-delay=50 "
        "notify=on autoclose=off openings=1",
        Show());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(scope.StateFile().c_str()));
    // An injection finds no open port now.
    EXPECT_EQ(1u, scope.Sim("break").code);

    port = std::make_unique<Port>(lib);
    ASSERT_EQ(0, port->Open({scope.name()}));
    Write(kStatusCommand);
    EXPECT_EQ(Frame(0x02, 1), port->ReadAtLeast(4));
}

// The parser's refusals are sim_command_test.cpp's; here what the process gives back.
TEST(CdctlSim, ExitCodesAndMessages) {
    SimScope scope;
    testproc::Outcome r = scope.Sim("show");
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ(kDefaults, r.output);
    for (const char* bad : {"open 3", "fly"}) {
        r = scope.Sim(bad);
        EXPECT_EQ(2u, r.code) << bad;
        EXPECT_NE(std::string::npos, r.output.find("cdctl sim: ")) << bad << ": " << r.output;
    }
    EXPECT_EQ(2u, portlib::RunCdctl("sim COM1 show").code);
}

}  // namespace
