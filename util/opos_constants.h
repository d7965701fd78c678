// OPOS constants shared by the cash drawer service: result codes, states, power and
// status-update values, binary conversion modes and property index numbers.
// Pure C++ so the portable parts of the service can be built and tested off Windows.
#pragma once

#include <cstdint>

// Result codes.
constexpr int32_t OPOS_SUCCESS = 0;
constexpr int32_t OPOS_E_CLOSED = 101;
constexpr int32_t OPOS_E_CLAIMED = 102;
constexpr int32_t OPOS_E_NOTCLAIMED = 103;
constexpr int32_t OPOS_E_NOSERVICE = 104;
constexpr int32_t OPOS_E_DISABLED = 105;
constexpr int32_t OPOS_E_ILLEGAL = 106;
constexpr int32_t OPOS_E_NOHARDWARE = 107;
constexpr int32_t OPOS_E_OFFLINE = 108;
constexpr int32_t OPOS_E_NOEXIST = 109;
constexpr int32_t OPOS_E_EXISTS = 110;
constexpr int32_t OPOS_E_FAILURE = 111;
constexpr int32_t OPOS_E_TIMEOUT = 112;
constexpr int32_t OPOS_E_BUSY = 113;
constexpr int32_t OPOS_E_EXTENDED = 114;

// OpenResult values: 403 for a device the registry does not describe fully, then the
// service's own codes for the step of OpenService that failed.
constexpr int32_t OPOS_ORS_CONFIG = 403;
constexpr int32_t kOpenResultAlreadyOpen = 451;
constexpr int32_t kOpenResultNoControlObject = 452;
constexpr int32_t kOpenResultNoThread = 453;
constexpr int32_t kOpenResultNoReliability = 454;
constexpr int32_t kOpenResultNoStatistics = 455;
constexpr int32_t kOpenResultNoPort = 456;

// Device states; the service only ever reports closed and idle.
constexpr int32_t OPOS_S_CLOSED = 1;
constexpr int32_t OPOS_S_IDLE = 2;

// Power reporting capability, power notification and power states.
constexpr int32_t OPOS_PR_NONE = 0;
constexpr int32_t OPOS_PR_STANDARD = 1;
constexpr int32_t OPOS_PN_DISABLED = 0;
constexpr int32_t OPOS_PN_ENABLED = 1;
constexpr int32_t OPOS_PS_UNKNOWN = 2000;
constexpr int32_t OPOS_PS_ONLINE = 2001;
constexpr int32_t OPOS_PS_OFF_OFFLINE = 2004;

// Status-update event values.
constexpr int32_t CASH_SUE_DRAWERCLOSED = 0;
constexpr int32_t CASH_SUE_DRAWEROPEN = 1;
constexpr int32_t OPOS_SUE_POWER_ONLINE = 2001;
constexpr int32_t OPOS_SUE_POWER_OFF_OFFLINE = 2004;

// BinaryConversion modes.
constexpr int32_t OPOS_BC_NONE = 0;
constexpr int32_t OPOS_BC_NIBBLE = 1;
constexpr int32_t OPOS_BC_DECIMAL = 2;

// Numeric property indexes.
constexpr int32_t PIDX_Claimed = 1;
constexpr int32_t PIDX_DataEventEnabled = 2;
constexpr int32_t PIDX_DeviceEnabled = 3;
constexpr int32_t PIDX_FreezeEvents = 4;
constexpr int32_t PIDX_OutputID = 5;
constexpr int32_t PIDX_ResultCode = 6;
constexpr int32_t PIDX_ResultCodeExtended = 7;
constexpr int32_t PIDX_ServiceObjectVersion = 8;
constexpr int32_t PIDX_State = 9;
constexpr int32_t PIDX_AutoDisable = 10;
constexpr int32_t PIDX_BinaryConversion = 11;
constexpr int32_t PIDX_DataCount = 12;
constexpr int32_t PIDX_PowerNotify = 13;
constexpr int32_t PIDX_PowerState = 14;
constexpr int32_t PIDX_CapPowerReporting = 501;
constexpr int32_t PIDX_CapStatisticsReporting = 502;
constexpr int32_t PIDX_CapUpdateStatistics = 503;
constexpr int32_t PIDX_CapCompareFirmwareVersion = 504;
constexpr int32_t PIDX_CapUpdateFirmware = 505;
constexpr int32_t PIDXCash_DrawerOpened = 1001;
constexpr int32_t PIDXCash_CapStatus = 1501;
constexpr int32_t PIDXCash_CapStatusMultiDrawerDetect = 1502;

// String property indexes.
constexpr int32_t PIDX_CheckHealthText = 1000001;
constexpr int32_t PIDX_DeviceDescription = 1000002;
constexpr int32_t PIDX_DeviceName = 1000003;
constexpr int32_t PIDX_ServiceObjectDescription = 1000004;

// Published name of a result code, for traces and diagnostics; nullptr if the code is unknown.
constexpr const char* OposResultName(int32_t code) {
    switch (code) {
        case OPOS_SUCCESS:
            return "OPOS_SUCCESS";
        case OPOS_E_CLOSED:
            return "OPOS_E_CLOSED";
        case OPOS_E_CLAIMED:
            return "OPOS_E_CLAIMED";
        case OPOS_E_NOTCLAIMED:
            return "OPOS_E_NOTCLAIMED";
        case OPOS_E_NOSERVICE:
            return "OPOS_E_NOSERVICE";
        case OPOS_E_DISABLED:
            return "OPOS_E_DISABLED";
        case OPOS_E_ILLEGAL:
            return "OPOS_E_ILLEGAL";
        case OPOS_E_NOHARDWARE:
            return "OPOS_E_NOHARDWARE";
        case OPOS_E_OFFLINE:
            return "OPOS_E_OFFLINE";
        case OPOS_E_NOEXIST:
            return "OPOS_E_NOEXIST";
        case OPOS_E_EXISTS:
            return "OPOS_E_EXISTS";
        case OPOS_E_FAILURE:
            return "OPOS_E_FAILURE";
        case OPOS_E_TIMEOUT:
            return "OPOS_E_TIMEOUT";
        case OPOS_E_BUSY:
            return "OPOS_E_BUSY";
        case OPOS_E_EXTENDED:
            return "OPOS_E_EXTENDED";
        default:
            return nullptr;
    }
}
