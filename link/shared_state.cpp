// The named mapping behind SharedLink(); see shared_state.h.
#include "link/shared_state.h"

#include "framework/handles.h"

namespace {

struct SharedLinkMapping {
    fw::UniqueKernel mapping;
    fw::UniqueMappedView view;
    SharedLinkState fallback = {};
    SharedLinkState* state = &fallback;
    bool ready = false;

    SharedLinkMapping() {
        mapping.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         sizeof(SharedLinkState), kSharedLinkMappingName));
        if (!mapping) return;
        view.reset(MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0,
                                 sizeof(SharedLinkState)));
        if (!view) return;
        auto* shared = static_cast<SharedLinkState*>(view.get());
        // The first process stamps the zeroed block; every later one checks the stamp.
        const LONG magic = InterlockedCompareExchange(&shared->nMagic, kSharedLinkMagic, 0);
        if (magic == 0) {
            shared->nSize = sizeof(SharedLinkState);
            InterlockedExchange(&shared->nVersion, kSharedLinkVersion);
        } else if (magic != kSharedLinkMagic) {
            return;
        } else {
            // The stamping process may not have written the version yet.
            for (int spin = 0; spin < 1000 && shared->nVersion == 0; ++spin) Sleep(0);
            if (shared->nVersion != kSharedLinkVersion ||
                shared->nSize != static_cast<LONG>(sizeof(SharedLinkState))) {
                return;
            }
        }
        state = shared;
        ready = true;
    }
};

SharedLinkMapping& Mapping() {
    static SharedLinkMapping instance;
    return instance;
}

}  // namespace

SharedLinkState& SharedLink() {
    return *Mapping().state;
}

bool SharedLinkReady() {
    return Mapping().ready;
}

bool ProcessAlive(LONG processId) {
    if (processId == 0) return false;
    if (static_cast<DWORD>(processId) == GetCurrentProcessId()) return true;
    fw::UniqueKernel process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId)));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}
