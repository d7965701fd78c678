// The platform beeper behind a seam: WaitForDrawerClose sounds it through here, and tests
// replace it to see the rhythm of the calls (the beeper itself may be silent).
#pragma once

#include <windows.h>

using BeepFunction = BOOL (*)(DWORD frequency, DWORD duration);

// Sounds a tone and returns when it has ended.
BOOL SoundBeep(DWORD frequency, DWORD duration);
// Replaces the beeper; null restores the platform's. Returns the previous one.
BeepFunction SetBeepFunction(BeepFunction beep);
