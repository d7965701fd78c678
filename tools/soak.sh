#!/usr/bin/env bash
# The long soak (docs/reliability.md): soak_driver.exe from the x64 test build supervises
# 8 worker processes x 200 cycles against the registered DLL while the port owner is killed at
# random moments, and fails on any violation; then, where the 32-bit tier runs, the same with
# half the applications 32-bit (build/x86's soak_driver.exe and out/x86).
#   tools/soak.sh [DRIVER OPTIONS]     e.g. --processes 4 --cycles 50 --kills 8 --seed 3
# Options given here come after the defaults and win. Environment:
#   SOAK_BUILD_DIR        the x64 build with tests/soak_driver.exe (default build/x64)
#   SOAK_OUT_DIR          its output folder with the DLLs and cdctl.exe (default out/x64)
#   BRAMWICK_WINEPREFIX   the Wine prefix (`make soak` gives the soak one of its own)
#   BRAMWICK_TRACE_DIR    when set (a Windows path), every process traces there
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${SOAK_BUILD_DIR:-$root/build/x64}"
out="${SOAK_OUT_DIR:-$root/out/x64}"
driver="$build/tests/soak_driver.exe"
if [ ! -f "$driver" ] || [ ! -f "$out/Bramwick.dll" ]; then
    echo "soak: $driver or $out/Bramwick.dll is missing (make build)" >&2
    exit 1
fi
win_out="Z:${out//\//\\}"

"$root/tools/wineprefix.sh" up
if ! "$root/tools/wine.sh" regsvr32 /s "$win_out\\Bramwick.dll" </dev/null; then
    echo "soak: the DLL cannot be registered" >&2
    "$root/tools/wineprefix.sh" down
    exit 1
fi
WINEPATH="$win_out" BRAMWICK_OUT_DIR="$win_out" \
    "$root/tools/wine.sh" "$driver" run --processes 8 --cycles 200 --kills 16 "$@" </dev/null
status=$?
"$root/tools/wineprefix.sh" down

# The mixed soak: the same run with every other application 32-bit, in the 32-bit tier where
# both builds are registered on one drawer. Skipped by name where the tier cannot run.
driver86="$root/build/x86/tests/soak_driver.exe"
out86="$root/out/x86"
tier=0
why=$("$root/tools/wow64.sh" up 2>&1 >/dev/null) || tier=$?  # sets up and checks first
if [ "$tier" -ne 0 ]; then
    echo "soak mixed: skipped: ${why#wow64: skipped: }"
    exit $status
fi
if [ ! -f "$driver86" ] || [ ! -f "$out86/Bramwick.dll" ]; then
    echo "soak mixed: $driver86 or $out86/Bramwick.dll is missing (make build)" >&2
    "$root/tools/wow64.sh" down
    exit 1
fi
win_out86="Z:${out86//\//\\}"
export BRAMWICK_WINE_TIER=wow64
"$root/tools/wine.sh" 'C:\windows\system32\regsvr32.exe' /s "$win_out\\Bramwick.dll" </dev/null &&
    "$root/tools/wine.sh" 'C:\windows\syswow64\regsvr32.exe' /s "$win_out86\\Bramwick.dll" </dev/null ||
    { echo "soak mixed: the DLLs cannot be registered" >&2; status=1; }
WINEPATH="$win_out" BRAMWICK_OUT_DIR="$win_out" \
    "$root/tools/wine.sh" "$driver" run --processes 8 --cycles 200 --kills 16 \
    --mixed "Z:${driver86//\//\\}" --mixed-out "$win_out86" "$@" </dev/null || status=1
"$root/tools/wow64.sh" down
exit $status
