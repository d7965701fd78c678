// The session machinery and "cdctl session".
#include "tools/cdctl/cmd_session.h"

#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>

#include "framework/wide_text.h"
#include "so/device_config.h"
#include "tools/cdctl/cdctl_text.h"
#include "tools/cdctl/commands.h"
#include "tools/cdctl/port_check.h"
#include "util/opos_constants.h"

namespace cdctl {

namespace {

constexpr char kDeviceClass[] = "CashDrawer";
constexpr char kDrawerAlreadyOpen[] = "drawer already open";

std::string Hex(HRESULT hr) {
    char text[16];
    snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// The ProgID in the default value of the device key, as a control object finds it.
// Returns the Win32 error of the lookup (0 on success).
LONG ReadProgId(const std::string& device, std::string* progId) {
    wchar_t buffer[256] = {};
    DWORD size = sizeof(buffer);
    LONG error = RegGetValueW(HKEY_LOCAL_MACHINE, fw::Utf8ToWide(DeviceKeyPath(device)).c_str(),
                              nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size);
    if (error == ERROR_SUCCESS) *progId = fw::WideToUtf8(buffer);
    return error;
}

// A DirectIO string answers with bytes, which the OPOS string conversion turns into characters
// of the ANSI code page; the bytes may be a UTF-8 text such as a counter file's path. Shown as
// that text when the code page gives the bytes back exactly, else as the service sent it.
std::string ByteText(const BSTR text) {
    const std::wstring units(text, SysStringLen(text));
    const int size = static_cast<int>(units.size());
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units.data(), size, nullptr, 0,
                                      nullptr, &lossy);
    if (size == 0 || n <= 0 || lossy) return fw::WideToUtf8(units);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units.data(), size, &bytes[0], n, nullptr,
                        nullptr);
    return fw::ToUtf8(bytes);
}

// A property name in the column of the property list.
std::string Padded(const char* name) {
    std::string text = name;
    text.resize(std::max<size_t>(text.size() + 1, 29), ' ');
    return text;
}

}  // namespace

Session::Session(std::string device, Options options)
    : m_device(std::move(device)),
      m_options(std::move(options)),
      m_start(std::chrono::steady_clock::now()) {}

Session::~Session() {
    Finish();
}

bool Session::Start() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        std::cerr << m_options.who << ": cannot enter a COM apartment (" << Hex(hr) << ")\n";
        return false;
    }
    m_comStarted = true;
    m_start = std::chrono::steady_clock::now();
    m_drawer.co().onEvent = [this](const client::ControlObjectStub::Event& event) {
        OnEvent(event);
    };
    return true;
}

uint64_t Session::ElapsedMs() const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - m_start)
                                     .count());
}

void Session::Say(const std::string& line) {
    if (!m_options.narrate) return;
    fputs(line.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

void Session::OnEvent(const client::ControlObjectStub::Event& event) {
    if (event.kind == client::ControlObjectStub::Event::Kind::StatusUpdate) {
        Say(Timestamp(ElapsedMs()) + " StatusUpdate " + DescribeStatusUpdate(event.number));
    } else {
        Say(Timestamp(ElapsedMs()) + " DirectIOEvent " + std::to_string(event.number) + " data " +
            std::to_string(event.data) + " string " + Quoted(fw::WideToUtf8(event.text)));
    }
}

void Session::Drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool Session::PumpUntil(const std::function<bool()>& done, DWORD ms) {
    const uint64_t deadline = ElapsedMs() + ms;
    for (;;) {
        Drain();
        if (done()) return true;
        const uint64_t now = ElapsedMs();
        if (now >= deadline) return false;
        const DWORD wait = static_cast<DWORD>(deadline - now);
        MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

bool Session::Create(StepReport& r, std::string& note) {
    std::string progId = m_options.progId;
    if (progId.empty()) {
        LONG error = ReadProgId(m_device, &progId);
        if (error != ERROR_SUCCESS || progId.empty()) {
            // A control object finds no service for a device that is not configured.
            r.result = OPOS_E_NOEXIST;
            note = "no ProgID in HKLM\\" + DeviceKeyPath(m_device) +
                   " (add the device with: cdctl setup add " + m_device + " Port=...)";
            return false;
        }
    }
    const HRESULT hr = m_drawer.Create(progId);
    if (FAILED(hr)) {
        r.result = OPOS_E_NOSERVICE;
        note = "cannot create " + progId + " (" + Hex(hr) + "); is Bramwick.dll registered?";
        return false;
    }
    note = "created " + progId;
    return true;
}

namespace {

// Notes a failed dispatch call in the report; true when it failed.
bool Failed(HRESULT hr, StepReport& r) {
    if (SUCCEEDED(hr)) return false;
    if (!r.dispatchFailed) r.hresult = hr;
    r.dispatchFailed = true;
    return true;
}

}  // namespace

LONG Session::Property(LONG index, StepReport& r) {
    LONG value = m_drawer.Long(L"GetPropertyNumber", index);
    Failed(m_drawer.LastResult(), r);
    return value;
}

std::wstring Session::StringProperty(LONG index, StepReport& r) {
    std::wstring value = m_drawer.String(L"GetPropertyString", index);
    Failed(m_drawer.LastResult(), r);
    return value;
}

void Session::SetProperty(LONG index, LONG value, StepReport& r) {
    if (Failed(m_drawer.Call(L"SetPropertyNumber", nullptr, index, value), r)) return;
    r.result = Property(PIDX_ResultCode, r);
}

void Session::Execute(const Step& step, StepReport& r, std::vector<std::string>& details) {
    auto longCall = [&](const wchar_t* name, auto&&... args) {
        r.result = m_drawer.Long(name, std::forward<decltype(args)>(args)...);
        Failed(m_drawer.LastResult(), r);
    };
    const std::vector<int32_t>& n = step.numbers;
    switch (step.kind) {
        case StepKind::Open: {
            longCall(L"OpenService", fw::Utf8ToWide(kDeviceClass).c_str(),
                     fw::Utf8ToWide(m_device).c_str(), static_cast<IDispatch*>(&m_drawer.co()));
            if (r.dispatchFailed) return;
            if (r.result == OPOS_SUCCESS) {
                m_opened = true;
                LONG version = Property(PIDX_ServiceObjectVersion, r);
                details.push_back("ServiceObjectVersion " + std::to_string(version / 1000000) +
                                  "." + std::to_string(version / 1000 % 1000) + "." +
                                  std::to_string(version % 1000) + ", DeviceName " +
                                  Quoted(fw::WideToUtf8(StringProperty(PIDX_DeviceName, r))));
            } else {
                // A control object asks for the reason only when the open failed.
                LONG openResult = m_drawer.Long(L"GetOpenResult");
                if (Failed(m_drawer.LastResult(), r)) return;
                std::string line = "OpenResult " + std::to_string(openResult);
                const char* meaning = OpenResultMeaning(openResult);
                if (*meaning) line += std::string(": ") + meaning;
                details.push_back(line);
                // The port library and the port, tried once more here, say which it was.
                if (openResult == kOpenResultNoPort) {
                    for (const CheckLine& check : CheckPort(m_device, 0, true)) {
                        details.push_back(check.label + ": " + check.text);
                    }
                }
            }
            return;
        }
        case StepKind::Close:
            longCall(L"CloseService");
            if (!r.dispatchFailed && r.result == OPOS_SUCCESS) m_opened = false;
            return;
        case StepKind::Claim:
            longCall(L"ClaimDevice", static_cast<LONG>(n[0]));
            return;
        case StepKind::Release:
            longCall(L"ReleaseDevice");
            return;
        case StepKind::Enable:
        case StepKind::Disable:
            SetProperty(PIDX_DeviceEnabled, step.kind == StepKind::Enable ? 1 : 0, r);
            return;
        case StepKind::Freeze:
            SetProperty(PIDX_FreezeEvents, n[0], r);
            return;
        case StepKind::CoFreeze:
            longCall(L"COFreezeEvents", static_cast<LONG>(n[0]));
            return;
        case StepKind::OpenDrawer: {
            // An open drawer sends no open event: say so, for a wait for one would not end.
            StepReport before;
            m_drawerWasOpen =
                m_opened && Property(PIDXCash_DrawerOpened, before) == 1 && !before.dispatchFailed;
            longCall(L"OpenDrawer");
            if (m_drawerWasOpen && !r.dispatchFailed && r.result == OPOS_SUCCESS) {
                details.push_back(std::string(kDrawerAlreadyOpen) +
                                  ": DrawerOpened was 1 before OpenDrawer, so no "
                                  "CASH_SUE_DRAWEROPEN event comes");
            }
            return;
        }
        case StepKind::WaitClose:
            longCall(L"WaitForDrawerClose", static_cast<LONG>(n[0]), static_cast<LONG>(n[1]),
                     static_cast<LONG>(n[2]), static_cast<LONG>(n[3]));
            return;
        case StepKind::Health:
            longCall(L"CheckHealth", static_cast<LONG>(n[0]));
            if (r.dispatchFailed) return;
            r.text = fw::WideToUtf8(StringProperty(PIDX_CheckHealthText, r));
            details.push_back("CheckHealthText " + Quoted(r.text));
            return;
        case StepKind::Stats: {
            BSTR buffer = SysAllocString(fw::Utf8ToWide(step.text).c_str());
            longCall(L"RetrieveStatistics", fw::Arg::Ref(&buffer));
            const fw::UniqueBstr owner(buffer);
            if (r.dispatchFailed || r.result != OPOS_SUCCESS || !buffer) return;
            r.text = fw::WideToUtf8(std::wstring(buffer, SysStringLen(buffer)));
            for (const std::string& line : Lines(r.text)) details.push_back(line);
            return;
        }
        case StepKind::ResetStats:
            longCall(L"ResetStatistics", fw::Utf8ToWide(step.text).c_str());
            return;
        case StepKind::UpdateStats:
            longCall(L"UpdateStatistics", fw::Utf8ToWide(step.text).c_str());
            return;
        case StepKind::DirectIO: {
            LONG data = n[1];
            // The whole text, so that a %00 reaches the service as the NUL it stands for.
            const std::wstring wide = fw::Utf8ToWide(step.text);
            BSTR text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
            longCall(L"DirectIO", static_cast<LONG>(n[0]), fw::Arg::Ref(&data),
                     fw::Arg::Ref(&text));
            const fw::UniqueBstr owner(text);
            if (r.dispatchFailed) return;
            r.data = data;
            r.text = text ? ByteText(text) : std::string();
            details.push_back("data " + std::to_string(data) + ", string " + Quoted(r.text));
            return;
        }
        case StepKind::Props:
            for (const PropertyName& p : Properties()) {
                const std::string value = p.text
                                              ? Quoted(fw::WideToUtf8(StringProperty(p.index, r)))
                                              : std::to_string(Property(p.index, r));
                if (r.dispatchFailed) return;
                details.push_back(Padded(p.name) + value);
            }
            return;
        case StepKind::Sleep:
        case StepKind::WaitEvents:
            return;  // handled by Run: they need no service object
    }
}

int Session::Run(const Step& step, StepReport* out) {
    StepReport r;
    std::vector<std::string> details;
    std::string note;
    const uint64_t started = ElapsedMs();

    if (step.kind == StepKind::Sleep) {
        PumpUntil([] { return false; }, static_cast<DWORD>(step.numbers[0]));
    } else if (step.kind == StepKind::WaitEvents) {
        const size_t wanted = static_cast<size_t>(step.numbers[0]);
        bool seen =
            PumpUntil([&] { return m_drawer.co().EventCount() - m_consumedEvents >= wanted; },
                      static_cast<DWORD>(step.numbers[1]));
        const size_t got = m_drawer.co().EventCount() - m_consumedEvents;
        if (seen) {
            m_consumedEvents += wanted;
        } else {
            m_consumedEvents = m_drawer.co().EventCount();
            r.result = OPOS_E_TIMEOUT;
            note = std::to_string(got) + " of " + std::to_string(wanted) + " events in " +
                   std::to_string(step.numbers[1]) + " ms";
            if (m_drawerWasOpen && got == 0) {
                note += std::string("; ") + kDrawerAlreadyOpen +
                        " when opendrawer ran, so its open event never comes: close it "
                        "first (a simulated drawer: cdctl sim PORT close 1, or autoclose MS)";
            }
        }
    } else if (m_drawer.get() == nullptr && step.kind != StepKind::Open) {
        // Nothing was opened yet: a control object answers this itself.
        r.result = OPOS_E_CLOSED;
        note = "not opened yet; answered by cdctl";
    } else if (m_drawer.get() == nullptr && !Create(r, note)) {
        // r.result says why (OPOS_E_NOEXIST or OPOS_E_NOSERVICE), as a control object would.
    } else {
        Execute(step, r, details);
        if (!r.dispatchFailed && step.kind != StepKind::Props) {
            r.extended = Property(PIDX_ResultCodeExtended, r);
        }
    }

    const bool met = !r.dispatchFailed && ResultMeets(step, r.result);
    std::string line = Timestamp(ElapsedMs()) + " " + step.written + " -> ";
    if (r.dispatchFailed) {
        line += "the call through IDispatch failed (" + Hex(r.hresult) + ")";
    } else {
        line += DescribeResult(r.result);
        if (r.extended != 0) line += ", ResultCodeExtended " + std::to_string(r.extended);
        if (met && r.result != 0) line += " (as asked)";
        if (!met) {
            line += "; asked for " + DescribeResult(step.expected.value_or(0));
        }
    }
    const uint64_t took = ElapsedMs() - started;
    if (took >= 50) line += " (" + Seconds(took) + ")";
    if (!note.empty()) details.insert(details.begin(), note);

    // A step that did not return what it asked for is an error: it goes to standard error, in
    // the transcript's form, or named by command and device when there is no transcript.
    if (m_options.narrate || !met) {
        fflush(stdout);
        FILE* to = met ? stdout : stderr;
        const std::string head = m_options.narrate ? line
                                                   : m_options.who + (": " + m_device) + ": " +
                                                         line.substr(line.find(' ') + 1);
        fprintf(to, "%s\n", head.c_str());
        for (const std::string& d : details) {
            if (m_options.narrate || step.kind != StepKind::Stats)
                fprintf(to, "    %s\n", d.c_str());
        }
        fflush(to);
    }
    // Events that came in during the step are printed after its result.
    Drain();
    if (out) *out = r;
    if (met) return kExitOk;
    return r.dispatchFailed ? kExitCannotRun : ExitCodeForResult(r.result);
}

int Session::RunAll(const std::vector<Step>& steps, std::vector<StepReport>* reports) {
    int first = kExitOk;
    for (size_t i = 0; i < steps.size(); ++i) {
        StepReport r;
        int code = Run(steps[i], &r);
        if (reports) reports->push_back(r);
        if (code == kExitOk) continue;
        if (first == kExitOk) first = code;
        if (!m_options.keepGoing) {
            if (i + 1 < steps.size() && m_options.narrate) {
                std::cerr << "stopping after the first unexpected result (--keep-going runs "
                             "every step)\n";
            }
            break;
        }
    }
    return first;
}

void Session::Finish() {
    if (m_drawer.get() != nullptr) {
        Drain();
        if (m_opened) {
            LONG result = m_drawer.Long(L"CloseService");
            Say(Timestamp(ElapsedMs()) + " (closing the service the steps left open) -> " +
                DescribeResult(result));
            m_opened = false;
        }
        m_drawer.Attach(nullptr);  // the service goes first: it holds the control object
    }
    if (m_comStarted) {
        CoUninitialize();
        m_comStarted = false;
    }
}

}  // namespace cdctl

int RunSessionCommand(int argc, char** argv) {
    using namespace cdctl;
    SessionArgs args;
    std::string error;
    switch (ParseSessionArgs(argc, argv, &args, &error)) {
        case ArgsResult::Help:
            std::cout << SessionUsage();
            return kExitOk;
        case ArgsResult::Error:
            std::cerr << "cdctl session: " << error << "\n" << SessionUsage();
            return kExitBadScript;
        case ArgsResult::Ok:
            break;
    }
    Session::Options options;
    options.keepGoing = args.keepGoing;
    options.progId = args.progId;
    Session session(args.device, options);
    if (!session.Start()) return kExitCannotRun;
    int code = session.RunAll(args.steps);
    session.Finish();
    return code;
}
