#!/usr/bin/env bash
# Builds the Windows setup program (installer/vorlune.nsi, Debian's NSIS): one 32-bit program that
# installs the win64 Vorlune.scr on 64-bit Windows and the win32 one on 32-bit Windows.
#
#   scripts/installer.sh VERSION WIN32_SCR WIN64_SCR OUT_EXE [LICENSE]
#
# VERSION is 1 to 4 numbers (1.0.27); LICENSE defaults to the project's. The packed files get the
# time SOURCE_DATE_EPOCH (default: the last commit's), so the same inputs give the same bytes.
# Exit code 0 with OUT_EXE written, 1 on any failure (OUT_EXE then not written), 2 on bad usage.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  echo "usage: $0 VERSION WIN32_SCR WIN64_SCR OUT_EXE [LICENSE]" >&2
  exit 2
}
fail() { echo "installer: FAILED: $*" >&2; exit 1; }

[ $# -ge 4 ] && [ $# -le 5 ] || usage
version=$1 scr32=$2 scr64=$3 out=$4 license=${5:-$top/LICENSE}
[ -n "$out" ] || usage

[[ $version =~ ^[0-9]+(\.[0-9]+){0,3}$ ]] || fail "version '$version' is not 1 to 4 numbers joined by dots"
IFS=. read -r -a parts <<<"$version"
for n in "${parts[@]}"; do
  [ "${#n}" -le 5 ] && [ "$((10#$n))" -le 65535 ] || fail "version '$version': $n is above 65535"
done
while [ ${#parts[@]} -lt 4 ]; do parts+=(0); done
file_version=$(IFS=.; echo "${parts[*]}")

command -v makensis >/dev/null || fail "makensis is missing (scripts/setup.sh installs Debian's nsis)"

. "$top/scripts/lib/pe_bits.sh"
[ -f "$scr32" ] || fail "win32 Vorlune.scr '$scr32' does not exist"
[ -f "$scr64" ] || fail "win64 Vorlune.scr '$scr64' does not exist"
[ "$(pe_bits "$scr32")" = 32 ] || fail "'$scr32' is not a 32-bit (i386) Windows executable"
[ "$(pe_bits "$scr64")" = 64 ] || fail "'$scr64' is not a 64-bit (x86-64) Windows executable"
[ -s "$license" ] || fail "licence '$license' does not exist or is empty"
icon=$top/app/assets/vorlune.ico
[ -s "$icon" ] || fail "icon '$icon' is missing"

stamp=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || true)}
[[ $stamp =~ ^[0-9]+$ ]] || fail "no file time: set SOURCE_DATE_EPOCH (seconds since 1970)"

mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$scr32" "$work/Vorlune-win32.scr"
cp "$scr64" "$work/Vorlune-win64.scr"
cp "$icon" "$work/vorlune.ico"
# Shown in a Windows text control: CRLF line ends.
sed 's/\r*$/\r/' "$license" > "$work/LICENSE.txt"
touch -d "@$stamp" "$work"/*

kb() { echo $((($(stat -c %s "$1") + 1023) / 1024)); }

# Written beside the target and renamed, so a failed build leaves no partial setup program.
tmp_out="$out.part"
rm -f "$tmp_out"
if ! makensis -V2 -WX -INPUTCHARSET UTF8 \
    "-DVERSION=$version" "-DFILE_VERSION=$file_version" \
    "-DSCR32=$work/Vorlune-win32.scr" "-DSCR64=$work/Vorlune-win64.scr" \
    "-DSCR32_KB=$(kb "$scr32")" "-DSCR64_KB=$(kb "$scr64")" \
    "-DLICENSE_FILE=$work/LICENSE.txt" "-DICON=$work/vorlune.ico" "-DOUTFILE=$tmp_out" \
    "$top/installer/vorlune.nsi" >&2; then
  rm -f "$tmp_out"
  fail "makensis did not build the setup program"
fi
[ "$(pe_bits "$tmp_out")" = 32 ] || { rm -f "$tmp_out"; fail "makensis wrote no 32-bit Windows program"; }
mv -f "$tmp_out" "$out"
echo "installer: $out ($(stat -c %s "$out") bytes, sha256 $(sha256sum "$out" | cut -c1-16)...)"
