// The module's shared data section. Explicit initialisers keep the variables out of .bss,
// which is never shared.
#include "link/shared_state.h"

#define BRAMWICK_SHARED __attribute__((section(".shared"), shared))

volatile LONG g_nDrawerStatus[2] BRAMWICK_SHARED = {0, 0};
volatile LONG g_nStatusSeq BRAMWICK_SHARED = 0;
volatile LONG g_nListeners BRAMWICK_SHARED = 0;
volatile LONG g_nPendingAcks BRAMWICK_SHARED = 0;
volatile LONG g_bInitialQuery BRAMWICK_SHARED = 0;
volatile DWORD g_dwModemStatus BRAMWICK_SHARED = 0;
volatile BYTE g_abCommand[4] BRAMWICK_SHARED = {0, 0, 0, 0};
volatile LONG g_nCommandLength BRAMWICK_SHARED = 0;
volatile LONG g_nWriteResult BRAMWICK_SHARED = 0;
