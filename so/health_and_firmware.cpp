// CheckHealth at its three levels and the firmware methods the drawer does not support.
#include "so/cash_drawer.h"

namespace {
constexpr LONG OPOS_CH_INTERNAL = 1;
constexpr LONG OPOS_CH_EXTERNAL = 2;
constexpr LONG OPOS_CH_INTERACTIVE = 3;
constexpr LONG OPOS_CFV_FIRMWARE_UNKNOWN = 5;
constexpr char kExternalFailed[] = "External HCheck: Failed, See ResultCode";
constexpr char kExternalOpened[] = "External HCheck: Successful, CD Opened";
}  // namespace

LONG CCashDrawer::CheckHealth(LONG level) {
    BeginMethod("MChk", 1, level);
    LONG result = RefuseDrawerWork();
    if (result != OPOS_SUCCESS) return EndMethod("mChk", result);
    switch (level) {
        case OPOS_CH_INTERNAL:
            m_strCheckHealthText = "Internal HCheck: Successful";
            return EndMethod("mChk", OPOS_SUCCESS);
        case OPOS_CH_EXTERNAL:
            return EndMethod("mChk", ExternalHealthCheck());
        case OPOS_CH_INTERACTIVE:
            m_strCheckHealthText = "Interactive HCheck: Not Supported";
            return EndMethod("mChk", OPOS_E_ILLEGAL);
        default:
            return EndMethod("mChk", OPOS_E_ILLEGAL);
    }
}

// Opens the drawer once and watches for it; counts but writes no event-log record.
LONG CCashDrawer::ExternalHealthCheck() {
    if (m_config.noDwOpenAtChkExt) {
        m_strCheckHealthText = "External HCheck: Complete";
        return OPOS_SUCCESS;
    }
    m_objects.drawerOpened.Reset();
    m_bWaitingForDrawer = TRUE;
    LONG sent = SendCommand(m_openCommand.bytes, m_openCommand.length);
    if (sent != OPOS_SUCCESS) {
        m_bWaitingForDrawer = FALSE;
        m_strCheckHealthText = kExternalFailed;
        CountDrawerOpen(false);
        return sent;
    }
    bool opened = m_bDrawerOpened != FALSE;
    if (!opened) {
        opened = m_objects.drawerOpened.Wait(static_cast<DWORD>(m_config.openDrawerTimeout)) ==
                 WAIT_OBJECT_0;
    }
    m_bWaitingForDrawer = FALSE;
    CountDrawerOpen(opened);
    m_strCheckHealthText = opened ? kExternalOpened : kExternalFailed;
    return opened ? OPOS_SUCCESS : OPOS_E_FAILURE;
}

LONG CCashDrawer::CompareFirmwareVersion(const char* fileName, LONG& result) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.TraceText(m_lTraceHandle, "MCfv", fileName, 0, 0, 0, 0, 0);
    result = OPOS_CFV_FIRMWARE_UNKNOWN;
    LONG code = RefuseFirmwareWork();
    SetResult(code);
    m_trace.Trace(m_lTraceHandle, "mCfv", 3, code, m_lResultCodeExtended, result, 0, 0);
    return code;
}

LONG CCashDrawer::UpdateFirmware(const char* fileName) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.TraceText(m_lTraceHandle, "MUfw", fileName, 0, 0, 0, 0, 0);
    return EndMethod("mUfw", RefuseFirmwareWork());
}

// The drawer has no firmware to compare or update: once the checks pass the answer is illegal.
LONG CCashDrawer::RefuseFirmwareWork() {
    if (!m_bOpened) return OPOS_E_CLOSED;
    if (!m_bClaimed) return OPOS_E_NOTCLAIMED;
    if (!m_bDeviceEnabled) return OPOS_E_DISABLED;
    return OPOS_E_ILLEGAL;
}
