// ZeZAZ.dll through "Init", "Term" and its request entry, as the service uses it: refusals, the
// simulator backend driven by `cdctl sim` from another process, and the serial backend against
// a pseudo-terminal (port_lib_serial.sh sets BRAMWICK_SERIAL_TEST_PORT; else those tests skip).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <type_traits>
#include <memory>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "framework/module.h"
#include "link/port_abi.h"
#include "link/port_open_params.h"
#include "tests/win/sim_control.h"

namespace {

using Bytes = std::vector<uint8_t>;

inline bool WaitUntil(const std::function<bool()>& condition, DWORD limitMs = 5000) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    while (!condition()) {
        if (GetTickCount64() >= end) return false;
        Sleep(5);
    }
    return true;
}

struct Library {
    bool Load() {
        module.reset(LoadLibraryA((testproc::OutDir() + "\\ZeZAZ.dll").c_str()));
        init = fw::GetProc<PortInitFn>(module.get(), "Init");
        term = fw::GetProc<PortTermFn>(module.get(), "Term");
        return init && term;
    }
    fw::UniqueModule module;
    PortInitFn init = nullptr;
    PortTermFn term = nullptr;
};

struct OpenOptions {
    std::string port;
    std::string settings = "19200,N,8,1";
    LONG dllMode = 0;
    HANDLE statusRequest = nullptr;
};

class Port {
public:
    explicit Port(const Library& lib) : m_lib(lib) { m_handle = lib.init(&m_entry, &m_initDetail); }
    ~Port() { Term(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    void Term() {
        if (m_handle) m_lib.term(m_handle);
        m_handle = 0;
    }
    bool valid() const { return m_handle != 0 && m_entry != nullptr; }
    LONG detail() const { return m_detail; }
    PortRequestFn entry() const { return m_entry; }

    // One request record: the code, then each argument as a word.
    template <class... Args>
    LONG Request(PortWord code, Args... args) {
        PortWord record[] = {code, Word(args)..., 0};
        return m_entry(m_handle, record);
    }

    LONG Open(const OpenOptions& o) {
        DeviceConfig config;
        config.port = o.port;
        config.portInitializeString = o.settings;
        config.dllMode = o.dllMode;
        const std::string none;
        m_detail = 0;
        PortOpenRequest r{};
        r.code = kPortOpen;
        FillPortOpenParams({&config, &none, &none, &none, o.statusRequest, nullptr, &m_detail},
                           &r.params);
        return m_entry(m_handle, reinterpret_cast<PortWord*>(&r));
    }
    LONG Close() { return Request(kPortClose); }
    LONG Read(void* buffer, DWORD count, DWORD* got) {
        return Request(kPortRead, buffer, count, got, 0);
    }
    LONG Write(const Bytes& b, DWORD* written) {
        return Request(kPortWrite, b.data(), b.size(), written, 0);
    }
    LONG WaitEvent(DWORD* mask, OVERLAPPED* ov) { return Request(kPortWaitEvent, mask, ov); }
    LONG Purge(PortWord flags) { return Request(kPortPurge, flags); }
    LONG ClearError(DWORD* errors, COMSTAT* stat) { return Request(kPortClearError, errors, stat); }
    LONG GetModemStatus(DWORD* status) { return Request(kPortGetModemStatus, status); }
    LONG SetEventMask(DWORD mask) { return Request(kPortSetEventMask, mask); }

    DWORD InQueue() {
        DWORD errors = 0;
        COMSTAT stat{};
        return ClearError(&errors, &stat) == 0 ? stat.cbInQue : 0;
    }
    Bytes ReadAtLeast(size_t count) {
        if (!WaitUntil([&] { return InQueue() >= count; })) return {};
        Bytes bytes(InQueue());
        DWORD got = 0;
        if (Read(bytes.data(), static_cast<DWORD>(bytes.size()), &got) != 0) return {};
        bytes.resize(got);
        return bytes;
    }

private:
    template <class T>
    static PortWord Word(T value) {
        if constexpr (std::is_pointer_v<T>) {
            return reinterpret_cast<PortWord>(value);
        } else {
            return static_cast<PortWord>(value);
        }
    }
    const Library& m_lib;
    PortRequestFn m_entry = nullptr;
    PortWord m_handle = 0;
    LONG m_initDetail = -1;
    LONG m_detail = 0;
};

void WriteAll(Port& port, const Bytes& bytes) {
    DWORD written = 0;
    ASSERT_EQ(0, port.Write(bytes, &written));
    ASSERT_EQ(bytes.size(), written);
}

// The service reader's wait: SetEventMask, WaitEvent on its own block, a wait on its event.
struct LineWait {
    LineWait() { ov.hEvent = event.get(); }
    LONG Arm(Port& port) {
        mask = 0xDEADBEEF;
        const LONG r = port.SetEventMask(kPortEventMask);
        return r != 0 ? r : port.WaitEvent(&mask, &ov);
    }
    LONG Again(Port& port) { return port.WaitEvent(&mask, &ov); }
    bool Signalled(DWORD limitMs = 5000) const {
        return WaitForSingleObject(ov.hEvent, limitMs) == WAIT_OBJECT_0;
    }
    fw::UniqueKernel event{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED ov{};
    DWORD mask = 0;
};

// A fresh simulator state folder (BRAMWICK_SIM_DIR, inherited by cdctl) and a unique name.
class SimScope {
public:
    SimScope() {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_folder = testproc::NewTempFolder("bwsim_" + test);
        SetEnvironmentVariableA("BRAMWICK_SIM_DIR", m_folder.c_str());
        m_name = "SIM_" + std::to_string(GetCurrentProcessId()) + "_" + test.substr(0, 40);
        for (char& c : m_name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    ~SimScope() {
        SetEnvironmentVariableA("BRAMWICK_SIM_DIR", nullptr);
        DeleteFileA((m_folder + "\\" + m_name + ".sim").c_str());
        RemoveDirectoryA(m_folder.c_str());
    }
    const std::string& name() const { return m_name; }
    testproc::Outcome Sim(const std::string& args) const {
        return testproc::Cdctl("sim " + m_name + " " + args, 20000);
    }

private:
    std::string m_folder;
    std::string m_name;
};

class PortLibTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lib.Load()); }
    Library lib;
};

// The detail word of a refused open: the failing step in bits 16 to 23, the error below.
LONG Detail(LONG step, LONG error) {
    return (step << 16) | (error & 0xFFFF);
}

TEST_F(PortLibTest, InitRefusalsRequestsThatNeedAnOpenPortAndRefusedOpens) {
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
    EXPECT_EQ(ERROR_INVALID_FUNCTION, port.Request(11));
    PortWord close[] = {kPortClose, 0};
    EXPECT_EQ(ERROR_INVALID_HANDLE, port.entry()(0xBADBAD, close));

    // A refused open names the failing step in the detail word, and the port stays closed.
    EXPECT_EQ(ERROR_INVALID_PARAMETER, port.Open({""}));
    EXPECT_EQ(Detail(1, ERROR_INVALID_PARAMETER), port.detail());
    SimScope scope;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, other.Open({scope.name(), "19200,N,9,1"}));
    EXPECT_EQ(Detail(4, ERROR_INVALID_PARAMETER), other.detail());
    EXPECT_EQ(ERROR_INVALID_HANDLE, other.SetEventMask(0));
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
    void Sim(const std::string& args) {
        const testproc::Outcome r = scope.Sim(args);
        EXPECT_EQ(0u, r.code) << args << ": " << r.output;
    }
    // The mask the reader's wait ends with when cdctl does `args`; 0xFFFFFFFF if it did not.
    DWORD EventOf(const std::string& args) {
        LineWait wait;
        if (wait.Arm(*port) != 0) return 0xFFFFFFFF;
        Sim(args);
        if (wait.Signalled()) return wait.mask;
        port->SetEventMask(0);  // ends the wait: the block must not outlive it
        return 0xFFFFFFFF;
    }

    SimScope scope;
    Library lib;
    // Outlives the port: a test that stops early leaves its wait to the close to end.
    LineWait lineWait;
    std::unique_ptr<Port> port;
};

// Bytes that arrive between two waits wake the next one; only a mask without EV_RXCHAR drops them.
TEST_F(SimPortTest, EventsBetweenWaitsCompleteTheNextWaitUnlessTheMaskDropsThem) {
    ASSERT_EQ(0, port->SetEventMask(kPortEventMask));
    Sim("inject 55");
    ASSERT_TRUE(WaitUntil([&] { return port->InQueue() == 1; }));
    LineWait& wait = lineWait;
    ASSERT_EQ(0, wait.Arm(*port));
    ASSERT_TRUE(wait.Signalled(0)) << "completed by the wait request itself";
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask);
    ASSERT_EQ(1u, port->ReadAtLeast(1).size());

    Sim("inject 56");
    ASSERT_TRUE(WaitUntil([&] { return port->InQueue() == 1; }));
    ASSERT_EQ(0, port->SetEventMask(EV_CTS));
    ASSERT_EQ(0, wait.Again(*port));
    EXPECT_FALSE(wait.Signalled(100)) << "queued bytes do not wake a mask without EV_RXCHAR";
    EXPECT_EQ(ERROR_INVALID_PARAMETER, wait.Again(*port)) << "one wait at a time";
    // A mask change ends that wait; the next wait then finds the byte.
    ASSERT_EQ(0, port->SetEventMask(EV_RXCHAR));
    ASSERT_TRUE(wait.Signalled(0));
    EXPECT_EQ(0u, wait.mask);
    ASSERT_EQ(0, wait.Again(*port));
    ASSERT_TRUE(wait.Signalled(0));
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask);
    ASSERT_EQ(1u, port->ReadAtLeast(1).size());
    // Mask 0 completes a pending wait at once and leaves nothing to wait for.
    ASSERT_EQ(0, wait.Again(*port));
    ASSERT_EQ(0, port->SetEventMask(0));
    ASSERT_TRUE(wait.Signalled(0));
    EXPECT_EQ(0u, wait.mask);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, wait.Again(*port));
}

// A frame that arrives while the reader has mask 0 (between its waits) is found at once.
TEST_F(SimPortTest, BytesQueuedUnderMaskZeroCompleteTheNextWaitAtOnce) {
    Sim("reply-delay 0");
    ASSERT_EQ(0, port->SetEventMask(0));
    WriteAll(*port, kStatusCommand);
    ASSERT_TRUE(WaitUntil([&] { return port->InQueue() == 4; }));
    LineWait& wait = lineWait;
    ASSERT_EQ(0, wait.Arm(*port));
    ASSERT_TRUE(wait.Signalled(0)) << "the frame came while the mask was 0";
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask);
    EXPECT_EQ(0u, wait.ov.Internal) << "the block reads as completed";

    // A wait that ended without the bytes being read finds them again, mask unchanged.
    ASSERT_EQ(0, wait.Again(*port));
    ASSERT_TRUE(wait.Signalled(0)) << "unread bytes left from the last wait";
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask);

    // Once they are read, the wait waits for the next byte.
    EXPECT_EQ(Frame(0x02, 0), port->ReadAtLeast(4));
    ASSERT_EQ(0, wait.Again(*port));
    EXPECT_FALSE(wait.Signalled(100)) << "nothing queued";
    Sim("inject 57");
    ASSERT_TRUE(wait.Signalled());
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask);
}

// Each change cdctl makes ends the service reader's wait with its own event.
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
    EXPECT_EQ(0, port->Request(kPortLineError, "PEEV", 128));
    ASSERT_EQ(0, port->ClearError(&errors, &stat));
    EXPECT_EQ(0u, errors) << "the reported line error is forgotten";
}

TEST_F(SimPortTest, PurgeAndShortReads) {
    Sim("inject 05 06 07");
    ASSERT_TRUE(WaitUntil([&] { return port->InQueue() == 3; }));
    uint8_t buffer[8] = {};
    DWORD got = 0;
    // More than is there: the read ends after its total time-out with what it has.
    ASSERT_EQ(0, port->Read(buffer, 8, &got));
    EXPECT_EQ(3u, got);
    EXPECT_EQ(0x07, buffer[2]);

    Sim("inject 08");
    ASSERT_TRUE(WaitUntil([&] { return port->InQueue() == 1; }));
    ASSERT_EQ(0, port->Purge(kPurgeAll));
    EXPECT_EQ(0u, port->InQueue());
    EXPECT_EQ(ERROR_INVALID_PARAMETER, port->Purge(0x10));
}

TEST_F(SimPortTest, DllModeSetsTheStatusRequestEventRepeatedly) {
    fw::UniqueKernel request(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_EQ(0, port->Close());
    OpenOptions options{scope.name()};
    options.dllMode = 40;
    options.statusRequest = request.get();
    ASSERT_EQ(0, port->Open(options));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(request.get(), 5000)) << "request " << i;
        ResetEvent(request.get());
    }
    EXPECT_EQ(0, port->Close());
}

TEST_F(SimPortTest, StatePersistsAcrossCloseReopenAndProcesses) {
    WriteAll(*port, {0x1B, 0x01, 0x00, 0x05});  // four-byte form with a pulse width
    ASSERT_EQ(Frame(0x01, 1), port->ReadAtLeast(4));
    Sim("reply-delay 0");
    ASSERT_EQ(0, port->Close());
    port.reset();

    const std::string shown = scope.Sim("show").output;
    for (const char* field : {"drawer1=open ", "reply-delay=0 ", "openings=1"}) {
        EXPECT_NE(std::string::npos, shown.find(field)) << field << " in " << shown;
    }
    // No open port for an injection; bad arguments and a real port name are refused.
    EXPECT_EQ(1u, scope.Sim("break").code);
    for (const char* bad : {"open 3", "fly"}) EXPECT_EQ(2u, scope.Sim(bad).code) << bad;
    EXPECT_EQ(2u, testproc::Cdctl("sim COM1 show", 20000).code);

    port = std::make_unique<Port>(lib);
    ASSERT_EQ(0, port->Open({scope.name()}));
    WriteAll(*port, kStatusCommand);
    EXPECT_EQ(Frame(0x02, 1), port->ReadAtLeast(4));
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        name = testproc::Environment("BRAMWICK_SERIAL_TEST_PORT");
        if (name.empty()) {
            GTEST_SKIP() << "no serial line: run tests/win/port_lib_serial.sh";
        }
        ASSERT_TRUE(lib.Load());
        port = std::make_unique<Port>(lib);
        // port_lib_serial.sh checks that the controller saw these settings.
        ASSERT_EQ(0, port->Open({name, "9600,N,8,2"})) << name << ", step " << port->detail();
        ASSERT_EQ(0, port->Purge(kPurgeAll));
    }

    std::string name;  // set by port_lib_serial.sh
    Library lib;
    std::unique_ptr<Port> port;
};

TEST_F(SerialPortTest, CommandsGoOutAndAnAnswerQueuedUnderMaskZeroEndsTheNextWait) {
    WriteAll(*port, {0x1B, 0x02, 0x01});
    EXPECT_EQ((Bytes{0x1B, 0x02, 0x00, 0x0D}), port->ReadAtLeast(4));
    WriteAll(*port, {0x1B, 0x01, 0x01});
    EXPECT_EQ((Bytes{0x1B, 0x01, 0x02, 0x0D}), port->ReadAtLeast(4));
    WriteAll(*port, {0x1B, 0x02, 0x01, 0x00});
    EXPECT_EQ((Bytes{0x1B, 0x02, 0x02, 0x0D}), port->ReadAtLeast(4));

    // As on the simulator: an answer queued under mask 0 ends the next wait at once.
    ASSERT_EQ(0, port->SetEventMask(0));
    WriteAll(*port, {0x1B, 0x02, 0x01});
    ASSERT_TRUE(WaitUntil([&] { return port->InQueue() == 4; }));
    LineWait wait;
    ASSERT_EQ(0, wait.Arm(*port));
    const bool atOnce = wait.Signalled(0);
    if (!atOnce) port->SetEventMask(0);  // ends the wait: the block must not outlive it
    ASSERT_TRUE(atOnce) << "the answer came while the mask was 0";
    EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), wait.mask);
    EXPECT_EQ(4u, port->ReadAtLeast(4).size()) << "the wait leaves the answer queued";
}

}  // namespace
