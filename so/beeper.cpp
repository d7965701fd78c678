// The beeper seam.
#include "so/beeper.h"

#include <atomic>

namespace {
BOOL PlatformBeep(DWORD frequency, DWORD duration) { return Beep(frequency, duration); }
std::atomic<BeepFunction> g_beep{&PlatformBeep};
}  // namespace

BOOL SoundBeep(DWORD frequency, DWORD duration) { return g_beep.load()(frequency, duration); }

BeepFunction SetBeepFunction(BeepFunction beep) {
    return g_beep.exchange(beep ? beep : &PlatformBeep);
}
