// CVmTrace: formats the service's 29-byte trace records and hands them to XTRLOG32.DLL.
// The application, event, port worker and power-fail threads all write through one instance at
// once; no lock is needed: each call builds its record on its stack and makes one library call.
#pragma once

#include <windows.h>

#include "framework/handles.h"

class CVmTrace {
public:
    // Loads XTRLOG32.DLL and looks up its five exports; when the load fails every export
    // pointer is null and all trace calls do nothing.
    CVmTrace();
    ~CVmTrace();
    CVmTrace(const CVmTrace&) = delete;
    CVmTrace& operator=(const CVmTrace&) = delete;

    // Opens up to `count` channels named after the last 14 characters of `baseName`, a digit
    // and one letter of `letters` each. The digit starts at '0' and advances (up to the
    // character 0x3E) only while the library refuses the first letter's name; the other
    // letters reuse the digit that worked. Every handle starts at -2 and stays there when the
    // library is missing or tracing is disabled.
    void OpenTrace(const char* baseName, int count, const char* letters, LONG* handles[]);

    // Closes `count` channels and sets their handles to -2 (only while tracing is enabled).
    void CloseTrace(int count, LONG* handles[]);

    // Values record: five values; `count` says how many are meaningful (callers pass 0 for
    // the others), the record carries all five.
    void Trace(LONG handle, const char* tag, int count, LONG v1, LONG v2, LONG v3, LONG v4,
               LONG v5);

    // Values-and-text record: `count` values (0..4), then the text over the remaining room.
    void TraceText(LONG handle, const char* tag, const char* text, int count, LONG v1, LONG v2,
                   LONG v3, LONG v4);

    // Bytes record: the full `count`, then at most 16 of the bytes.
    void TraceBytes(LONG handle, const char* tag, const void* data, LONG count);

    // Asks the library to save its trace files; 111 (OPOS_E_FAILURE) when it cannot.
    LONG SaveTraceFile();

    BOOL IsLibraryLoaded() const { return m_hLib.get() != nullptr; }

    BOOL m_bEnabled;  // tracing switched on; set by OpenService from Trace_Enable
    BOOL m_bTick;     // Trace_Tick as read by OpenService; it changes no trace output

private:
    fw::UniqueModule m_hLib;
};
