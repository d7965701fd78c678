#!/usr/bin/env bash
# The 32-bit test tier: Wine 10 in WoW64 mode, which runs 32-bit Windows code inside 64-bit
# Linux processes. Debian 12's Wine cannot, and Wine 10 needs a newer glibc, so the tier lives
# in a root filesystem of its own, unpacked from Debian 13 packages into the build tree. Nothing
# is installed on the system; the packages are cached between runs.
#   tools/wow64.sh check        exit 0 when the tier can run here, else print why (exit 3)
#   tools/wow64.sh setup        download (pinned versions), unpack, create the prefix; idempotent
#   tools/wow64.sh up | down    start the prefix's wineserver and services / end them
#   tools/wow64.sh run CMD...   run CMD with Wine inside the root (32- and 64-bit programs)
#   tools/wow64.sh exec PROG... run a program of the root by its full path (wineserver64)
#   tools/wow64.sh pin          write tools/wow64-packages.txt from the mirror's current versions
# The project folder and the shared folder beside it are bind-mounted at their own paths, so a
# path means the same inside and outside: Z:\<path> works for both.
# Environment: BRAMWICK_WOW64_DIR (default build/wow64), BRAMWICK_WOW64_PREFIX (default the
# prefix inside the root, /prefix).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
project="$(cd "$here/.." && pwd)"
tier="${BRAMWICK_WOW64_DIR:-$project/build/wow64}"
rootfs="$tier/root"
cache="$tier/debs"
pins="$here/wow64-packages.txt"
prefix_in_root="${BRAMWICK_WOW64_PREFIX:-/prefix}"
mirror="${BRAMWICK_DEBIAN_MIRROR:-http://deb.debian.org/debian}"

die() {
    echo "wow64: $*" >&2
    exit 1
}

# A static program that far-jumps into the 32-bit code segment and back: where the kernel
# gives no 32-bit segment, WoW64 cannot work at all.
check_cpu() {
    local probe="$tier/probe32"
    if [ ! -x "$probe" ]; then
        mkdir -p "$tier"
        command -v gcc >/dev/null || { echo "no gcc to build the 32-bit probe"; return 1; }
        cat >"$tier/probe32.c" <<'EOF'
/* Far call into the 32-bit user code segment (0x23); the 32-bit code returns with a far
   return to the 64-bit segment. Code, stack and return address all lie below 4 GB. */
#include <string.h>
#include <sys/mman.h>
int main(void) {
    static const unsigned char code32[] = {0xb8, 0x2a, 0, 0, 0, /* mov eax, 42 */
                                           0xcb};               /* retf */
    unsigned char *code = mmap(0, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    unsigned char *stack = mmap(0, 65536, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (code == MAP_FAILED || stack == MAP_FAILED) return 2;
    memcpy(code, code32, sizeof code32);
    struct __attribute__((packed)) { unsigned int off; unsigned short sel; } target;
    target.off = (unsigned int)(unsigned long)code;
    target.sel = 0x23;
    unsigned long top = (unsigned long)(stack + 65536 - 64);
    int result;
    __asm__ volatile("mov %%rsp, %%rbx\n\t"
                     "mov %2, %%rsp\n\t"
                     "lcall *(%1)\n\t"
                     "mov %%rbx, %%rsp"
                     : "=a"(result)
                     : "r"(&target), "r"(top)
                     : "rbx", "memory");
    return result == 42 ? 0 : 1;
}
EOF
        gcc -static -O0 -no-pie -o "$probe" "$tier/probe32.c" 2>"$tier/probe32.log" ||
            { echo "the 32-bit probe did not build"; return 1; }
    fi
    local out
    out=$("$probe" 2>&1) || { echo "this machine cannot execute 32-bit code ($out)"; return 1; }
}

cmd_check() {
    local why
    [ "$(uname -m)" = x86_64 ] || { echo "wow64: skipped: machine is $(uname -m), not x86_64"; exit 3; }
    [ "$(id -u)" -eq 0 ] || { echo "wow64: skipped: the tier needs root (unshare, chroot)"; exit 3; }
    command -v unshare >/dev/null || { echo "wow64: skipped: no unshare"; exit 3; }
    if ! why=$(check_cpu); then
        echo "wow64: skipped: $why"
        exit 3
    fi
}

# Private apt: own lists, cache and an empty status, so the system's apt is never touched.
apt_private() {
    local etc="$tier/apt"
    mkdir -p "$etc/lists/partial" "$etc/archives/partial" "$etc/etc/preferences.d" \
        "$etc/etc/apt.conf.d"
    : >"$etc/status"
    echo "deb [trusted=yes] $mirror trixie main" >"$etc/sources.list"
    local tool=apt-get
    [ "$1" = policy ] && tool=apt-cache
    $tool -q -o Dir::Etc::SourceList="$etc/sources.list" -o Dir::Etc::SourceParts=/dev/null \
        -o Dir::Etc::Parts="$etc/etc/apt.conf.d" -o Dir::Etc::PreferencesParts="$etc/etc/preferences.d" \
        -o Dir::State::Lists="$etc/lists" -o Dir::State::Status="$etc/status" \
        -o Dir::Cache="$etc" -o Dir::Cache::Archives="$etc/archives" \
        -o APT::Sandbox::User=root -o APT::Architectures::=amd64 -o APT::Architectures::=i386 "$@"
}

# The cached file of a package (arch "all" packages carry that in their name).
deb_of() {  # name arch version
    local f
    for f in "$cache/${1}_${3//:/%3a}_$2.deb" "$cache/${1}_${3//:/%3a}_all.deb"; do
        [ -f "$f" ] && { echo "$f"; return; }
    done
    echo "$cache/${1}_${3//:/%3a}_$2.deb"
}

# What the root holds: Wine 10 and the few libraries it loads; i386 libwine gives the 32-bit
# Windows DLLs only.
packages_amd64="libc6 libgcc-s1 libunwind8 liblzma5 zlib1g libbz2-1.0 libbrotli1 libpng16-16t64
    libfreetype6 libexpat1 libfontconfig1 fontconfig-config wine64 libwine fonts-wine libz-mingw-w64"
packages_i386="libwine"

cmd_pin() {
    mkdir -p "$cache"
    apt_private update >/dev/null 2>&1 || die "apt-get update of trixie failed"
    local out="$pins.new" p arch version deb
    echo "# name arch version sha256: the packages the 32-bit tier was tested with (tools/wow64.sh pin)" >"$out"
    for arch in amd64 i386; do
        local list=$packages_amd64
        [ $arch = i386 ] && list=$packages_i386
        for p in $list; do
            version=$(apt_private policy "$p:$arch" 2>/dev/null | awk '/Candidate:/{print $2}')
            [ -n "$version" ] && [ "$version" != "(none)" ] || die "no $p:$arch on the mirror"
            deb=$(deb_of "$p" "$arch" "$version")
            [ -f "$deb" ] || (cd "$cache" && apt_private download "$p:$arch=$version" >/dev/null)
            deb=$(deb_of "$p" "$arch" "$version")
            echo "$p $arch $version $(sha256sum "$deb" | cut -d' ' -f1)" >>"$out"
        done
    done
    mv "$out" "$pins"
}

# Downloads each pinned package once; the file's checksum must match the pin.
fetch_packages() {
    mkdir -p "$cache"
    local missing=() name arch version sum
    while read -r name arch version sum; do
        [ -z "$name" ] || [ "${name:0:1}" = "#" ] && continue
        local deb
        deb=$(deb_of "$name" "$arch" "$version")
        [ -f "$deb" ] && [ "$(sha256sum "$deb" | cut -d' ' -f1)" = "$sum" ] && continue
        missing+=("$name:$arch=$version")
    done <"$pins"
    if [ ${#missing[@]} -gt 0 ]; then
        echo "wow64: downloading ${#missing[@]} packages"
        apt_private update >/dev/null 2>&1 || die "apt-get update of trixie failed"
        if ! (cd "$cache" && apt_private download "${missing[@]}" >/dev/null 2>&1); then
            echo "wow64: skipped: a pinned package is no longer on the mirror; 'tools/wow64.sh pin'" \
                "takes the current versions (then run the suites on them)" >&2
            exit 3
        fi
    fi
    while read -r name arch version sum; do
        [ -z "$name" ] || [ "${name:0:1}" = "#" ] && continue
        local deb
        deb=$(deb_of "$name" "$arch" "$version")
        [ -f "$deb" ] || die "missing $deb"
        [ "$(sha256sum "$deb" | cut -d' ' -f1)" = "$sum" ] || die "checksum of $deb differs from its pin"
    done <"$pins"
}

# Wine's install script makes zlib1.dll a "builtin" DLL; it does not run here, so do the same.
builtin_zlib() {
    local src="$1" dst="$2"
    cp "$src" "$dst"
    # The marker is the text with its terminating NUL; the rest of the DOS stub is cleared.
    { printf 'Wine builtin DLL'; head -c 16 /dev/zero; } | dd of="$dst" bs=1 seek=64 conv=notrunc status=none
}

unpack_root() {
    local stamp="$rootfs/.bramwick-root"
    [ -f "$stamp" ] && cmp -s "$stamp" "$pins" && return 0
    echo "wow64: unpacking the root filesystem"
    rm -rf "$rootfs"
    # A merged /usr, as Debian 13 has it: the loader is found at /lib64.
    mkdir -p "$rootfs/usr/lib64" "$rootfs/usr/lib" "$rootfs/usr/bin" "$rootfs/usr/sbin"
    local link
    for link in lib64 lib bin sbin; do ln -s "usr/$link" "$rootfs/$link"; done
    local name arch version sum i386lib
    i386lib="$tier/i386"
    rm -rf "$i386lib" && mkdir -p "$i386lib"
    while read -r name arch version sum; do
        [ -z "$name" ] || [ "${name:0:1}" = "#" ] && continue
        local deb
        deb=$(deb_of "$name" "$arch" "$version")
        if [ "$arch" = i386 ]; then
            dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$i386lib"
        else
            dpkg-deb --fsys-tarfile "$deb" | tar -x --keep-directory-symlink -C "$rootfs"
        fi
    done <"$pins"
    local winlib="$rootfs/usr/lib/x86_64-linux-gnu/wine"
    cp -a "$i386lib/usr/lib/i386-linux-gnu/wine/i386-windows" "$winlib/"
    rm -rf "$i386lib"
    # The 32-bit Linux loader must be absent: that is what selects WoW64 mode.
    rm -f "$rootfs/usr/lib/wine/wine"
    builtin_zlib "$rootfs/usr/i686-w64-mingw32/lib/zlib1.dll" "$winlib/i386-windows/zlib1.dll"
    builtin_zlib "$rootfs/usr/x86_64-w64-mingw32/lib/zlib1.dll" "$winlib/x86_64-windows/zlib1.dll"
    mkdir -p "$rootfs/tmp" "$rootfs/proc" "$rootfs/dev" "$rootfs/sys" "$rootfs/etc"
    chmod 1777 "$rootfs/tmp"
    [ -f "$rootfs/etc/passwd" ] || echo 'root:x:0:0:root:/root:/bin/sh' >"$rootfs/etc/passwd"
    mkdir -p "$rootfs/root" "$rootfs/usr/local/bin"
    # The root has no shell: a static helper enters the caller's folder and runs the command.
    printf '%s\n' '#include <stdio.h>' '#include <unistd.h>' \
        'int main(int c, char **v) { if (c < 3) return 127; if (chdir(v[1]) != 0) chdir("/");' \
        '  execv(v[2], v + 2); perror(v[2]); return 127; }' >"$tier/cdexec.c"
    gcc -static -O2 -o "$rootfs/usr/local/bin/cdexec" "$tier/cdexec.c" || die "cdexec did not build"
    cp "$pins" "$stamp"
}

# Runs "$@" inside the root in a private mount namespace. The wineserver keeps the namespace
# of the call that started it, which therefore has every mount a later call may name.
in_root() {
    [ -x "$rootfs/usr/lib/wine/wine64" ] || die "the tier is not set up (tools/wow64.sh setup)"
    local shared
    shared="$(cd "$project/.." && pwd)/shared"
    local mounts="mount -t proc proc '$rootfs/proc' && mount --rbind /dev '$rootfs/dev' && mount --rbind /sys '$rootfs/sys'"
    mkdir -p "$rootfs$project"
    mounts+=" && mount --bind '$project' '$rootfs$project'"
    if [ -d "$shared" ]; then
        mkdir -p "$rootfs$shared"
        mounts+=" && mount --bind '$shared' '$rootfs$shared'"
    fi
    local pwd_now
    pwd_now="$(pwd)"
    case "$pwd_now" in "$project"* | "$shared"*) ;; *) pwd_now=/ ;; esac
    exec unshare -m --propagation private -- /bin/sh -c "$mounts && cd '$rootfs' && \
        exec chroot '$rootfs' /usr/local/bin/cdexec '$pwd_now' \"\$@\"" wow64 "$@"
}

# Wine names files in the character set of the Unix locale, and the root has no locale data:
# without it every file name outside ASCII is refused. The system's UTF-8 locale is lent to the
# root from the project folder, which is mounted there at its own path.
lend_utf8_locale() {
    local locales="$project/build/wow64-locale"
    if [ ! -d "$locales/C.utf8" ] && [ -d /usr/lib/locale/C.utf8 ]; then
        mkdir -p "$locales" && cp -a /usr/lib/locale/C.utf8 "$locales/" || return 0
    fi
    if [ -d "$locales/C.utf8" ]; then
        export LOCPATH="$locales"
        export LC_CTYPE=C.UTF-8
    fi
}

wine_env() {
    lend_utf8_locale
    export WINEPREFIX="$prefix_in_root"
    export WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
    export HOME=/root
    export WINESERVER=/usr/lib/wine/wineserver64  # the root has no shell for the wrapper script
    export PATH=/usr/bin:/bin:/usr/sbin:/sbin
    unset DISPLAY WAYLAND_DISPLAY
}

cmd_setup() {
    local why
    why=$(cmd_check) || { echo "$why" >&2; exit 3; }
    fetch_packages
    unpack_root
    if [ ! -f "$rootfs$prefix_in_root/system.reg" ]; then
        echo "wow64: creating the prefix"
        ("$0" exec /usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1) || true
        "$0" exec /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
            </dev/null >/dev/null 2>&1
        "$0" exec /usr/lib/wine/wineserver64 -w
        [ -f "$rootfs$prefix_in_root/system.reg" ] || die "wineboot did not create the prefix"
        # wineboot copies every DLL into the prefix; hard links give the space back.
        if command -v hardlink >/dev/null; then
            hardlink -c -f -q "$rootfs/usr/lib/x86_64-linux-gnu/wine" "$rootfs$prefix_in_root/drive_c/windows" \
                >/dev/null 2>&1 || true
        fi
    fi
}

cmd_up() {
    cmd_setup
    # One persistent server; Wine's services start detached from the caller's pipes.
    "$0" exec /usr/lib/wine/wineserver64 -p 900 </dev/null >/dev/null 2>&1 || true
    "$0" exec /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
}

cmd_down() {
    [ -x "$rootfs/usr/lib/wine/wineserver64" ] || return 0
    "$0" exec /usr/lib/wine/wineserver64 -k </dev/null >/dev/null 2>&1 || true
}

case "${1:-}" in
check) cmd_check ;;
pin) cmd_pin ;;
setup) cmd_setup ;;
up) cmd_up ;;
down) cmd_down ;;
exec)
    shift
    wine_env
    in_root "$@"
    ;;
run)
    shift
    wine_env
    in_root /usr/lib/wine/wine64 "$@"
    ;;
*)
    echo "usage: $0 check|setup|up|down|run CMD...|exec PROG...|pin" >&2
    exit 2
    ;;
esac
