#!/usr/bin/env bash
# Packs the Linux program into a Debian package, the same bytes from the same inputs:
#   scripts/deb.sh VERSION PROGRAM STAMP OUT_DEB
# PROGRAM is the stripped vorlune to install as /usr/libexec/xscreensaver/vorlune, STAMP the time
# (seconds since 1970) every packed file and the man page's date get. The rest comes from
# packaging/linux/ and LICENSE; the dependencies from dpkg-shlibdeps.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 VERSION PROGRAM STAMP OUT_DEB" >&2; exit 2; }
version=$1 program=$2 stamp=$3 out=$4
top=$(cd "$(dirname "$0")/.." && pwd)
src="$top/packaging/linux"
fail() { echo "deb: FAILED: $*" >&2; exit 1; }
[[ $stamp =~ ^[0-9]+$ ]] || fail "STAMP \"$stamp\" is not a number of seconds"
[ -x "$program" ] || fail "$program is not an executable"
file -b "$program" | grep -q 'ELF 64-bit.*x86-64.*, stripped' || fail "$program is not a stripped x86-64 program"
top_entry=$(sed -n '1s/^vorlune (\([^)]*\)).*/\1/p' "$src/changelog")
[ "$top_entry" = "$version" ] || fail "packaging/linux/changelog's latest entry is ${top_entry:-missing}, not $version"

umask 022
export LC_ALL=C TZ=UTC SOURCE_DATE_EPOCH=$stamp
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlune-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
root="$work/root"
doc="$root/usr/share/doc/vorlune"
install -d "$root/DEBIAN" "$root/usr/libexec/xscreensaver" "$root/usr/share/xscreensaver/config" \
  "$root/usr/share/man/man6" "$doc"
install -m 0755 "$program" "$root/usr/libexec/xscreensaver/vorlune"
install -m 0644 "$src/vorlune.xml" "$root/usr/share/xscreensaver/config/vorlune.xml"
sed -e "s/@DATE@/$(date -u -d "@$stamp" +%Y-%m-%d)/" -e "s/@VERSION@/$version/" "$src/vorlune.6" |
  gzip -9n > "$root/usr/share/man/man6/vorlune.6.gz"
gzip -9n < "$src/changelog" > "$doc/changelog.gz"

# DEP-5, from LICENSE: its copyright line, then its text as the Expat licence's.
holder=$(sed -n 's/^Copyright (c) //p' "$top/LICENSE" | head -n 1)
[ -n "$holder" ] || fail "LICENSE names no \"Copyright (c)\" holder"
{
  printf 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n'
  printf 'Upstream-Name: Vorlune\n\nFiles: *\nCopyright: %s\nLicense: Expat\n' "$holder"
  sed -n '/^Permission/,$p' "$top/LICENSE" | sed -e 's/^$/./' -e 's/^/ /'
} > "$doc/copyright"

# dpkg-shlibdeps reads the package's name and architecture from a source tree's debian/control.
mkdir -p "$work/src/debian"
printf 'Source: vorlune\n\nPackage: vorlune\nArchitecture: amd64\n' > "$work/src/debian/control"
depends=$(cd "$work/src" && dpkg-shlibdeps -O "$root/usr/libexec/xscreensaver/vorlune" | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || fail "dpkg-shlibdeps found no dependencies of $program"

# Installed size as dpkg counts it: each file rounded up to a KiB, each directory one KiB.
size=$(cd "$root" && find . -path ./DEBIAN -prune -o \( -type f -printf '%s\n' -o -type d -printf '1024\n' \) |
  awk '{ k += int(($1 + 1023) / 1024) } END { print k }')
sed -e "s/@VERSION@/$version/" -e "s/@INSTALLED_SIZE@/$size/" -e "s/@DEPENDS@/$depends/" "$src/control" > "$root/DEBIAN/control"
(cd "$root" && find usr -type f | sort | xargs md5sum) > "$root/DEBIAN/md5sums"

find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
chmod 0755 "$root/usr/libexec/xscreensaver/vorlune"
find "$root" -exec touch -h -d "@$stamp" {} +
mkdir -p "$(dirname "$out")"
# One compressor thread: xz's threaded output differs from its single-threaded one, and dpkg-deb
# would pick by the machine's processors.
dpkg-deb --root-owner-group -Zxz --threads-max=1 --build "$root" "$out" >/dev/null
