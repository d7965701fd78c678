#!/usr/bin/env bash
# Runs the native tests, the Wine tests of the x64 build, then the same Wine suites of the x86
# build in the 32-bit tier (tools/wow64.sh; skipped by name where this machine cannot run it),
# and prints one summary line.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
log="$root/build/test-logs"
mkdir -p "$log"
passed=0
failed=0
skipped=0
run_ctest() {  # name, build dir
    local out="$log/$1.log"
    ctest --test-dir "$2" --output-on-failure --timeout 600 2>&1 | tee "$out"
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$out" | tail -1)
    if [ -z "$line" ]; then
        echo "$1: no test summary" >&2
        failed=$((failed + 1))
        return
    fi
    local nfail total
    nfail=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - nfail))
    failed=$((failed + nfail))
}
run_ctest native "$root/build/native"
run_ctest wine-x64 "$root/build/x64"
"$root/tools/wineprefix.sh" down

# The 32-bit tier: set up on first use (downloads, then cached in build/wow64).
# Exit status 3 of the tier means it cannot run here (no 32-bit code, a pinned package gone).
tier=0
why=$("$root/tools/wow64.sh" up 2>&1 >/dev/null) || tier=$?  # sets up and checks first
case "$tier" in
0)
    run_ctest wine-x86 "$root/build/x86"
    "$root/tools/wow64.sh" down
    ;;
3)
    echo "wine-x86: skipped: ${why#wow64: skipped: }"
    skipped=$((skipped + 1))
    ;;
*)
    echo "wine-x86: the 32-bit tier did not start: $why"
    failed=$((failed + 1))
    ;;
esac
if [ "$skipped" -gt 0 ]; then
    echo "tests: $passed passed, $failed failed, $skipped skipped"
else
    echo "tests: $passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
