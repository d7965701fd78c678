#!/usr/bin/env bash
# Runs a Windows program under wine64 in the project's private prefix, never ~/.wine.
# Used directly, by CMake as the cross-compiling emulator, and by the test scripts.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export WINEPREFIX="${BRAMWICK_WINEPREFIX:-$here/../build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec /usr/lib/wine/wine64 "$@"
