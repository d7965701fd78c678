#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix, never ~/.wine.
# Used directly, by CMake as the cross-compiling emulator, and by the test scripts.
# With BRAMWICK_WINE_TIER=wow64 the program runs in the 32-bit tier instead (tools/wow64.sh),
# where 32- and 64-bit programs share one prefix.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if [ "${BRAMWICK_WINE_TIER:-}" = wow64 ]; then
    exec "$here/wow64.sh" run "$@"
fi
export WINEPREFIX="${BRAMWICK_WINEPREFIX:-$here/../build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec /usr/lib/wine/wine64 "$@"
