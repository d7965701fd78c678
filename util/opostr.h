// COPOStr packs and unpacks OPOS binary data carried in string parameters, following the
// BinaryConversion modes (none, nibble, decimal). The core is pure C++; the automation-string
// (BSTR) entry points exist only in Windows builds.
#pragma once

#include <cstdint>
#include <string>

#include "opos_constants.h"

#ifdef _WIN32
#include <wtypes.h>
#endif

class COPOStr {
public:
    COPOStr() = default;
    virtual ~COPOStr() = default;

    void SetMode(int32_t mode) { m_nMode = mode; }
    int32_t GetMode() const { return m_nMode; }

    // Every conversion takes the mode last; -1 selects m_nMode. Returned byte blocks hold
    // *length bytes plus a terminating zero, come from new[] and are freed by the caller with
    // delete[]. A null result always leaves *length at 0 (unless length itself is null).
    uint8_t* StringToBytes(const char* text, int32_t* length, int32_t mode) const;
    std::string BytesToString(const uint8_t* data, int32_t count, int32_t mode) const;
    // UTF-16 text up to its first NUL: each unit below 0x100 becomes that byte, any other unit
    // a zero byte; mode none returns those bytes, other modes decode them as text.
    uint8_t* WideToBytes(const char16_t* units, int32_t* length, int32_t mode) const;

#ifdef _WIN32
    uint8_t* BSTRToBytes(const BSTR* str, int32_t* length, int32_t mode) const;
    // The BSTR is the caller's to free with SysFreeString; null for null data or count < 1.
    BSTR BytesToBSTR(const uint8_t* data, int32_t count, int32_t mode) const;
#endif

    int32_t m_nMode = OPOS_BC_NONE;  // mode used when a caller passes -1
};
