// The calling interface between the service and a port library: the exported "Init" and
// "Term", the request entry "Init" hands back, the request codes and the open-request record.
// Every word is pointer-sized, so the records keep their 32-bit layout on x86 and carry full
// pointers on x64. Shared by the service (CPortLibrary) and our own port library.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "link/port_codes.h"

using PortWord = uintptr_t;

// Request codes (word 0 of every request record).
enum PortRequestCode : PortWord {
    kPortOpen = 0,            // the 78 words of PortOpenParams
    kPortClose = 1,           // none
    kPortRead = 2,            // buffer, count, DWORD* got, 0
    kPortWrite = 3,           // buffer, count, DWORD* written, 0
    kPortWaitEvent = 6,       // DWORD* mask, OVERLAPPED*
    kPortPurge = 7,           // flags
    kPortClearError = 8,      // DWORD* errors, COMSTAT*
    kPortGetModemStatus = 9,  // DWORD* status
    kPortSetEventMask = 10,   // mask (0 completes a pending wait with mask 0)
    kPortLineError = 16,      // const char* "PEEV", 128
};

// Line events the reader waits for: EV_RXCHAR | EV_CTS | EV_DSR | EV_BREAK | EV_ERR.
constexpr DWORD kPortEventMask = 0xD9;
constexpr PortWord kPurgeAll = 15;  // PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR

// One member of the platform's DCB that the service prescribes (set = 1) or leaves (set = 0).
struct DcbChange {
    PortWord set;
    PortWord value;
};

// The DCB members after its length member, in the record's order.
enum DcbMember : int {
    kDcbBaudRate,
    kDcbBinary,
    kDcbParity,
    kDcbOutxCtsFlow,
    kDcbOutxDsrFlow,
    kDcbDtrControl,
    kDcbDsrSensitivity,
    kDcbTXContinueOnXoff,
    kDcbOutX,
    kDcbInX,
    kDcbErrorChar,
    kDcbNull,
    kDcbRtsControl,
    kDcbAbortOnError,
    kDcbDummy2,
    kDcbReserved,
    kDcbXonLim,
    kDcbXoffLim,
    kDcbByteSize,
    kDcbParityValue,
    kDcbStopBits,
    kDcbXonChar,
    kDcbXoffChar,
    kDcbErrorCharValue,
    kDcbEofChar,
    kDcbEvtChar,
    kDcbReserved1,
    kDcbMemberCount
};

struct PortOpenParams {
    PortWord path;                   // 0: directory text
    PortWord dllName;                // 1: library file name text
    PortWord port;                   // 2: port name text ("COM3", "SIM1")
    PortWord deviceName;             // 3: OPOS device name
    PortWord moduleName;             // 4: "BRAMWICK"
    PortWord eventLogPortName;       // 5
    PortWord deviceDescription;      // 6: device name + "Cash Drawer" text
    PortWord eventLogMode;           // 7: 0 Disable, 1 Enable, 2 other
    PortWord statusRequestEvent;     // 8: HANDLE the library sets to ask for a status query
    PortWord cancelWaitEvent;        // 9: HANDLE the library sets to end the reader's wait
    PortWord restartHardwareId;      // 10: text
    PortWord restartCount;           // 11
    PortWord restartTimeout;         // 12: ms
    PortWord eventMask;              // 13: 0xD9
    PortWord timeouts[5];            // 14-18: COMMTIMEOUTS values
    PortWord inputQueueSize;         // 19
    PortWord outputQueueSize;        // 20
    PortWord settings;               // 21: settings text, "19200,N,8,1"
    DcbChange dcb[kDcbMemberCount];  // 22-75
    PortWord dllMode;                // 76
    PortWord detailWord;             // 77: LONG* of the service
};

constexpr size_t kPortOpenParamWords = 78;
static_assert(sizeof(PortOpenParams) == kPortOpenParamWords * sizeof(PortWord),
              "open parameters are 78 words");
static_assert(offsetof(PortOpenParams, eventMask) == 13 * sizeof(PortWord), "word 13");
static_assert(offsetof(PortOpenParams, timeouts) == 14 * sizeof(PortWord), "words 14-18");
static_assert(offsetof(PortOpenParams, settings) == 21 * sizeof(PortWord), "word 21");
static_assert(offsetof(PortOpenParams, dcb) == 22 * sizeof(PortWord), "words 22-75");
static_assert(offsetof(PortOpenParams, dllMode) == 76 * sizeof(PortWord), "word 76");
static_assert(offsetof(PortOpenParams, detailWord) == 77 * sizeof(PortWord), "word 77");
#ifndef _WIN64
static_assert(sizeof(PortOpenParams) == 312, "exact 32-bit layout");
#endif

// The open request as passed to the request entry: the code word, then the parameters.
struct PortOpenRequest {
    PortWord code;
    PortOpenParams params;
};
static_assert(sizeof(PortOpenRequest) == 79 * sizeof(PortWord), "79 words in all");

// Entry points. The request entry gets the port handle and the request record.
typedef LONG(WINAPI* PortRequestFn)(PortWord port, PortWord* request);
typedef PortWord(WINAPI* PortInitFn)(PortRequestFn* requestEntry, LONG* detail);
typedef void(WINAPI* PortTermFn)(PortWord port);
