# Sourced by stress.sh and soak.sh, with $top and $name (the run's name) set and the script's
# arguments: takes --win64 out of them (args holds the rest), builds the chosen Windows build
# (win32, the product, unless --win64; VORLUNE_BUILD_DIR names another directory for it), copies
# Vorlune.scr and host.exe into <build>/<name> and starts a Wine prefix and Xvfb display there,
# stopped when the script exits. Sets preset, b (the build) and run (the copy's directory). A script
# that runs more of the build's programs names their targets in programs before sourcing this; their
# executables are built and copied too.
preset=win32
args=()
for a in "$@"; do
  if [ "$a" = --win64 ]; then preset=win64; else args+=("$a"); fi
done
"$top/scripts/setup.sh"
if [ $preset = win32 ] && ! why=$("$top/tests/wine/can_run32.sh"); then
  echo "$name: FAILED: the win32 build cannot run here: $why; --win64 runs the 64-bit build instead" >&2
  exit 1
fi
b=$(realpath -m "${VORLUNE_BUILD_DIR:-$top/build/$preset}")
# A directory configured otherwise would keep its compiler and get a mixed-up cache: refused.
toolchain=mingw-$([ $preset = win32 ] && echo i686 || echo x86_64).cmake
if [ -f "$b/CMakeCache.txt" ] && ! grep -q "^CMAKE_TOOLCHAIN_FILE:FILEPATH=.*/$toolchain\$" "$b/CMakeCache.txt"; then
  echo "$name: FAILED: $b is not a $preset build directory (its CMakeCache.txt names no $toolchain)" >&2
  exit 1
fi
cmake --preset $preset -B "$b" >/dev/null
cmake --build "$b" -j2 --target Vorlune host ${programs:-}
run="$b/$name"
mkdir -p "$run"
cp "$b/Vorlune.scr" "$b/host.exe" "$run/"
for program in ${programs:-}; do cp "$b/$program.exe" "$run/"; done
echo "$name: the $preset build in $b"
trap '"$top/tests/wine/stop.sh" "$run" >/dev/null 2>&1' EXIT
# A signal ends the run at once, and the EXIT trap still stops the display and the Wine processes.
trap '[ -z "${py:-}" ] || kill "$py" 2>/dev/null; exit 143' INT TERM HUP
"$top/tests/wine/start.sh" "$run"
