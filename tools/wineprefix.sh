#!/usr/bin/env bash
# Creates and starts the project's private Wine prefix, or stops it.
#   tools/wineprefix.sh up    create if missing, start one persistent wineserver and the services
#   tools/wineprefix.sh down  end this prefix's wineserver only
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mkdir -p "$here/../build"
export WINEPREFIX="${BRAMWICK_WINEPREFIX:-$(cd "$here/../build" && pwd)/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
server=/usr/lib/wine/wineserver

case "${1:-up}" in
up)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: creating private prefix $WINEPREFIX"
        /usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1 || true
    fi
    # Hidden windows need a graphics driver; the null driver works without an X server. Also
    # mended here for a prefix that some other Wine call created first.
    if ! grep -q '^"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
            </dev/null >/dev/null 2>&1
        timeout 60 "$server" -w || true  # the setting takes effect with the next server
    fi
    # One persistent server for the whole run; services start detached from our pipes so
    # that no test runner waits on a pipe they inherited.
    "$server" -p 900 2>/dev/null || true  # fails harmlessly when it is already running
    /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
    ;;
down)
    "$server" -k 2>/dev/null || true
    ;;
*)
    echo "usage: $0 up|down" >&2
    exit 2
    ;;
esac
