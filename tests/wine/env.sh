# Sourced with the build directory as $1: the project-local Wine environment of that build.
# The prefix, HOME (whose ALSA default device is the null device) and the display live under it.
b=$(cd "$1" && pwd)
export VORLUNE_WINE_DIR="$b/wine"
export WINEPREFIX="$VORLUNE_WINE_DIR/prefix"
export HOME="$VORLUNE_WINE_DIR/home"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
export WINE=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver
# Wine's Direct3D without its command-stream thread: as many frames for two thirds of the CPU,
# and no busy-waiting thread to starve the program when the machine is shared (scripts/perf.sh
# measures both); set WINE_D3D_CONFIG to empty for Wine's default.
export WINE_D3D_CONFIG=${WINE_D3D_CONFIG-csmt=0}
if [ -f "$VORLUNE_WINE_DIR/display" ]; then
  export DISPLAY=":$(cat "$VORLUNE_WINE_DIR/display")"
fi
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/pe_bits.sh"

# Says on stderr why PROGRAM cannot start in this prefix, where that can be told beforehand: a
# 32-bit program in a prefix without Wine's 32-bit half ends at once (status 53, c0000135) and,
# with Wine's chatter off, silently.
wine_precheck() {
  if [ "$(pe_bits "$1")" = 32 ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    echo "wine: $(basename "$1") is a 32-bit program and the prefix $WINEPREFIX has no 32-bit half (no drive_c/windows/syswow64; tests/wine/start.sh completes it)" >&2
  fi
  return 0
}
