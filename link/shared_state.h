// The drawer link's state shared by every process that uses the service, 32- and 64-bit alike:
// one named mapping with a fixed layout of 32-bit fields, created zeroed by whichever process
// needs it first. The drawer status, the acknowledgement count and the modem status are
// guarded by the "Shared CashDrawer Open Status" mutex; the others are ordered by the hand-off
// events.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Name of the mapping; both builds open the same one.
constexpr char kSharedLinkMappingName[] = "Bramwick CashDrawer Shared Link";
// "BwSL" marks a block laid out as below; the version changes with the layout.
constexpr LONG kSharedLinkMagic = 0x4C537742;
constexpr LONG kSharedLinkVersion = 2;
constexpr int kListenerSlots = 32;

// One input thread that listens for status fan-outs: its process, and the sequence number of
// the last status it took. A slot whose process is gone is dropped by the fan-out.
struct ListenerSlot {
    volatile LONG nProcessId;  // 0: free
    volatile LONG nAckSeq;
};

struct SharedLinkState {
    volatile LONG nMagic;  // kSharedLinkMagic once a process has attached
    volatile LONG nVersion;
    volatile LONG nSize;  // sizeof(SharedLinkState) of the process that set the magic
    volatile LONG nDrawerStatus[2];
    volatile LONG nStatusSeq;
    volatile LONG nListeners;
    volatile LONG nPendingAcks;
    volatile LONG bInitialQuery;
    volatile DWORD dwModemStatus;
    volatile BYTE abCommand[4];
    volatile LONG nCommandLength;
    volatile LONG nWriteResult;
    volatile LONG nOwnerProcessId;  // the process whose reader has the port open; 0 for none
    // The claim of drawer 1 and 2: the claiming process and thread, 0 when not claimed. The
    // claim mutex is the claim; this record lets others see it without touching the mutex.
    volatile LONG nClaimProcessId[2];
    volatile LONG nClaimThreadId[2];
    ListenerSlot listeners[kListenerSlots];
    LONG reserved[50];  // room for later fields without a new mapping size
};

// One layout for both builds: LONG and DWORD are 32 bits on both, and nothing is a pointer.
static_assert(sizeof(LONG) == 4 && sizeof(DWORD) == 4, "32-bit fields in both builds");
static_assert(offsetof(SharedLinkState, nDrawerStatus) == 12, "shared link layout");
static_assert(offsetof(SharedLinkState, dwModemStatus) == 36, "shared link layout");
static_assert(offsetof(SharedLinkState, abCommand) == 40, "shared link layout");
static_assert(offsetof(SharedLinkState, nWriteResult) == 48, "shared link layout");
static_assert(offsetof(SharedLinkState, nOwnerProcessId) == 52, "shared link layout");
static_assert(offsetof(SharedLinkState, nClaimProcessId) == 56, "shared link layout");
static_assert(offsetof(SharedLinkState, listeners) == 72, "shared link layout");
static_assert(sizeof(ListenerSlot) == 8, "shared link layout");
static_assert(sizeof(SharedLinkState) == 528, "shared link layout");

// The drawer's line as dwModemStatus shows it: online only with CTS and DSR both on. The
// writer's check and the power state follow this one rule.
inline bool LineOnline(DWORD modemStatus) {
    return (modemStatus & MS_CTS_ON) != 0 && (modemStatus & MS_DSR_ON) != 0;
}

// The process's view of the shared state. It is mapped at the first call and stays mapped
// until the module unloads. When the mapping cannot be had, or another build laid it out
// differently, a private block stands in and SharedLinkReady() is false: the caller must then
// refuse to open the device rather than work on state no other process sees.
SharedLinkState& SharedLink();
bool SharedLinkReady();

// True while the process runs (a process that cannot be opened for lack of rights counts as
// running); false for 0 and for a process that has ended.
bool ProcessAlive(LONG processId);
