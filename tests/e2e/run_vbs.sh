#!/usr/bin/env bash
# Runs a VBScript test under wine64 cscript. Script errors print nothing and exit 0 under
# Wine, so success is the script's own pass marker, not the exit code alone.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
script="${1:?script.vbs}"
winpath="Z:$(readlink -f "$script" | tr / '\\')"
# In the 32-bit tier the script host is the 32-bit one, so it loads 32-bit servers.
cscript=cscript
[ "${BRAMWICK_WINE_TIER:-}" = wow64 ] && cscript='C:\windows\syswow64\cscript.exe'
out=$("$here/../../tools/wine.sh" "$cscript" //nologo "$winpath" "${@:2}" 2>&1)
rc=$?
echo "$out"
if [ $rc -ne 0 ] || ! grep -q 'VBSCRIPT-PASS' <<<"$out"; then
    echo "vbscript test failed (exit $rc)"
    exit 1
fi
