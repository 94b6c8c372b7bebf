#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, from Debian's packages only.
# Idempotent: does nothing when everything is already there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  mingw-w64-i686-dev mingw-w64-x86-64-dev binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libpng-dev zlib1g-dev
  clang libclang-rt-14-dev llvm
  wine wine64 xvfb xauth x11-utils imagemagick xdotool
  libgl1-mesa-dri libglx-mesa0 libasound2 libasound2-plugins
  dpkg-dev python3 zip unzip file procps nsis mawk
  libx11-dev libgl-dev mesa-utils xscreensaver xscreensaver-data valgrind passwd
  lintian man-db
  xrestop
)
# Wine's 32-bit half, for the product build (i686). Where the kernel cannot execute 32-bit programs it
# still installs; the test run then finds out and skips the win32 runs.
packages_i386=(
  wine32 libgl1 libglx-mesa0 libgl1-mesa-dri libasound2
  libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2 libxrender1 libxxf86vm1
)
for p in "${packages_i386[@]}"; do packages+=("$p:i386"); done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo_cmd=(sudo); else
    echo "setup: need root (or sudo) to install: ${missing[*]:-nothing}" >&2
    [ ${#missing[@]} -eq 0 ] || exit 1
  fi
fi

# libpng's source is needed to build the static Windows libpng; deb-src must be known to apt.
need_src=0
third="$top/third_party"
if ! ls "$third"/libpng1.6_*.orig.tar.* >/dev/null 2>&1; then need_src=1; fi

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

# The machine's own Debian entries (those of its release's suites), as source entries: deb822 stanzas
# and one-line entries alike. Nothing else is named; entries of other suites are left out.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
derive_sources() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v cn="$codename" '
      function flush() {
        if (stanza != "" && deb && match(" " suites " ", "[ \t]" cn "([-][a-z]+)?[ \t]")) printf "%s\n", stanza
        stanza = ""; deb = 0; suites = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/ { if ($0 ~ /[ \t]deb([ \t]|$)/) deb = 1; stanza = stanza "Types: deb-src\n"; next }
      /^Architectures:/ { next }
      /^Suites:/ { suites = substr($0, 8) }
      { stanza = stanza $0 "\n" }
      END { flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    # One-line form: deb [options] URI SUITE COMPONENTS...
    awk -v cn="$codename" '$1 == "deb" {
        i = 2; if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
        uri = $i; suite = $(i + 1); comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps " " $j
        if (suite ~ ("^" cn "(-[a-z]+)?(/updates)?$")) printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n\n", uri, suite, comps
      }' "$f"
  done
}

if [ ${#missing[@]} -gt 0 ] || [ $need_src -eq 1 ] || [ $need_i386 -eq 1 ]; then
  if [ $need_src -eq 1 ] && ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    echo "setup: adding deb-src entries to apt (for libpng's source package), derived from this machine's sources"
    derive_sources | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/vorlune-src.sources >/dev/null
    if [ ! -s /etc/apt/sources.list.d/vorlune-src.sources ]; then
      "${sudo_cmd[@]}" rm -f /etc/apt/sources.list.d/vorlune-src.sources
      echo "setup: FAILED: no apt source of this machine serves Debian's $codename; add a deb-src entry for it by hand" >&2; exit 1
    fi
  fi
  if [ $need_i386 -eq 1 ]; then
    echo "setup: adding the i386 architecture (Wine's 32-bit half)"
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  echo "setup: updating package lists"
  if ! "${sudo_cmd[@]}" apt-get update -qq; then
    echo "setup: FAILED: apt-get update did not succeed (is Debian's mirror reachable?)" >&2; exit 1
  fi
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    echo "setup: FAILED: could not install: ${missing[*]}" >&2; exit 1
  fi
fi

if [ $need_src -eq 1 ]; then
  echo "setup: fetching libpng1.6 source package into third_party/"
  mkdir -p "$third"
  # Only the upstream tarball is used; a missing Debian patch file on the mirror does not matter,
  # so the download's result is judged by the tarball's checksum, as the source package lists it.
  (cd "$third" && apt-get source --download-only -qq libpng1.6 >/dev/null 2>&1) || true
  tarball=$(ls "$third"/libpng1.6_*.orig.tar.* 2>/dev/null | head -n 1)
  sum=$(apt-cache showsrc libpng1.6 2>/dev/null | awk -v f="$(basename "${tarball:-none}")" '$3 == f && length($1) == 64 {print $1; exit}')
  if [ -z "$tarball" ] || [ -z "$sum" ] || [ "$(sha256sum "$tarball" | cut -d' ' -f1)" != "$sum" ]; then
    rm -f "$third"/libpng1.6_*
    echo "setup: FAILED: could not download libpng1.6's source package (or its checksum did not match)" >&2; exit 1
  fi
  rm -f "$third"/*.dsc "$third"/*.debian.tar.*
fi

# The posix-thread flavour of the cross compilers is the one that links libstdc++ statically with std::thread etc.
for a in i686 x86_64; do
  for t in gcc g++; do
    if [ "$(readlink -f "$(command -v $a-w64-mingw32-$t)")" != "$(readlink -f /usr/bin/$a-w64-mingw32-$t-posix)" ]; then
      "${sudo_cmd[@]}" update-alternatives --set $a-w64-mingw32-$t /usr/bin/$a-w64-mingw32-$t-posix >/dev/null 2>&1 || true
    fi
  done
done

[ ${#missing[@]} -eq 0 ] && [ $need_src -eq 0 ] && echo "setup: everything is already installed"
exit 0
