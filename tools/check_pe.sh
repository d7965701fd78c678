#!/usr/bin/env bash
# Static checks of the built modules: the x86 DLL is PE32 for i386 with the four COM exports,
# and every DLL and tool of both builds imports system DLLs only.
# usage: check_pe.sh OUT_X86 OUT_X64
set -uo pipefail
x86="${1:?out/x86}"
x64="${2:?out/x64}"
objdump=x86_64-w64-mingw32-objdump
system_dlls='^(kernel32|user32|advapi32|ole32|oleaut32|msvcrt|gdi32|shell32|shlwapi|version|ws2_32|bcrypt)\.dll$'
passed=0
failed=0
check() {  # description, command...
    local what="$1"
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        echo "FAIL: $what"
        failed=$((failed + 1))
    fi
}

is_pe32_i386() { $objdump -f "$1" 2>/dev/null | grep -q 'file format pei-i386'; }
is_pe32plus() { $objdump -f "$1" 2>/dev/null | grep -q 'file format pei-x86-64'; }
exports_com_entry_points() {
    local names
    names=$($objdump -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^$/{t=0}')
    for n in DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer; do
        grep -qx "$n" <<<"$names" || { echo "missing export $n in $1"; return 1; }
    done
}
imports_system_only() {
    local bad
    bad=$($objdump -p "$1" | awk '/DLL Name:/{print tolower($3)}' | grep -Ev "$system_dlls")
    [ -z "$bad" ] || { echo "$1 imports: $bad"; return 1; }
}

for f in "$x86/Bramwick.dll" "$x86/XTRLOG32.DLL" "$x86/ZeZAZ.dll"; do
    check "$f exists" test -f "$f"
    check "$f is PE32 i386" is_pe32_i386 "$f"
    check "$f imports only system DLLs" imports_system_only "$f"
done
check "x86 Bramwick.dll exports the COM entry points" exports_com_entry_points "$x86/Bramwick.dll"
for f in "$x64/Bramwick.dll" "$x64/XTRLOG32.DLL" "$x64/ZeZAZ.dll" "$x64/cdctl.exe"; do
    check "$f exists" test -f "$f"
    check "$f is PE32+ x86-64" is_pe32plus "$f"
    check "$f imports only system DLLs" imports_system_only "$f"
done
check "x64 Bramwick.dll exports the COM entry points" exports_com_entry_points "$x64/Bramwick.dll"
echo "pe checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
