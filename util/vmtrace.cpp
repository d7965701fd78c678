// CVmTrace: loads XTRLOG32.DLL, keeps its exports in process-wide pointers and writes records.
// Any thread may call the writers concurrently; the export pointers are atomics because a
// second service object may reload them while another object's threads are tracing.
#include "util/vmtrace.h"

#include <atomic>
#include <cstring>
#include <string>

#include "framework/module.h"
#include "util/opos_constants.h"
#include "util/trace_record.h"

namespace {

typedef LONG(__cdecl* PFNOPOSTRACEOPENEX)(const char* name);
typedef LONG(__cdecl* PFNOPOSTRACEEX)(LONG handle, const void* record, LONG length);
typedef LONG(__cdecl* PFNOPOSTRACECLOSEEX)(LONG handle);
typedef LONG(__cdecl* PFNOPOSTRACEFILESAVEEX)();
typedef LONG(__cdecl* PFNOPOSTRACEFILESAVEEX2)();

// Shared by every CVmTrace in the process; each construction overwrites them. The library is
// reference counted by the loader, so the addresses stay valid while any instance holds it.
std::atomic<PFNOPOSTRACEOPENEX> g_pfnOpen{nullptr};
std::atomic<PFNOPOSTRACEEX> g_pfnTrace{nullptr};
std::atomic<PFNOPOSTRACECLOSEEX> g_pfnClose{nullptr};
std::atomic<PFNOPOSTRACEFILESAVEEX> g_pfnSave{nullptr};
std::atomic<PFNOPOSTRACEFILESAVEEX2> g_pfnSave2{nullptr};

constexpr int kDigitTries = 15;  // '0'..'9' and the five characters after '9'

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return module != nullptr ? fw::GetProc<Fn>(module, name) : nullptr;
}

TraceTime Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    TraceTime t;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.millisecond = st.wMilliseconds;
    return t;
}

// The record writer to use, or null when this call must stay silent. Read once per call so a
// concurrent reload cannot swap the pointer between the check and the call.
PFNOPOSTRACEEX WriterFor(BOOL enabled, BOOL loaded, LONG handle) {
    if (!enabled || !loaded || handle < 0) return nullptr;
    return g_pfnTrace.load();
}

}  // namespace

// The trace library is found the usual way; an installation that keeps it beside the service
// DLL, outside the search path, is served from there.
static HMODULE LoadTraceLibrary() {
    HMODULE lib = LoadLibraryA("XTRLOG32.DLL");
    if (lib != nullptr) return lib;
    std::wstring beside = fw::ModulePath(fw::ThisModule());
    if (beside.empty()) return nullptr;
    beside = beside.substr(0, beside.find_last_of(L'\\') + 1) + L"XTRLOG32.DLL";
    return LoadLibraryW(beside.c_str());
}

CVmTrace::CVmTrace() : m_bEnabled(FALSE), m_bTick(FALSE), m_hLib(LoadTraceLibrary()) {
    const HMODULE module = m_hLib.get();
    g_pfnOpen = Export<PFNOPOSTRACEOPENEX>(module, "OPOSTraceOpenEx");
    g_pfnTrace = Export<PFNOPOSTRACEEX>(module, "OPOSTraceEx");
    g_pfnClose = Export<PFNOPOSTRACECLOSEEX>(module, "OPOSTraceCloseEx");
    g_pfnSave = Export<PFNOPOSTRACEFILESAVEEX>(module, "OPOSTraceFileSaveEx");
    g_pfnSave2 = Export<PFNOPOSTRACEFILESAVEEX2>(module, "OPOSTraceFileSaveEx2");
}

CVmTrace::~CVmTrace() = default;

void CVmTrace::OpenTrace(const char* baseName, int count, const char* letters, LONG* handles[]) {
    if (handles == nullptr) return;
    for (int i = 0; i < count; ++i) {
        if (handles[i] != nullptr) *handles[i] = kTraceHandleClosed;
    }
    const PFNOPOSTRACEOPENEX open = g_pfnOpen.load();
    if (m_hLib.get() == nullptr || open == nullptr || !m_bEnabled) return;
    if (count <= 0 || letters == nullptr || letters[0] == '\0' || handles[0] == nullptr) return;

    const std::string base = baseName != nullptr ? baseName : "";
    char digit = '0';
    bool opened = false;
    for (int d = 0; d < kDigitTries && !opened; ++d) {
        digit = static_cast<char>('0' + d);
        *handles[0] = open(MakeChannelName(base, digit, letters[0]).c_str());
        opened = *handles[0] >= 0;
    }
    if (!opened) return;

    const int letterCount = static_cast<int>(std::strlen(letters));
    const int last = count < letterCount ? count : letterCount;
    for (int i = 1; i < last; ++i) {
        if (handles[i] == nullptr) continue;
        *handles[i] = open(MakeChannelName(base, digit, letters[i]).c_str());
    }
}

void CVmTrace::CloseTrace(int count, LONG* handles[]) {
    const PFNOPOSTRACECLOSEEX close = g_pfnClose.load();
    if (handles == nullptr || m_hLib.get() == nullptr || close == nullptr || !m_bEnabled) return;
    for (int i = 0; i < count; ++i) {
        if (handles[i] == nullptr) continue;
        if (*handles[i] >= 0) close(*handles[i]);
        *handles[i] = kTraceHandleClosed;
    }
}

void CVmTrace::Trace(LONG handle, const char* tag, int /*count*/, LONG v1, LONG v2, LONG v3,
                     LONG v4, LONG v5) {
    const PFNOPOSTRACEEX write = WriterFor(m_bEnabled, IsLibraryLoaded(), handle);
    if (write == nullptr) return;
    const int32_t values[5] = {v1, v2, v3, v4, v5};
    const TraceRecord rec = MakeValuesRecord(Now(), tag, values);
    write(handle, rec.data(), static_cast<LONG>(rec.size()));
}

void CVmTrace::TraceText(LONG handle, const char* tag, const char* text, int count, LONG v1,
                         LONG v2, LONG v3, LONG v4) {
    const PFNOPOSTRACEEX write = WriterFor(m_bEnabled, IsLibraryLoaded(), handle);
    if (write == nullptr) return;
    const int32_t values[4] = {v1, v2, v3, v4};
    const TraceRecord rec = MakeTextRecord(Now(), tag, text, count, values);
    write(handle, rec.data(), static_cast<LONG>(rec.size()));
}

void CVmTrace::TraceBytes(LONG handle, const char* tag, const void* data, LONG count) {
    const PFNOPOSTRACEEX write = WriterFor(m_bEnabled, IsLibraryLoaded(), handle);
    if (write == nullptr) return;
    const TraceRecord rec = MakeBytesRecord(Now(), tag, data, count);
    write(handle, rec.data(), static_cast<LONG>(rec.size()));
}

LONG CVmTrace::SaveTraceFile() {
    const PFNOPOSTRACEFILESAVEEX2 save = g_pfnSave2.load();
    if (m_hLib.get() == nullptr || save == nullptr) return OPOS_E_FAILURE;
    return save();
}
