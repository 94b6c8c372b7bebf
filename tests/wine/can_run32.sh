#!/usr/bin/env bash
# Can this machine run 32-bit Windows programs under Wine? Exit 0 if so; otherwise prints the
# reason on one line and exits 1 (Wine's 32-bit half missing) or 2 (the kernel cannot execute
# 32-bit programs at all: the win32 runs are then skipped, not failed).
# VORLUNE_WINE32_LOADER names another loader (a way to see what a machine without 32-bit support does).
loader=${VORLUNE_WINE32_LOADER:-/usr/lib/wine/wine}
if [ ! -e "$loader" ]; then
  echo "Wine's 32-bit half is not installed ($loader is missing; scripts/setup.sh installs wine32:i386)"
  exit 1
fi
if ! out=$("$loader" --version 2>&1 </dev/null); then
  echo "this machine cannot execute 32-bit programs ($loader --version: ${out:-no output})" | head -n 1
  exit 2
fi
exit 0
