// The four property accessors of ICashDrawer and the setters of the writable properties.
// Accessors run on the application's thread; State and PowerState are shared with workers.
#include "so/cash_drawer.h"

LONG CCashDrawer::GetPropertyNumber(LONG propIndex) {
    m_trace.Trace(m_lTraceHandle, "MGpN", 1, propIndex, 0, 0, 0, 0);
    LONG value = 0;
    switch (propIndex) {
        case PIDX_Claimed:
            value = m_bClaimed;
            break;
        case PIDX_DeviceEnabled:
            value = m_bDeviceEnabled;
            break;
        case PIDX_FreezeEvents:
            value = m_bFreezeEvents;
            break;
        case PIDX_ResultCode:
            value = m_lResultCode;
            break;
        case PIDX_ResultCodeExtended:
            value = m_lResultCodeExtended;
            break;
        case PIDX_ServiceObjectVersion:
            value = m_lServiceObjectVersion;
            break;
        case PIDX_State:
            value = GetState();
            break;
        case PIDX_BinaryConversion:
            value = m_lBinaryConversion;
            break;
        case PIDX_PowerNotify:
            value = m_lPowerNotify;
            break;
        case PIDX_PowerState:
            value = m_lPowerState;
            break;
        case PIDX_CapPowerReporting:
            value = m_lCapPowerReporting;
            break;
        case PIDX_CapStatisticsReporting:
            value = m_bCapStatisticsReporting;
            break;
        case PIDX_CapUpdateStatistics:
            value = m_bCapUpdateStatistics;
            break;
        case PIDX_CapCompareFirmwareVersion:
            value = m_bCapCompareFirmwareVersion;
            break;
        case PIDX_CapUpdateFirmware:
            value = m_bCapUpdateFirmware;
            break;
        case PIDXCash_DrawerOpened:
            value = m_bDrawerOpened;
            break;
        case PIDXCash_CapStatus:
            value = m_bCapStatus;
            break;
        case PIDXCash_CapStatusMultiDrawerDetect:
            value = m_bCapStatusMultiDrawerDetect;
            break;
        default:
            break;  // DataEventEnabled, OutputID, AutoDisable, DataCount and unknown: 0
    }
    m_trace.Trace(m_lTraceHandle, "mGpN", 2, propIndex, value, 0, 0, 0);
    return value;
}

void CCashDrawer::SetPropertyNumber(LONG propIndex, LONG number) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.Trace(m_lTraceHandle, "MSpN", 2, propIndex, number, 0, 0, 0);
    switch (propIndex) {
        case PIDX_DeviceEnabled:
            SetResult(SetDeviceEnabled(number));
            break;
        case PIDX_FreezeEvents:
            SetFreezeEvents(number);
            break;
        case PIDX_BinaryConversion:
            SetResult(SetBinaryConversion(number));
            break;
        case PIDX_PowerNotify:
            if (m_bDeviceEnabled) {
                SetResult(OPOS_E_ILLEGAL);
            } else {
                SetResult(SetPowerNotify(number));
            }
            break;
        default:
            break;  // read-only or unsupported: success, nothing changes
    }
    m_trace.Trace(m_lTraceHandle, "mSpN", 3, propIndex, m_lResultCode, m_lResultCodeExtended, 0, 0);
}

std::string CCashDrawer::GetPropertyString(LONG propIndex) {
    m_trace.Trace(m_lTraceHandle, "MGpS", 1, propIndex, 0, 0, 0, 0);
    std::string value;
    switch (propIndex) {
        case PIDX_CheckHealthText:
            value = m_strCheckHealthText;
            break;
        case PIDX_DeviceDescription:
            value = m_strDeviceDescription;
            break;
        case PIDX_DeviceName:
            value = m_strDeviceName;
            break;
        case PIDX_ServiceObjectDescription:
            value = m_strServiceObjectDescription;
            break;
        default:
            value = "[Error]";
            break;
    }
    m_trace.TraceText(m_lTraceHandle, "mGpS", value.c_str(), 1, propIndex, 0, 0, 0);
    return value;
}

void CCashDrawer::SetPropertyString(LONG propIndex, const char* text) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.TraceText(m_lTraceHandle, "MSpS", text, 1, propIndex, 0, 0, 0);
    // No property is writable as a string.
    m_trace.Trace(m_lTraceHandle, "mSpS", 3, propIndex, m_lResultCode, m_lResultCodeExtended, 0, 0);
}

void CCashDrawer::SetFreezeEvents(LONG number) {
    bool freeze = number != 0;
    {
        auto guard = m_freezeLock.Acquire();
        m_bFreezeEvents = freeze ? TRUE : FALSE;
    }
    if (!freeze) {
        BOOL coFrozen;
        {
            auto guard = m_coFreezeLock.Acquire();
            coFrozen = m_bCOFreezeEvents;
        }
        // Queued events go out as soon as neither the application nor the control object
        // holds them back.
        if (!coFrozen) m_objects.eventWake.Set();
    }
}

LONG CCashDrawer::SetBinaryConversion(LONG number) {
    if (number != OPOS_BC_NONE && number != OPOS_BC_NIBBLE && number != OPOS_BC_DECIMAL) {
        return OPOS_E_ILLEGAL;
    }
    m_lBinaryConversion = number;
    m_opostr.SetMode(number);
    return OPOS_SUCCESS;
}

LONG CCashDrawer::SetPowerNotify(LONG number) {
    if (m_lCapPowerReporting == OPOS_PR_NONE) {
        return number == OPOS_PN_DISABLED ? OPOS_SUCCESS : OPOS_E_ILLEGAL;
    }
    if (number != OPOS_PN_DISABLED && number != OPOS_PN_ENABLED) return OPOS_E_ILLEGAL;
    m_lPowerNotify = number;
    return OPOS_SUCCESS;
}

LONG CCashDrawer::SetDeviceEnabled(LONG number) {
    BOOL enable = number != 0 ? TRUE : FALSE;
    if (enable == m_bDeviceEnabled) {
        m_objects.eventWake.Set();
        return OPOS_SUCCESS;
    }
    auto guard = m_enableLock.Acquire();
    m_bDeviceEnabled = enable;
    m_bridge.SetEventsEnabled(enable);
    // Records are delivered only while enabled: let the event thread look at its queue again.
    m_objects.eventWake.Set();
    if (!(m_bDeviceEnabled && m_lCapPowerReporting != OPOS_PR_NONE &&
          m_lPowerNotify != OPOS_PN_DISABLED)) {
        m_lPowerState = OPOS_PS_UNKNOWN;
    }
    return OPOS_SUCCESS;
}
