#!/usr/bin/env bash
# The demo (`make demo`, after the build and the prefix start): registers the freshly built
# service object in the private Wine prefix, configures a cash drawer "Demo" on the simulated
# controller SIMDEMO and runs one OPOS session on it the way an application's control object
# does. Leaves the prefix ready for your own cdctl commands.
#   BRAMWICK_DEMO_OUT  folder of the built x64 modules (default: out/x64)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${BRAMWICK_DEMO_OUT:-$root/out/x64}"
wine="$root/tools/wine.sh"
winpath() { printf 'Z:%s' "$(tr / '\\' <<<"$1")"; }
cdctl() { "$wine" "$out/cdctl.exe" "$@"; }

step() { printf '\n== %s\n' "$*"; }
say() { printf '   %s\n' "$@"; }

for module in Bramwick.dll XTRLOG32.DLL ZeZAZ.dll cdctl.exe; do
    if [ ! -f "$out/$module" ]; then
        echo "demo: $out/$module is missing; run 'make build' first" >&2
        exit 1
    fi
done
started=$(date +%s)

step "Registering $(winpath "$out/Bramwick.dll") in the private prefix (regsvr32)"
regsvr32=regsvr32
[ "${BRAMWICK_WINE_TIER:-}" = wow64 ] && regsvr32='C:\windows\syswow64\regsvr32.exe'
"$wine" "$regsvr32" /s "$(winpath "$out/Bramwick.dll")"
say "ProgID OPOS.CashDrawer.Bramwick.1 -> Bramwick.dll; the port library ZeZAZ.dll and the" \
    "trace library XTRLOG32.DLL sit in the same folder."

step "Configuring the cash drawer 'Demo' on the simulated controller SIMDEMO"
demo_dir="$root/build/demo"
mkdir -p "$demo_dir"
rm -f "$demo_dir/RASDemo.LOG"
# A fresh entry every run, so the statistics start from zero.
cdctl setup remove Demo >/dev/null 2>&1 || true
cdctl setup add Demo Port=SIMDEMO DrawerNo=1 EventLog=Enable Statistics=File \
    "StatFileName=$(winpath "$demo_dir/RASDemo.LOG")" "Path=$(winpath "$out")"

step "Resetting SIMDEMO; it closes an opened drawer by itself after 1.5 s"
cdctl sim SIMDEMO reset
cdctl sim SIMDEMO autoclose 1500
cdctl sim SIMDEMO show

step "One OPOS session, driven through IDispatch as a control object drives it"
say "open        OpenService(\"CashDrawer\", \"Demo\", cdctl's control object)" \
    "claim:1000  ClaimDevice(1000); enable: DeviceEnabled = TRUE" \
    "opendrawer  OpenDrawer: the drawer opens, the StatusUpdate event follows" \
    "waitclose   WaitForDrawerClose(500, 1000, 200, 300): beeps until the drawer is closed" \
    "health:2    CheckHealth(external): opens the drawer once more" \
    "stats:U_    RetrieveStatistics(\"U_\"): DrawerGoodOpenCount is 2" \
    "directio    113 reads the counter mode and file, 115 the drawer-open counter" \
    "release, close"
echo
cdctl session Demo open claim:1000 enable \
    opendrawer wait-events:1,3000 \
    waitclose:500,1000,200,300 wait-events:1,3000 \
    health:2 wait-events:2,5000 \
    stats:U_ directio:113 directio:115,1 \
    release close

step "The drawer-open counter outlives the session in its counter file"
cdctl ras Demo counter
say "file: $demo_dir/RASDemo.LOG"

step "Done in $(($(date +%s) - started)) s. The prefix stays ready for your own commands:"
cat <<EOT
  tools/wine.sh out/x64/cdctl.exe --help
  tools/wine.sh out/x64/cdctl.exe setup show Demo
  tools/wine.sh out/x64/cdctl.exe session Demo open enable opendrawer wait-events:1 close
  tools/wine.sh out/x64/cdctl.exe sim SIMDEMO show
  tools/wine.sh out/x64/cdctl.exe stats Demo
  tools/wine.sh out/x64/cdctl.exe ras Demo counter
See docs/cdctl.md. The prefix lives in build/wineprefix; 'make prefix-down' stops its wineserver.
EOT
