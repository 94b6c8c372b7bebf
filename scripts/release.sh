#!/usr/bin/env bash
# Sets everything up, builds the win32 and win64 presets, checks both executables and packs
# build/release/Vorlune-<version>-win32.zip and -win64.zip (Vorlune.scr, INSTALL.txt, LICENSE.txt),
# the setup program Vorlune-<version>-setup.exe (tested by installing and removing it under Wine),
# Vorlune-<version>-symbols.zip (the executables' debug information) and SHA256SUMS.
# Before packing, the very Vorlune.scr that goes into each zip is run under Wine (tests/e2e/smoke.py:
# About box, ten seconds of the saver, the preview); one that fails is not packed. Where this machine
# cannot execute 32-bit programs the win32 smoke test is skipped, and the script says so loudly.
# Each zip is then unpacked again and its Vorlune.scr compared with the build's.
# The Linux program (preset linux) goes into vorlune_<version>_amd64.deb (scripts/deb.sh): it is
# smoke-tested in a window of its own on Xvfb before packing, the package is checked by lintian and
# then installed, run under XScreenSaver and removed (tests/package/test_package.py); its debug
# information joins the symbols zip. Releases are made from a commit: uncommitted changes are refused.
# The version is the project's (CMakeLists.txt, project VERSION). RELEASE_BUILD (default
# build/) names where the builds go: RELEASE_BUILD=build/rel- builds build/rel-win32 and -win64;
# RELEASE_OUT (default build/release) where the release goes; RELEASE_CHECKS=0 leaves out the
# runs under Wine (for scripts/reproduce.sh, which compares bytes only), and says so; it also refuses
# to pack the untested Linux program unless RELEASE_COMPARE_ONLY=1 (set by scripts/reproduce.sh alone)
# says the release is for comparing bytes only. RELEASE_ONLY=linux leaves the Windows files out.
# Two runs of one commit give the same bytes (scripts/reproduce.sh checks it).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh"

# What is released must be what a commit holds (and what scripts/reproduce.sh can make again).
changes=$(git -C "$top" status --porcelain 2>/dev/null) ||
  { echo "release: FAILED: $top is not a git checkout; a release is made from a commit" >&2; exit 1; }
[ -z "$changes" ] || { echo "release: FAILED: uncommitted changes in $top; a release is made from a commit only:
$changes" >&2; exit 1; }

prefix=${RELEASE_BUILD:-build/}
out=$(realpath -m "${RELEASE_OUT:-$top/build/release}")
mkdir -p "$out"
work=$(mktemp -d "$out/.work.XXXXXX")
# The smoke tests' own Wine prefix and display live in the work directory.
smoke="$work/smoke"
trap '[ ! -d "$smoke/wine" ] || tests/wine/stop.sh "$smoke" >/dev/null 2>&1; rm -rf "$work"' EXIT

fail() { echo "release: FAILED: $*" >&2; exit 1; }

case ${RELEASE_ONLY:-} in
  '') windows="win32 win64" ;;
  linux) windows=""; echo "release: !!!!! RELEASE_ONLY=linux: NO WINDOWS FILES, NO SETUP PROGRAM !!!!!" >&2 ;;
  *) fail "RELEASE_ONLY=$RELEASE_ONLY: only \"linux\" is known" ;;
esac

# Runs a test of what is released: exit code 77 is a limit of this machine, said loudly and packed
# untested; any other failure stops the release.
release_test() {
  local skipped=$1 failed=$2 rc=0
  shift 2
  "$@" || rc=$?
  case $rc in
    0) ;;
    77) echo "release: !!!!! $skipped !!!!!" >&2 ;;
    *) fail "$failed" ;;
  esac
}

# Runs the staged Vorlune.scr of an architecture (with the build's host.exe beside it) under Wine.
smoke_test() {
  local arch=$1 staged=$2 b=$3 why rc=0
  if [ "${RELEASE_CHECKS:-1}" = 0 ]; then
    echo "release: !!!!! $arch SMOKE TEST NOT RUN (RELEASE_CHECKS=0) !!!!!" >&2
    return 0
  fi
  if [ "$arch" = win32 ]; then
    why=$(tests/wine/can_run32.sh) || rc=$?
    if [ $rc -eq 2 ]; then
      echo "release: !!!!! win32 SMOKE TEST SKIPPED: $why; the win32 Vorlune.scr is packed UNTESTED !!!!!" >&2
      return 0
    fi
    # Wine's 32-bit half missing is a broken set-up, not a limit of the machine.
    [ $rc -eq 0 ] || fail "win32: cannot run the smoke test: $why"
  fi
  echo "== smoke test $arch"
  if [ ! -d "$smoke/wine" ]; then
    mkdir -p "$smoke"
    tests/wine/start.sh "$smoke" >/dev/null || fail "could not start the smoke tests' Wine session in $smoke"
    # A crashing executable then ends at once instead of waiting in Wine's crash dialog.
    (. tests/wine/env.sh "$smoke" && "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
      /t REG_DWORD /d 0 /f) </dev/null >/dev/null 2>&1 || true
  fi
  cp "$staged" "$smoke/Vorlune.scr"
  cp "$b/host.exe" "$smoke/host.exe"
  python3 tests/e2e/smoke.py "$smoke" || fail "$arch: $b/Vorlune.scr failed its smoke test; not packed"
  cmp -s "$smoke/Vorlune.scr" "$staged" || fail "$arch: the smoke-tested Vorlune.scr is not the one to pack"
}

version=
for arch in $windows; do
  b="$top/${prefix}$arch"
  echo "== build $arch in $b"
  cmake --preset "$arch" -B "$b" >/dev/null
  # What is released and what tests it; the test programs are the test suite's business.
  cmake --build "$b" -j2 --target Vorlune host
  v=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$b/CMakeCache.txt")
  [ -n "$v" ] || fail "no project version in $b/CMakeCache.txt"
  [ -z "$version" ] || [ "$v" = "$version" ] || fail "$arch build has version $v, win32 has $version"
  version=$v
  case $arch in win32) cpu=i686 ;; win64) cpu=x86_64 ;; esac
  python3 tests/pe_check.py "$b/Vorlune.scr" "$cpu"
  # The version record inside the executable must name the same version.
  python3 - "$b/Vorlune.scr" "V$version" <<'EOF' || fail "$arch: Vorlune.scr does not carry FileVersion V$version"
import sys
data = open(sys.argv[1], "rb").read()
key, value = "FileVersion".encode("utf-16-le"), sys.argv[2].encode("utf-16-le")
at = data.find(key)
sys.exit(0 if at >= 0 and value + b"\0\0" in data[at:at + 64] else 1)
EOF
done

# Windows users open these in Notepad: CRLF line ends.
crlf() { sed 's/$/\r/' "$1" > "$2"; }
# Every zip entry gets the time of the last commit (zip stores local time: UTC here), so packing
# the same build again gives the same zip.
export TZ=UTC
stamp=$(git -C "$top" log -1 --format=%ct 2>/dev/null || date +%s)

for arch in $windows; do
  b="$top/${prefix}$arch"
  zipname="Vorlune-$version-$arch.zip"
  stage="$work/$arch"
  mkdir -p "$stage"
  # An earlier release's zip must not outlive a failed smoke test.
  rm -f "$out/$zipname"
  cp "$b/Vorlune.scr" "$stage/Vorlune.scr"
  smoke_test "$arch" "$stage/Vorlune.scr" "$b"
  if [ "$arch" = win32 ]; then
    which="the 32-bit build. It runs on every Windows, 32-bit and 64-bit."
  else
    which="the 64-bit build. It runs on 64-bit Windows only; on 32-bit Windows use the win32 package."
  fi
  cat > "$work/INSTALL.txt" <<EOF
Vorlune Screensaver $version

Vorlune draws slowly changing, symmetric rosettes on a black screen. This package is
$which

Installing
The easiest way is the setup program, Vorlune-$version-setup.exe: it installs the right
build for your Windows, makes Vorlune your screensaver (a page lets you keep your current
one) and adds "Vorlune Screensaver" to Apps & features, from where it is removed again.

This package is the manual way:
1. Copy Vorlune.scr into a folder of your choice (for all users: C:\\Windows\\System32).
2. Right-click Vorlune.scr and choose Install to make it your screensaver, or Test to
   see it at once.

Windows then lists "Vorlune Screensaver" in the screensaver settings; Settings there
shows its About box. Windows itself starts the program with /c (the About box) and /p
(the small preview in the settings), so there is no need to run it with these by hand.

While it runs, Return asks for a new pattern and S shows or hides the falling dots;
moving the mouse, a mouse button or any other key ends it.

Vorlune.scr needs no other file. It needs a processor with SSE2, which every 64-bit
processor has, and so does every PC that runs Windows 8 or later.

Removing
Installed with the setup program: in Settings, Apps & features (or Programs and
Features), choose "Vorlune Screensaver" and Uninstall; your screensaver setting is
reset only if it still names Vorlune. Copied by hand: choose another screensaver and
delete the file.

Licence: MIT, see LICENSE.txt.
EOF
  crlf "$work/INSTALL.txt" "$stage/INSTALL.txt"
  crlf LICENSE "$stage/LICENSE.txt"
  touch -d "@$stamp" "$stage"/*
  (cd "$stage" && zip -q -X -9 "$out/$zipname" Vorlune.scr INSTALL.txt LICENSE.txt)

  # Check the zip as a user would get it: intact, exactly these files, the build's executable.
  unzip -tq "$out/$zipname" >/dev/null || fail "$zipname does not test as intact"
  listing=$(unzip -Z1 "$out/$zipname" | sort | tr '\n' ' ')
  [ "$listing" = "INSTALL.txt LICENSE.txt Vorlune.scr " ] || fail "$zipname holds: $listing"
  mkdir "$work/unpacked-$arch"
  unzip -q "$out/$zipname" -d "$work/unpacked-$arch"
  cmp "$work/unpacked-$arch/Vorlune.scr" "$b/Vorlune.scr" || fail "$zipname: Vorlune.scr differs from $b/Vorlune.scr"
  cmp "$work/unpacked-$arch/INSTALL.txt" "$stage/INSTALL.txt" || fail "$zipname: INSTALL.txt damaged"
  cmp "$work/unpacked-$arch/LICENSE.txt" "$stage/LICENSE.txt" || fail "$zipname: LICENSE.txt damaged"
  echo "release: $out/$zipname ($(stat -c %s "$out/$zipname") bytes; Vorlune.scr $(stat -c %s "$b/Vorlune.scr") bytes, sha256 $(sha256sum "$b/Vorlune.scr" | cut -c1-16)...)"
done

# ---- the Linux program: smoke-tested, packed, checked by lintian, installed, run and removed
b="$top/${prefix}linux"
echo "== build linux in $b"
cmake --preset linux -B "$b" >/dev/null
cmake --build "$b" -j2 --target vorlune
v=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$b/CMakeCache.txt")
[ -z "$version" ] || [ "$v" = "$version" ] || fail "linux build has version $v, the Windows builds $version"
version=$v
deb="vorlune_${version}_amd64.deb"
rm -f "$out/$deb"
mkdir -p "$work/linux"
cp "$b/vorlune" "$work/linux/vorlune"
# The packed program's debug link and build ID must name the debug file that is released.
[ "$(readelf -n "$b/vorlune" 2>/dev/null | grep 'Build ID')" = "$(readelf -n "$b/vorlune.debug" 2>/dev/null | grep 'Build ID')" ] &&
  readelf --string-dump=.gnu_debuglink "$b/vorlune" | grep -q 'vorlune\.debug' ||
  fail "linux: $b/vorlune and $b/vorlune.debug do not belong together"
if [ "${RELEASE_CHECKS:-1}" = 0 ]; then
  [ "${RELEASE_COMPARE_ONLY:-0}" = 1 ] ||
    fail "RELEASE_CHECKS=0: the Linux program is not smoke-tested, and an untested program is not packed"
  echo "release: !!!!! linux SMOKE TEST AND PACKAGE TEST NOT RUN: $deb IS FOR COMPARING BYTES ONLY (RELEASE_COMPARE_ONLY=1) !!!!!" >&2
else
  echo "== smoke test linux"
  python3 tests/package/test_package.py smoke "$work/linux" ||
    fail "linux: $b/vorlune failed its smoke test; not packed"
  cmp -s "$work/linux/vorlune" "$b/vorlune" || fail "linux: the smoke-tested vorlune is not the one to pack"
fi
scripts/deb.sh "$version" "$work/linux/vorlune" "$stamp" "$work/$deb" || fail "$deb could not be built"
echo "== lintian $deb"
rc=0
report=$(lintian --fail-on error,warning "$work/$deb" 2>&1) || rc=$?
echo "$report" | grep -v 'running with root privileges' || echo "lintian: nothing to report"
[ $rc -eq 0 ] || fail "lintian reports errors or warnings on $deb"
if [ "${RELEASE_CHECKS:-1}" != 0 ]; then
  release_test "PACKAGE TEST SKIPPED: installing needs root and dpkg; $deb is UNTESTED as a package" \
    "$deb failed its install, run and removal test; not released" \
    python3 tests/package/test_package.py install "$work/$deb" "$work/package-test"
fi
cp "$work/$deb" "$out/$deb"
echo "release: $out/$deb ($(stat -c %s "$out/$deb") bytes; vorlune $(stat -c %s "$b/vorlune") bytes, sha256 $(sha256sum "$b/vorlune" | cut -c1-16)...)"

# ---- the setup program: built from the smoke-tested files, then installed and removed under Wine
setup="Vorlune-$version-setup.exe"
rm -f "$out/$setup"
if [ -n "$windows" ]; then
  SOURCE_DATE_EPOCH="$stamp" scripts/installer.sh "$version" "$work/win32/Vorlune.scr" "$work/win64/Vorlune.scr" \
    "$work/$setup" || fail "the setup program could not be built"
  if [ "${RELEASE_CHECKS:-1}" = 0 ]; then
    echo "release: !!!!! SETUP PROGRAM TEST NOT RUN (RELEASE_CHECKS=0) !!!!!" >&2
  else
    release_test "SETUP PROGRAM TEST SKIPPED: this machine cannot execute 32-bit programs; $setup is UNTESTED" \
      "$setup failed its install and uninstall test; not released" \
      python3 tests/installer/test_installer.py "$top/${prefix}win32" --win64 "$top/${prefix}win64" \
        --setup "$work/$setup" --scratch "$work/installer-test"
  fi
  cp "$work/$setup" "$out/$setup"
  echo "release: $out/$setup ($(stat -c %s "$out/$setup") bytes)"
fi

# ---- the debug information, so that a crash address can still be read
symbols="Vorlune-$version-symbols.zip"
rm -f "$out/$symbols"
entries=()
for arch in $windows; do
  debug="$top/${prefix}$arch/Vorlune.scr.debug"
  [ -s "$debug" ] || fail "$arch: no debug information beside the executable ($debug)"
  mkdir -p "$work/symbols/$arch"
  cp "$debug" "$work/symbols/$arch/Vorlune.scr.debug"
  entries+=("$arch/Vorlune.scr.debug")
done
mkdir -p "$work/symbols/linux-amd64"
cp "$top/${prefix}linux/vorlune.debug" "$work/symbols/linux-amd64/vorlune.debug"
entries+=(linux-amd64/vorlune.debug)
chmod 0644 "$work/symbols/linux-amd64/vorlune.debug"
touch -d "@$stamp" "$work/symbols" "$work/symbols"/* "$work/symbols"/*/*
(cd "$work/symbols" && zip -q -X -9 -D "$out/$symbols" "${entries[@]}")
echo "release: $out/$symbols ($(stat -c %s "$out/$symbols") bytes)"

released=()
for arch in $windows; do released+=("Vorlune-$version-$arch.zip"); done
[ -z "$windows" ] || released+=("$setup")
released+=("$deb" "$symbols")
(cd "$out" && sha256sum "${released[@]}" > SHA256SUMS)
echo "release: $out/SHA256SUMS"
cat "$out/SHA256SUMS"
