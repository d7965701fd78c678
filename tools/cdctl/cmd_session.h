// "cdctl session NAME STEP...": a scripted OPOS session, and the session machinery that
// "cdctl stats" and "cdctl ras" run their own steps on.
//
// A session works as an OPOS control object does: it reads the ProgID from the device key's
// default value, creates the object with CLSIDFromProgID and CoCreateInstance, calls every
// method by name through IDispatch (client::DrawerClient, as the tests and the benchmark do), and
// passes the client's control object (client::ControlObjectStub) to OpenService. The calling thread is a single-threaded apartment that pumps its messages while
// it waits, so the service's events arrive on it. Not thread-safe: one thread only.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tools/cdctl/session_script.h"
#include "tools/client/drawer_client.h"

namespace cdctl {

// What one step returned.
struct StepReport {
    bool dispatchFailed = false;  // the object or the method could not be called
    HRESULT hresult = S_OK;       // why, when dispatchFailed
    int32_t result = 0;           // OPOS result of the step
    int32_t extended = 0;         // ResultCodeExtended after it
    int32_t data = 0;             // DirectIO data after the call
    std::string text;  // DirectIO text, statistics document or CheckHealthText after the call
};

class Session {
public:
    struct Options {
        bool narrate = true;                // print every step and event on stdout
        bool keepGoing = false;             // RunAll: go on after an unexpected result
        std::string progId;                 // empty: read from the device key
        const char* who = "cdctl session";  // prefix of error messages on stderr
    };

    Session(std::string device, Options options);
    ~Session();  // Finish()
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Enters the apartment; false (with a message) when COM cannot be initialised.
    bool Start();
    // Runs one step. Returns 0 when it returned what it asked for, else the exit code it
    // stands for (kExitCannotRun when the call could not be made).
    int Run(const Step& step, StepReport* report = nullptr);
    // Runs the steps in order; stops at the first unexpected result unless keepGoing.
    // Returns the exit code of the first unexpected result, or 0.
    int RunAll(const std::vector<Step>& steps, std::vector<StepReport>* reports = nullptr);
    // Closes the service if the steps left it open, then lets the object go.
    void Finish();

private:
    uint64_t ElapsedMs() const;
    void Say(const std::string& line);
    void Drain();
    bool PumpUntil(const std::function<bool()>& done, DWORD ms);
    void OnEvent(const client::ControlObjectStub::Event& event);
    bool Create(StepReport& r, std::string& note);
    LONG Property(LONG index, StepReport& r);
    std::wstring StringProperty(LONG index, StepReport& r);
    void SetProperty(LONG index, LONG value, StepReport& r);
    void Execute(const Step& step, StepReport& r, std::vector<std::string>& details);

    std::string m_device;
    Options m_options;
    bool m_comStarted = false;
    bool m_opened = false;
    bool m_drawerWasOpen = false;  // the last opendrawer found DrawerOpened already 1
    client::DrawerClient m_drawer;
    size_t m_consumedEvents = 0;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace cdctl
