// Creation and teardown of the service's events and mutexes.
#include "so/kernel_objects.h"

#include "so/device_config.h"

bool DrawerKernelObjects::Create(int drawerNo) {
    struct EventSpec {
        fw::Event* event;
        const char* name;
    };
    const EventSpec events[] = {
        {&drawerOpened, nullptr},
        {&drawerClosed, nullptr},
        {&inputWake, nullptr},
        {&responseReceived, kResponseReceivedEventName},
        {&statusUpdate, kStatusUpdateEventName},
        {&lineStatusUpdate, kLineStatusUpdateEventName},
        {&lineStatusOff, kLineStatusOffEventName},
        {&powerFail, kPowerFailEventName},
        {&outputRequest, kOutputRequestEventName},
        {&outputComplete, kOutputCompleteEventName},
        {&outputReady, kOutputReadyEventName},
        {&ownerStarted, nullptr},
        {&ownerStop, nullptr},
        {&portOpened, nullptr},
        {&eventWake, nullptr},
        {&libStatusRequest, nullptr},
        {&libCancelWait, nullptr},
        {&overlapped, nullptr},
        {&statusSeen, nullptr},
    };
    for (const EventSpec& e : events) {
        if (!e.event->Create(true, false, e.name)) {
            Close();
            return false;
        }
    }
    const struct {
        fw::Mutex* mutex;
        const char* name;
    } mutexes[] = {
        {&openStatus, kOpenStatusMutexName},
        {&outputRequestMutex, kOutputRequestMutexName},
        {&claim, ClaimMutexName(drawerNo)},
        {&comOpened, kComOpenedMutexName},
    };
    for (const auto& m : mutexes) {
        if (!m.mutex->Create(m.name)) {
            Close();
            return false;
        }
    }
    return true;
}

void DrawerKernelObjects::Close() {
    DWORD error = GetLastError();
    for (fw::Mutex* m : {&comOpened, &claim, &outputRequestMutex, &openStatus}) m->Close();
    for (fw::Event* e : {&overlapped, &libCancelWait, &libStatusRequest, &eventWake, &portOpened,
                         &ownerStop, &ownerStarted, &outputReady, &outputComplete, &outputRequest,
                         &powerFail, &lineStatusOff, &lineStatusUpdate, &statusUpdate,
                         &responseReceived, &inputWake, &drawerClosed, &drawerOpened}) {
        e->Close();
    }
    SetLastError(error);
}
