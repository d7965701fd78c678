#!/usr/bin/env bash
# The installer package of the build under test (x86 with BRAMWICK_WINE_TIER=wow64) as a POS
# engineer deploys it: upgrade over an older version with a device, a session through the public
# control object, same/older version refused, uninstalls that keep only the statistics and
# counter file (nothing with KEEPDATA=0).   usage: package_test.sh OUT_DIR WORK_DIR
# Skipped (exit 77) without wixl or the control object (BRAMWICK_CCO_DIR, default ../shared/cco).
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$(cd "${1:?OUT_DIR}" && pwd)"
work="${2:?WORK_DIR}"
wine="$root/tools/wine.sh"
winpath() { printf 'Z:%s' "$(tr / '\\' <<<"$1")"; }
arch=x64
sysdir='C:\windows\system32'
programs='C:\Program Files'
if [ "${BRAMWICK_WINE_TIER:-}" = wow64 ]; then
    arch=x86
    sysdir='C:\windows\syswow64'
    programs='C:\Program Files (x86)'
fi
cco="${BRAMWICK_CCO_DIR:-$root/../shared/cco}/$arch/OPOSCashDrawer.ocx"
command -v wixl >/dev/null || { echo "package_test: skipped: no wixl (apt-get install wixl)"; exit 77; }
[ -f "$cco" ] || { echo "package_test: skipped: no $cco (the CashDrawer control of the OPOS" \
    "Common Control Objects 1.16, public, Apache License 2.0; give its folder in BRAMWICK_CCO_DIR)"; exit 77; }

failures=0
check() {  # what, then a command that must succeed
    local what="$1"
    shift
    if "$@" >/dev/null 2>&1; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
refuse() { ! "$@"; }
run() { "$wine" "$@" </dev/null; }
reg() { run "$sysdir\\reg.exe" "$@"; }
msiexec() { run msiexec "$@" /qn; }
folder="$programs\\OPOS\\Bramwick"
cdctl() { run "$folder\\cdctl.exe" "$@"; }
device='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\PkgDrawer'
maker='HKLM\SOFTWARE\Velmora\Vantrel'
counter='C:\ProgramData\Bramwick\RASPkgDrawer.LOG'
lib='HKCR\TypeLib\{426C84BF-B735-4D76-AF72-78171F288F22}'
platform=win64 other=win32
[ "$arch" = x86 ] && platform=win32 other=win64
# The registration's keys; the event-log source and type library are shared by both builds.
ours=('HKCR\CLSID\{CC4696B3-A862-409D-AA79-A1D47BE98505}' 'HKCR\OPOS.CashDrawer.Bramwick.1'
    'HKCR\Interface\{72FFA19C-8D12-4A9F-BB98-FEF5A4B90782}'
    'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Bramwick' "$lib")
nothing_of_ours_left() {
    local key keys=("${ours[@]:0:3}" "$lib\\1.0\\409\\$platform" "$maker\\Bramwick")
    reg query "$lib\\1.0\\409\\$other" >/dev/null 2>&1 || keys+=("${ours[@]:3}")
    for key in "${keys[@]}"; do reg query "$key" >/dev/null 2>&1 && return 1; done
    ! reg query "$maker" /v Path >/dev/null 2>&1 && ! run cmd /c dir "$programs\\OPOS" >/dev/null 2>&1
}
# What the DLL registers, without Wine's "\\?\" prefix and type library flag 8.
registration() {
    local key
    for key in "${ours[@]}"; do reg query "$key" /s; done |
        tr -d "\r" | sed -e 's/\\\\?\\//' -e '/\\FLAGS$/{n;s/REG_SZ    8$/REG_SZ    0/}'
}

# Packages of this version and an older one; nothing left from an earlier run.
current="$work/current" older="$work/older"
rm -rf "$work" && mkdir -p "$current" "$older"
"$root/tools/package.sh" --out "$current" "$arch" >/dev/null || { echo "package build failed"; exit 1; }
"$root/tools/package.sh" --version 0.9.0 --out "$older" "$arch" >/dev/null ||
    { echo "older package build failed"; exit 1; }
msi="$(winpath "$current/Bramwick-$arch.msi")" oldmsi="$(winpath "$older/Bramwick-$arch.msi")"
msiexec /x "$msi" >/dev/null 2>&1
msiexec /x "$oldmsi" >/dev/null 2>&1
path_before=$(reg query "$maker" /v Path 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ    //p')
reg delete "$maker" /v Path /f >/dev/null 2>&1
reg delete "$device" /f >/dev/null 2>&1
run cmd /c del "$counter" >/dev/null 2>&1

# One command line for every version (under Wine the upgrade creates the device again from
# these properties; its statistics stay either way).
device_properties=(DEVICE=PkgDrawer PORT=SIMPKG DRAWERNO=1)
check "older version installed with a device" msiexec /i "$oldmsi" "${device_properties[@]}"
statistic() { reg query "$device\\Stat" /v DrawerGoodOpenCount | tr -d "\r" | grep -c "REG_SZ    $1\$"; }
check "device created with statistics" reg add "$device\\Stat" /v DrawerGoodOpenCount /d 7 /f
check "current version replaces it" msiexec /i "$msi" "${device_properties[@]}"
check "the device is kept" reg query "$device" /v Port
check "its statistics are kept" test "$(statistic 7)" = 1
check "one product installed" test "$(reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
    /s 2>/dev/null | grep -c "Bramwick OPOS CashDrawer Service Object ($arch)")" = 1
check "same version refused" refuse msiexec /i "$msi"
check "older version refused" refuse msiexec /i "$oldmsi"

cdctl setup add PkgDrawer Statistics=File >/dev/null
run "$root/out/$arch/cdctl.exe" sim SIMPKG reset >/dev/null
run "$root/out/$arch/cdctl.exe" sim SIMPKG autoclose 2000 >/dev/null
run "$sysdir\\regsvr32.exe" /s "$(winpath "$cco")"
check "session through the control object" "$here/run_vbs.sh" "$here/cco_session.vbs" PkgDrawer
installed=$(registration)
run "$sysdir\\regsvr32.exe" /s "$folder\\Bramwick.dll"
check "the package registers what the DLL registers" test "$installed" = "$(registration)"

check "uninstalled" msiexec /x "$msi"
check "nothing of ours left" nothing_of_ours_left
check "statistics kept, the session's open counted" test "$(statistic 8)" = 1
check "counter file kept" run cmd /c dir "$counter"
check "device entry gone" refuse reg query "$device" /v Port
check "installed again" msiexec /i "$msi" "${device_properties[@]}"
check "uninstalled with KEEPDATA=0" msiexec /x "$msi" KEEPDATA=0
check "nothing left at all" nothing_of_ours_left
check "no device" refuse reg query "$device"
check "no counter file" refuse run cmd /c dir "$counter"

run "$sysdir\\regsvr32.exe" /s "$(winpath "$out")\\Bramwick.dll"
[ -z "$path_before" ] || reg add "$maker" /v Path /d "$path_before" /f >/dev/null
[ "$failures" -eq 0 ] || { echo "package_test: $failures failed"; exit 1; }
echo "package_test: all passed"
