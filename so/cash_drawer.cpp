// Construction, destruction, the common method frame and the methods that are not yet served
// by their own subsystem. Runs on the application's thread.
#include "so/cash_drawer.h"

#include <new>

#include "ras/direct_io.h"
#include "stats/cash_drawer_stats.h"
#include "stats/statistics_methods.h"
#include "server/bramwick_ids.h"

namespace {
constexpr const char kServiceObjectDescription[] =
    "OPOS CashDrawer Service Object Bramwick 1.13.1, open implementation for Vantrel Velmora "
    "drawers";
}  // namespace

HRESULT CCashDrawer::CreateInstance(REFIID riid, void** ppv) {
    CCashDrawer* object = new (std::nothrow) CCashDrawer();
    if (object == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->fw::DispatchObject::Release();  // drop the creation reference
    return hr;
}

CCashDrawer::CCashDrawer()
    : fw::DispatchObject(DIID_ICashDrawer),
      m_strServiceObjectDescription(kServiceObjectDescription),
      m_strDeviceDescription("Vantrel Velmora CashDrawer"),
      m_strDeviceName(kPhysicalDeviceName) {
    for (fw::Mutex* lock : {&m_queueLock, &m_eventThreadLock, &m_freezeLock, &m_coFreezeLock,
                            &m_inputThreadLock, &m_powerThreadLock, &m_enableLock, &m_stateLock,
                            &m_portThreadLock, &m_outputThreadLock}) {
        lock->Create();
    }
    m_shutdownWindow = std::make_unique<CDrwShutDown>();
    m_shutdownWindow->SetOwner(this);
}

CCashDrawer::~CCashDrawer() {
    if (m_bOpened) Close();
    StopWorkers();  // anything a failed or interrupted open left behind
    m_shutdownWindow.reset();
}

LONG CCashDrawer::SetResult(LONG code) {
    m_lResultCode = code;
    return code;
}

void CCashDrawer::SetState(LONG state) {
    auto guard = m_stateLock.Acquire();
    m_lState = state;
}

LONG CCashDrawer::GetState() {
    auto guard = m_stateLock.Acquire();
    return m_lState;
}

void CCashDrawer::BeginMethod(const char* tag, int count, LONG v1, LONG v2, LONG v3, LONG v4) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.Trace(m_lTraceHandle, tag, count, v1, v2, v3, v4, 0);
}

LONG CCashDrawer::EndMethod(const char* tag, LONG result) {
    SetResult(result);
    m_trace.Trace(m_lTraceHandle, tag, 2, m_lResultCode, m_lResultCodeExtended, 0, 0, 0);
    return result;
}

// DirectIO: refused on a closed service; commands 110 to 115 go to the reliability records,
// any other command is illegal. The string travels as bytes, each code unit by value, and a
// null string stays null, so that the commands that need a string refuse it; an answer
// replaces the caller's string only when the command set one.
LONG CCashDrawer::DirectIO(LONG command, LONG& data, BSTR* text) {
    BeginMethod("MDio", 2, command, data);
    const bool none = text == nullptr || *text == nullptr;
    std::string bytes;
    if (!none) {
        int32_t length = 0;
        std::unique_ptr<uint8_t[]> raw(m_opostr.BSTRToBytes(text, &length, OPOS_BC_NONE));
        // The bytes are text: a unit above 0xFF became a zero byte, which ends it.
        if (raw) bytes.assign(reinterpret_cast<const char*>(raw.get()));
        // A NUL the caller put into the string is kept with what follows, so that a command
        // taking a file name sees it and refuses the name rather than cut it short.
        const size_t total = SysStringLen(*text);
        const size_t nul = wcsnlen(*text, total);
        if (nul < total && bytes.size() == nul) {
            for (size_t i = nul; i < total; ++i) {
                const wchar_t unit = (*text)[i];
                bytes.push_back(static_cast<char>(unit < 0x100 ? unit : 0));
            }
        }
    }
    const std::string given = bytes;
    const LONG result =
        DirectIOFrame(m_ras, m_bOpened != FALSE, command, data, none ? nullptr : &bytes,
                      m_lBinaryConversion, &m_lResultCodeExtended);
    if (!none && bytes != given) {
        BSTR answer = bytes.empty()
                          ? SysAllocString(L"")
                          : m_opostr.BytesToBSTR(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                 static_cast<int32_t>(bytes.size()), OPOS_BC_NONE);
        if (answer != nullptr) {
            SysFreeString(*text);
            *text = answer;
        }
    }
    return EndMethod("mDio", result);
}

LONG CCashDrawer::GetOpenResult() {
    return m_lOpenResult;
}

StatMethodState CCashDrawer::StatisticsState() {
    StatMethodState state;
    state.opened = m_bOpened != FALSE;
    state.claimedByOther = m_bOpened && IsClaimedByOther();
    state.enabled = m_bDeviceEnabled != FALSE;
    state.capStatisticsReporting = m_bCapStatisticsReporting != FALSE;
    state.capUpdateStatistics = m_bCapUpdateStatistics != FALSE;
    return state;
}

LONG CCashDrawer::FinishStatistics(const char* tag, const StatMethodOutcome& outcome) {
    m_lResultCodeExtended = outcome.resultCodeExtended;
    SetResult(outcome.result);
    m_trace.Trace(m_lTraceHandle, tag, 3, outcome.result, m_lResultCodeExtended, outcome.exitPoint,
                  0, 0);
    return outcome.result;
}

LONG CCashDrawer::ResetStatistics(const char* statistics) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.TraceText(m_lTraceHandle, "MRss", statistics, 0, 0, 0, 0, 0);
    return FinishStatistics("mRss", ResetStatisticsFrame(m_devStat, kCashDrawerStatTables,
                                                         StatisticsState(), statistics));
}

LONG CCashDrawer::RetrieveStatistics(std::string* statistics) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.Trace(m_lTraceHandle, "MRts", 0, 0, 0, 0, 0, 0);
    return FinishStatistics("mRts",
                            RetrieveStatisticsFrame(m_devStat, StatisticsState(), statistics));
}

LONG CCashDrawer::UpdateStatistics(const char* statistics) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.TraceText(m_lTraceHandle, "MUds", statistics, 0, 0, 0, 0, 0);
    return FinishStatistics("mUds", UpdateStatisticsFrame(m_devStat, kCashDrawerStatTables,
                                                          StatisticsState(), statistics));
}
