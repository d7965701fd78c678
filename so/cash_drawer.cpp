// Construction, destruction, the common method frame and the methods that are not yet served
// by their own subsystem. Runs on the application's thread.
#include "so/cash_drawer.h"

#include <new>

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
      m_strDeviceName("Velmora Cash Drawer") {
    for (fw::Mutex* lock : {&m_queueLock, &m_eventThreadLock, &m_freezeLock, &m_coFreezeLock,
                            &m_inputThreadLock, &m_powerThreadLock, &m_enableLock, &m_stateLock,
                            &m_spareLock, &m_portThreadLock, &m_outputThreadLock}) {
        lock->Create();
    }
}

CCashDrawer::~CCashDrawer() {
    if (m_bOpened) Close();
    StopWorkers();  // anything a failed or interrupted open left behind
}

LONG CCashDrawer::SetResult(LONG code, const char* /*method*/) {
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
    SetResult(result, tag);
    m_trace.Trace(m_lTraceHandle, tag, 2, m_lResultCode, m_lResultCodeExtended, 0, 0, 0);
    return result;
}

// The methods below answer OPOS_E_CLOSED until their subsystem serves them: the service
// cannot be opened yet, and every one of them requires an open service.

LONG CCashDrawer::CheckHealth(LONG level) {
    BeginMethod("MChk", 1, level);
    return EndMethod("mChk", OPOS_E_CLOSED);
}

LONG CCashDrawer::DirectIO(LONG command, LONG& data, std::string& /*text*/) {
    BeginMethod("MDio", 2, command, data);
    return EndMethod("mDio", OPOS_E_CLOSED);
}

LONG CCashDrawer::OpenDrawer() {
    BeginMethod("MOpD");
    return EndMethod("mOpD", OPOS_E_CLOSED);
}

LONG CCashDrawer::WaitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration,
                                     LONG beepDelay) {
    BeginMethod("MWat", 4, beepTimeout, beepFrequency, beepDuration, beepDelay);
    return EndMethod("mWat", OPOS_E_CLOSED);
}

LONG CCashDrawer::GetOpenResult() {
    return m_lOpenResult;
}

LONG CCashDrawer::ResetStatistics(const char* statistics) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.TraceText(m_lTraceHandle, "MRss", statistics, 0, 0, 0, 0, 0);
    return EndMethod("mRss", OPOS_E_CLOSED);
}

LONG CCashDrawer::RetrieveStatistics(std::string& statistics) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.TraceText(m_lTraceHandle, "MRts", statistics.c_str(), 0, 0, 0, 0, 0);
    return EndMethod("mRts", OPOS_E_CLOSED);
}

LONG CCashDrawer::UpdateStatistics(const char* statistics) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.TraceText(m_lTraceHandle, "MUds", statistics, 0, 0, 0, 0, 0);
    return EndMethod("mUds", OPOS_E_CLOSED);
}

LONG CCashDrawer::CompareFirmwareVersion(const char* fileName, LONG& /*result*/) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.TraceText(m_lTraceHandle, "MCfv", fileName, 0, 0, 0, 0, 0);
    return EndMethod("mCfv", OPOS_E_CLOSED);
}

LONG CCashDrawer::UpdateFirmware(const char* fileName) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.TraceText(m_lTraceHandle, "MUfw", fileName, 0, 0, 0, 0, 0);
    return EndMethod("mUfw", OPOS_E_CLOSED);
}
