#!/usr/bin/env bash
# The SerialPort tests against a socat pseudo-terminal mapped to COM5 in a private Wine prefix
# ($BRAMWICK_SERIAL_PREFIX), port_lib_controller.py on its far side; then the line settings the
# controller saw.   usage: port_lib_serial.sh [TEST_EXE [OUT_DIR]]   (defaults: the x64 build)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
test_exe="${1:-$root/build/x64/tests/port_lib_tests.exe}"
out="$(cd "${2:-$root/out/x64}" && pwd)"
expected="9600 N 8 2"  # what port_lib_test.cpp asks for
export BRAMWICK_WINEPREFIX="${BRAMWICK_SERIAL_PREFIX:-$root/build/serial-wineprefix}"
command -v socat >/dev/null 2>&1 || { echo "port_lib_serial: skipped, no socat" >&2; exit 77; }

work="$(mktemp -d)"
socat_pid=""
cleanup() {
    [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null || true
    "$root/tools/wineprefix.sh" down
    rm -rf "$work"
}
trap cleanup EXIT

socat PTY,link="$work/tty",raw,echo=0 \
    EXEC:"python3 $here/port_lib_controller.py $work/tty $work/report" &
socat_pid=$!
for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done
[ -e "$work/tty" ] || { echo "port_lib_serial: socat made no terminal" >&2; exit 1; }

# The prefix reads its port mapping when it starts.
"$root/tools/wineprefix.sh" up
"$root/tools/wine.sh" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$work/tty" /f \
    </dev/null >/dev/null 2>&1
"$root/tools/wineprefix.sh" down
"$root/tools/wineprefix.sh" up

out_win="Z:${out//\//\\}"
status=0
WINEPATH="$out_win" BRAMWICK_OUT_DIR="$out_win" BRAMWICK_SERIAL_TEST_PORT=COM5 \
    "$root/tools/wine.sh" "$test_exe" --gtest_filter='SerialPort*' </dev/null || status=$?
seen="$(cat "$work/report" 2>/dev/null || echo "nothing")"
if [ "$seen" != "$expected" ]; then
    echo "port_lib_serial: the controller saw line settings '$seen', expected '$expected'" >&2
    status=1
fi
exit "$status"
