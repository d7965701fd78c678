#!/usr/bin/env bash
# The installer package of the build under test (x64 under wine64; x86 in the 32-bit tier,
# BRAMWICK_WINE_TIER=wow64) as a POS engineer deploys it: an older version installed silently
# with a device, the current one installed over it, a session through the public control
# object with nothing else set up, the same or an older version refused, and uninstalls that
# leave nothing of ours but the device's statistics and counter file (nothing with KEEPDATA=0).
#   package_test.sh OUT_DIR WORK_DIR
# The control object is taken from BRAMWICK_CCO_DIR, by default the folder "shared/cco" beside
# the project. Skipped (exit 77) without it or without wixl.
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
# The registration's keys. The event-log source and the type library (but for its platform's
# path) are one for both builds, which the tier's other tests may have registered.
ours=('HKCR\CLSID\{CC4696B3-A862-409D-AA79-A1D47BE98505}' 'HKCR\OPOS.CashDrawer.Bramwick.1'
    'HKCR\Interface\{72FFA19C-8D12-4A9F-BB98-FEF5A4B90782}'
    'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Bramwick' "$lib")
nothing_of_ours_left() {
    local key keys=("${ours[@]:0:3}" "$lib\\1.0\\409\\$platform" "$maker\\Bramwick")
    reg query "$lib\\1.0\\409\\$other" >/dev/null 2>&1 || keys+=("${ours[@]:3}")
    for key in "${keys[@]}"; do reg query "$key" >/dev/null 2>&1 && return 1; done
    ! reg query "$maker" /v Path >/dev/null 2>&1 && ! run cmd /c dir "$programs\\OPOS" >/dev/null 2>&1
}
# The registry of a package is what the DLL writes for itself (tests/win/com_test.cpp holds
# the DLL to the registration table): the same values with Wine's "\\?\" prefix and type
# library flag 8 taken out.
registration() {
    local key
    for key in "${ours[@]}"; do reg query "$key" /s; done |
        tr -d "\r" | sed -e 's/\\\\?\\//' -e '/\\FLAGS$/{n;s/REG_SZ    8$/REG_SZ    0/}'
}

# Packages of this build's version and of an older one; no installation left by a run before.
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

# A deployment runs the same command line for every version. (Wine's msiexec does not tell the
# older version's removal that it is part of an upgrade, so there the device is created again
# from these properties; its statistics stay either way.)
device_properties=(DEVICE=PkgDrawer PORT=SIMPKG DRAWERNO=1)
check "older version installed with a device" msiexec /i "$oldmsi" "${device_properties[@]}"
statistic() { reg query "$device\\Stat" /v DrawerGoodOpenCount | tr -d "\r" | grep -c "REG_SZ    $1\$"; }
check "device created with statistics" reg add "$device\\Stat" /v DrawerGoodOpenCount /d 7 /f
check "current version replaces it" msiexec /i "$msi" "${device_properties[@]}"
check "the device is kept" reg query "$device" /v Port
check "its statistics are kept" test "$(statistic 7)" = 1
products=$(reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    grep -c "Bramwick OPOS CashDrawer Service Object ($arch)")
check "one product installed ($products)" test "$products" = 1
check "same version refused" refuse msiexec /i "$msi"
check "older version refused" refuse msiexec /i "$oldmsi"
check "still installed" cdctl --version

# A POS application's session on the installed service, counting into a counter file.
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

# The DLL of the build under test registered again, the maker's Path as it was.
run "$sysdir\\regsvr32.exe" /s "$(winpath "$out")\\Bramwick.dll"
[ -z "$path_before" ] || reg add "$maker" /v Path /d "$path_before" /f >/dev/null
[ "$failures" -eq 0 ] || { echo "package_test: $failures failed"; exit 1; }
echo "package_test: all passed"
