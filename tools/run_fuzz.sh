#!/usr/bin/env bash
# Builds the libFuzzer targets (clang++, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# each one for a while, starting from its seeds in tests/fuzz/corpus/<target> and the inputs of
# faults found before in tests/fuzz/regressions/<target>.
#   tools/run_fuzz.sh [TARGET...]     all targets when none is named
# Environment:
#   FUZZ_SECONDS     run time of each target (default 60)
#   FUZZ_RUNS        when set, run each target for this many executions instead
#   FUZZ_BUILD_DIR   build folder (default build/fuzz)
# What a run finds is kept in <build>/fuzz-corpus/<target>; an input that fails a check or
# trips a sanitizer is written to <build>/fuzz-artifacts/ and the script ends with status 1.
# Reproduce one with: <build>/fuzzers/<target>_fuzz <artifact>
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build/fuzz}"
seconds="${FUZZ_SECONDS:-60}"
runs="${FUZZ_RUNS:-}"

# clang and its libFuzzer runtime, from Debian 12 like the rest of the toolchain.
need=()
command -v clang++ >/dev/null 2>&1 || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    need+=(libclang-rt-14-dev)
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v ninja >/dev/null 2>&1 || need+=(ninja-build)
if [ ${#need[@]} -gt 0 ]; then
    echo "fuzz: installing ${need[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -q -t bookworm --no-install-recommends "${need[@]}" >/dev/null
fi

cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build "$build" -j "$(nproc)" || exit 1

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for bin in "$build"/fuzzers/*_fuzz; do
        name="$(basename "$bin")"
        targets+=("${name%_fuzz}")
    done
fi

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
failed=0
results=()
for t in "${targets[@]}"; do
    bin="$build/fuzzers/${t}_fuzz"
    if [ ! -x "$bin" ]; then
        echo "fuzz: no target $t" >&2
        failed=$((failed + 1))
        continue
    fi
    corpus="$build/fuzz-corpus/$t"
    mkdir -p "$corpus"
    args=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$t-")
    if [ -n "$runs" ]; then
        args+=(-runs="$runs")
        what="$runs executions"
    else
        args+=(-max_total_time="$seconds")
        what="${seconds}s"
    fi
    [ -f "$root/tests/fuzz/$t.dict" ] && args+=(-dict="$root/tests/fuzz/$t.dict")
    log="$build/$t.log"
    echo "fuzz: $t for $what"
    # Inputs of faults found before are replayed first, with the seeds.
    dirs=("$corpus" "$root/tests/fuzz/corpus/$t")
    [ -d "$root/tests/fuzz/regressions/$t" ] && dirs+=("$root/tests/fuzz/regressions/$t")
    start=$SECONDS
    "$bin" "${args[@]}" "${dirs[@]}" >"$log" 2>&1
    rc=$?
    took=$((SECONDS - start))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1)
    if [ $rc -ne 0 ]; then
        failed=$((failed + 1))
        results+=("$(printf '%-16s FAILED (status %d), %s executions; see %s' "$t" "$rc" "${execs:-?}" "$log")")
        grep -E 'check failed|ERROR: |runtime error|Test unit written' "$log" | head -5 >&2
    else
        results+=("$(printf '%-16s ok  %12s executions in %5d s  %s' "$t" "${execs:-?}" "$took" "${cov:-}")")
    fi
done
printf '%s\n' "${results[@]}"
echo "fuzz: ${#targets[@]} targets, $failed failed"
[ "$failed" -eq 0 ]
