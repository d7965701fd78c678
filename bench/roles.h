// The benchmark's processes. The orchestrator (no arguments, or "run") measures and prints;
// it starts copies of itself for the roles that need processes of their own:
//   peer SLOT PID    opens and enables the device, reports every SOStatusUpdate into its slot
//                    of the shared block until told to stop (or process PID, the
//                    orchestrator, has ended), then closes
//   nonowner COUNT   opens and enables the device while another process owns the port, and
//                    measures COUNT OpenDrawer calls
//   idle SECONDS TOKEN  opens and enables the device as its only user and measures its own
//                    CPU time while it sits idle for SECONDS; TOKEN, unique to the run, lets it
//                    find its own Linux process
#pragma once

#include <string>

#include "bench/figures.h"
#include "bench/shared_block.h"

namespace bench {

// Slot states in SharedBlock::state.
enum SlotState : LONG {
    kSlotStarting = 0,
    kSlotReady = 1,
    kSlotFinished = 2,
    kSlotNoArea = -1,
    kSlotNoService = -2,
    kSlotOpenFailed = -3,
    kSlotEnableFailed = -4,
    kSlotNoSimulator = -5,
};

// Idle measurement: windows of equal length, after the service has settled.
constexpr int kIdleWindows = 6;
constexpr DWORD kIdleSettleMs = 3000;

// Records every SOStatusUpdate of `session` into `slot` of the shared block, with the
// DrawerOpened property read inside the callback.
void RecordStatusInto(Session& session, SharedArea& area, int slot);

int RunPeer(int slot, DWORD orchestratorPid);
int RunNonOwner(int count);
int RunIdle(int seconds, const std::string& token);

}  // namespace bench
