#!/usr/bin/env bash
# Builds the installer packages of the two builds with wixl, from the WiX source bramwick_wxs
# writes (tools/package): out/pkg/Bramwick-x86.msi and out/pkg/Bramwick-x64.msi.
#   tools/package.sh [--version VERSION] [--out FOLDER] [x86|x64 ...]
# The version is the file VERSION's unless one is given (the package tests build an older one).
# Needs `make build` first: the native generator and out/x86, out/x64.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
version="$(head -n1 "$root/VERSION")"
out="$root/out/pkg"
arches=()
while [ $# -gt 0 ]; do
    case "$1" in
    --version) version="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    x86 | x64) arches+=("$1"); shift ;;
    *) echo "usage: $0 [--version VERSION] [--out FOLDER] [x86|x64 ...]" >&2; exit 2 ;;
    esac
done
[ ${#arches[@]} -gt 0 ] || arches=(x86 x64)
generator="$root/build/native/bramwick_wxs"
command -v wixl >/dev/null || { echo "package: wixl is missing (apt-get install wixl)" >&2; exit 3; }
[ -x "$generator" ] || { echo "package: $generator is missing (make native)" >&2; exit 1; }
mkdir -p "$out"
for arch in "${arches[@]}"; do
    [ -f "$root/out/$arch/Bramwick.dll" ] || { echo "package: out/$arch is not built (make $arch)" >&2; exit 1; }
    wxs="$out/Bramwick-$arch.wxs"
    "$generator" "$arch" "$version" >"$wxs"
    # wixl finds the files a package holds in its working folder only.
    (cd "$root/out/$arch" && wixl -a "$arch" -o "$out/Bramwick-$arch.msi" "$wxs")
    rm -f "$wxs"
    echo "package: $out/Bramwick-$arch.msi ($version)"
done
