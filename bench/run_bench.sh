#!/usr/bin/env bash
# `make bench`: builds the benchmark, registers the freshly built service in the benchmark's own
# Wine prefix and runs it against the simulated controller. Prints the table and the
# "BENCH <name> <value>" lines; the whole output is kept in build/bench-x64/bench.log. Then the
# same for out/x86 in the 32-bit tier (tools/wow64.sh), each figure named with "_x86", kept in
# build/bench-x86/bench.log; skipped by name where the tier cannot run.
#   BRAMWICK_WINEPREFIX   prefix to use (default build/wineprefix-bench; never the test prefix)
#   BENCH_OUT_DIR         folder of Bramwick.dll, ZeZAZ.dll, XTRLOG32.DLL (default out/x64)
#   BENCH_IDLE_SECONDS    length of the idle-CPU measurement (default 60)
#   BENCH_FIGURES         comma-separated subset of openclose, events, opendrawer, nonowner,
#                         fanout, idle (default all)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export BRAMWICK_WINEPREFIX="${BRAMWICK_WINEPREFIX:-$root/build/wineprefix-bench}"
out="${BENCH_OUT_DIR:-$root/out/x64}"
work="$root/build/bench-x64"
winpath() { echo "Z:$(tr / '\\' <<<"$1")"; }

# The benchmark program: from the main x64 build once cmake/windows.cmake includes
# bench/bench.cmake, otherwise from a build folder of its own.
if [ -f "$root/build/x64/build.ninja" ] && grep -q 'bramwick_bench' "$root/build/x64/build.ninja"; then
    cmake --build "$root/build/x64" --target bramwick_bench >/dev/null
    exe="$root/build/x64/bench/bramwick_bench.exe"
else
    if [ ! -f "$work/build.ninja" ]; then
        cmake -S "$root" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" \
            -DBRAMWICK_OUT_DIR="$work/out" -DBRAMWICK_TESTS=OFF \
            -DCMAKE_PROJECT_INCLUDE="$root/bench/standalone.cmake" >/dev/null
    fi
    cmake --build "$work" --target bramwick_bench >/dev/null
    exe="$work/bench/bramwick_bench.exe"
fi
for f in Bramwick.dll ZeZAZ.dll XTRLOG32.DLL; do
    [ -f "$out/$f" ] || { echo "bench: $out/$f is missing (make build)" >&2; exit 2; }
done

"$root/tools/wineprefix.sh" up
trap '"$root/tools/wineprefix.sh" down' EXIT
"$root/tools/wine.sh" regsvr32 /s "$(winpath "$out/Bramwick.dll")"

# The wineserver of this prefix, for the idle report: found by the prefix in its environment.
server_pid() {  # [prefix as the server sees it]
    local p
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/exe" 2>/dev/null)" in */wineserver*) ;; *) continue ;; esac
        if tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=${1:-$BRAMWICK_WINEPREFIX}"; then
            echo "${p#/proc/}"
            return
        fi
    done
}

# Fresh trace and simulator folders under WORK, and the environment of one run against OUT.
prepare() {  # WORK OUT SERVER_PID
    mkdir -p "$1/sim"
    rm -rf "$1/trace"
    mkdir -p "$1/trace"
    export WINEPATH="$(winpath "$2")"
    export BRAMWICK_TRACE_DIR="$(winpath "$1/trace")"
    export BRAMWICK_SIM_DIR="$(winpath "$1/sim")"
    export BENCH_WINESERVER_PID="$3"
}

prepare "$work" "$out" "$(server_pid)"
export BENCH_IDLE_SECONDS="${BENCH_IDLE_SECONDS:-60}"

{
    echo "# machine: $(nproc) CPUs ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')), $(/usr/lib/wine/wine64 --version), Linux $(uname -r)"
    echo "# load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "# service: $out/Bramwick.dll; traces in $work/trace"
    status=0
    "$root/tools/wine.sh" "$exe" run || status=$?
    echo "# load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
    exit $status
} 2>&1 | tee "$work/bench.log"
status64="${PIPESTATUS[0]}"
"$root/tools/wineprefix.sh" down
trap - EXIT

# The 32-bit build in the tier: same figures, same goals, names ending in "_x86".
out86="${BENCH_OUT_DIR_X86:-$root/out/x86}"
work86="$root/build/bench-x86"
tier=0
why=$("$root/tools/wow64.sh" up 2>&1 >/dev/null) || tier=$?  # sets up and checks first
if [ "$tier" -ne 0 ]; then
    echo "bench x86: skipped: ${why#wow64: skipped: }"
    exit "$status64"
fi
trap '"$root/tools/wow64.sh" down' EXIT
cmake --build "$root/build/x86" --target bramwick_bench >/dev/null
exe86="$root/build/x86/bench/bramwick_bench.exe"
export BRAMWICK_WINE_TIER=wow64
"$root/tools/wine.sh" 'C:\windows\syswow64\regsvr32.exe' /s "$(winpath "$out86/Bramwick.dll")"
prepare "$work86" "$out86" "$(server_pid /prefix)"
export BENCH_SUFFIX=_x86
{
    echo "# 32-bit tier: $(cat "$root/build/wow64/root/usr/share/doc/wine64/changelog.Debian.gz" 2>/dev/null | gzip -dc 2>/dev/null | head -1 | cut -d' ' -f1-2)"
    echo "# service: $out86/Bramwick.dll; traces in $work86/trace"
    status=0
    "$root/tools/wine.sh" "$exe86" run || status=$?
    exit $status
} 2>&1 | tee "$work86/bench.log"
status86="${PIPESTATUS[0]}"
[ "$status64" -eq 0 ] && [ "$status86" -eq 0 ]
