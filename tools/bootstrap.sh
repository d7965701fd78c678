#!/usr/bin/env bash
# Installs the cross toolchain and Wine when they are missing (Debian 12).
# Safe to run repeatedly: it does nothing when every tool is present.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64)
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686)
have x86_64-w64-mingw32-widl || need+=(mingw-w64-tools)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
[ -f /usr/include/wine/wine/windows/oaidl.idl ] || need+=(libwine-dev)
have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
have xmllint || need+=(libxml2-utils)
have wixl || need+=(wixl)

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi
echo "bootstrap: installing ${need[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -q -t bookworm --no-install-recommends "${need[@]}" >/dev/null
