// Variables shared by every process that has the module loaded (a shared data section; all
// zero when the first process loads it). The drawer status, the acknowledgement count and the
// modem status are guarded by the "Shared CashDrawer Open Status" mutex; the others are
// ordered by the hand-off events.
#pragma once

#include <windows.h>

extern volatile LONG g_nDrawerStatus[2];
extern volatile LONG g_nStatusSeq;
extern volatile LONG g_nListeners;
extern volatile LONG g_nPendingAcks;
extern volatile LONG g_bInitialQuery;
extern volatile DWORD g_dwModemStatus;
extern volatile BYTE g_abCommand[4];
extern volatile LONG g_nCommandLength;
extern volatile LONG g_nWriteResult;
