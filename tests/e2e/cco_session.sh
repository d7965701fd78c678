#!/usr/bin/env bash
# A session through the public OPOS control object of the same bitness as the build under test
# (x64 under wine64; x86 in the 32-bit tier, BRAMWICK_WINE_TIER=wow64), as a POS application
# runs it: the control object is registered, a device is set up with that build's cdctl on a
# simulated drawer, and cco_session.vbs opens the drawer through it.
#   cco_session.sh OUT_DIR
# The control object is taken from BRAMWICK_CCO_DIR, by default the folder "shared/cco" beside
# the project; without it the test is skipped (exit 77).
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$(cd "${1:?OUT_DIR}" && pwd)"
wine="$root/tools/wine.sh"
winpath() { printf 'Z:%s' "$(tr / '\\' <<<"$1")"; }
arch=x64
sysdir='C:\windows\system32'
if [ "${BRAMWICK_WINE_TIER:-}" = wow64 ]; then
    arch=x86
    sysdir='C:\windows\syswow64'
fi
cco="${BRAMWICK_CCO_DIR:-$root/../shared/cco}/$arch/OPOSCashDrawer.ocx"
if [ ! -f "$cco" ]; then
    echo "cco_session: skipped: no $cco (the CashDrawer control of the OPOS Common Control" \
        "Objects 1.16, public, Apache License 2.0; give its folder in BRAMWICK_CCO_DIR)"
    exit 77
fi
cco="$(cd "$(dirname "$cco")" && pwd)/OPOSCashDrawer.ocx"

"$wine" "$sysdir\\regsvr32.exe" /s "$(winpath "$cco")" </dev/null || { echo "cannot register $cco"; exit 1; }
cdctl() { "$wine" "$out/cdctl.exe" "$@" </dev/null; }
cdctl setup remove CcoDrawer >/dev/null 2>&1
cdctl setup add CcoDrawer Port=SIMCCO DrawerNo=1 Trace_Enable=False "Path=$(winpath "$out")" \
    >/dev/null || { echo "cdctl setup add failed"; exit 1; }
cdctl sim SIMCCO reset >/dev/null && cdctl sim SIMCCO autoclose 2000 >/dev/null
"$here/run_vbs.sh" "$here/cco_session.vbs" CcoDrawer
status=$?
cdctl setup remove CcoDrawer >/dev/null 2>&1
exit $status
