// The events and mutexes an open service works with: process-local ones for its own threads
// and the named ones every instance on the machine shares. Created in one fixed order by
// OpenService and closed in the reverse order by the teardown.
#pragma once

#include "framework/sync.h"

// Names of the machine-wide objects.
constexpr char kResponseReceivedEventName[] = "Velmora CD Response Received Event";
constexpr char kStatusUpdateEventName[] = "Velmora CD Status Update Event";
constexpr char kLineStatusUpdateEventName[] = "Velmora CD LineStatus Update Event";
constexpr char kLineStatusOffEventName[] = "Velmora CD LineStatus Off Event";
constexpr char kPowerFailEventName[] = "Vantrel PowerFail Event";
constexpr char kOutputRequestEventName[] = "Velmora CD Output Request Event";
constexpr char kOutputCompleteEventName[] = "Velmora CD Output Complete Event";
constexpr char kOutputReadyEventName[] = "Velmora CD Output Ready Event";
constexpr char kOpenStatusMutexName[] = "Shared CashDrawer Open Status";
constexpr char kOutputRequestMutexName[] = "Vantrel CashDrawer Output Request";
constexpr char kComOpenedMutexName[] = "Shared CashDrawer COM Opened";

struct DrawerKernelObjects {
    // Events: manual-reset, initially not signalled.
    fw::Event drawerOpened;
    fw::Event drawerClosed;
    fw::Event inputWake;
    fw::Event responseReceived;
    fw::Event statusUpdate;
    fw::Event lineStatusUpdate;
    fw::Event lineStatusOff;
    fw::Event powerFail;
    fw::Event outputRequest;
    fw::Event outputComplete;
    fw::Event outputReady;
    fw::Event ownerStarted;
    fw::Event ownerStop;
    fw::Event portOpened;
    fw::Event eventWake;
    fw::Event libStatusRequest;
    fw::Event libCancelWait;
    fw::Event overlapped;
    fw::Event statusSeen;  // this instance's input thread took a new status
    // Mutexes: created not owned.
    fw::Mutex openStatus;
    fw::Mutex outputRequestMutex;
    fw::Mutex claim;
    fw::Mutex comOpened;

    // Creates every object in order; on the first failure closes what was created and returns
    // false with the system's error left in GetLastError.
    bool Create(int drawerNo);
    // Closes every object, the last created first.
    void Close();
};
