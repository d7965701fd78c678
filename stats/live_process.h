// The processes recorded in a shared block's user table, as Windows sees them.
#pragma once

#include "stats/device_sharing.h"

// This process: its id and creation time.
ProcessIdentity CurrentProcessIdentity();
// Whether the process is still running: false once it has ended, or when its id now belongs
// to a process created at another time. A process this one may not look at (another user's)
// counts as running.
bool IsProcessAlive(const ProcessIdentity& process);
