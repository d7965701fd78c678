#!/usr/bin/env bash
# The cross-compiling emulator of the 32-bit build: its programs run in the WoW64 tier.
export BRAMWICK_WINE_TIER=wow64
exec "$(dirname "${BASH_SOURCE[0]}")/wine.sh" "$@"
