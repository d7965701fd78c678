#!/usr/bin/env bash
# Runs a VBScript test under Wine's cscript; success is the script's pass marker (a script
# error under Wine prints nothing and exits 0).
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
script="${1:?script.vbs}"
winpath="Z:$(readlink -f "$script" | tr / '\\')"
cscript=cscript
[ "${BRAMWICK_WINE_TIER:-}" = wow64 ] && cscript='C:\windows\syswow64\cscript.exe'
out=$("$here/../../tools/wine.sh" "$cscript" //nologo "$winpath" "${@:2}" 2>&1)
rc=$?
echo "$out"
if [ $rc -ne 0 ] || ! grep -q 'VBSCRIPT-PASS' <<<"$out"; then
    echo "vbscript test failed (exit $rc)"
    exit 1
fi
