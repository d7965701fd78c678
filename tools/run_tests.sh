#!/usr/bin/env bash
# Runs the native tests, then the Wine tests of the x64 build, and prints one summary line.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
log="$root/build/test-logs"
mkdir -p "$log"
passed=0
failed=0
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
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
