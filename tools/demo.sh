#!/usr/bin/env bash
# The demo: registers the freshly built service object in the private Wine prefix and shows
# it the way a control object meets it. Leaves the prefix ready for your own cdctl commands.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
wine="$root/tools/wine.sh"
dll="Z:$(tr / '\\' <<<"$root/out/x64/Bramwick.dll")"

step() { printf '\n== %s\n' "$*"; }

step "Registering $dll in the private prefix (regsvr32)"
"$wine" regsvr32 /s "$dll"
echo "registered: ProgID OPOS.CashDrawer.Bramwick.1"

step "Creating the service object by ProgID and reading its properties through IDispatch"
"$wine" "$root/out/x64/cdctl.exe" props

step "Done"
cat <<EOT
The prefix stays ready. Try your own commands:
  tools/wine.sh out/x64/cdctl.exe --help
  tools/wine.sh out/x64/cdctl.exe props
  tools/wine.sh out/x64/cdctl.exe trace FILE.trc
The prefix lives in build/wineprefix; 'make prefix-down' stops its wineserver.
EOT
