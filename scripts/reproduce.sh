#!/usr/bin/env bash
# Proves that a release can be reproduced: the current commit is checked out twice, in two
# directories of different names, each builds its release (scripts/release.sh, without the runs
# under Wine, and the Linux package packed untested: RELEASE_COMPARE_ONLY=1 lifts release.sh's
# refusal for these copies, which are compared and thrown away) and the two SHA256SUMS, and every
# released file, must be identical.
# Usage: scripts/reproduce.sh [COMMIT]   (default HEAD; uncommitted changes are not part of it)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$top" rev-parse "${1:-HEAD}")
"$top/scripts/setup.sh" >/dev/null
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlune-reproduce.XXXXXX")
trap 'git -C "$top" worktree remove --force "$scratch/first" >/dev/null 2>&1 || true;
      git -C "$top" worktree remove --force "$scratch/second-checkout" >/dev/null 2>&1 || true;
      rm -rf "$scratch"' EXIT
status=0
for name in first second-checkout; do
  tree="$scratch/$name"
  git -C "$top" worktree add --detach -q "$tree" "$commit"
  # The libpng source the set-up fetched once is the same file for both.
  mkdir -p "$tree/third_party"
  cp "$top"/third_party/libpng1.6_*.orig.tar.* "$tree/third_party/"
  echo "== release of ${commit:0:12} in $tree"
  if ! RELEASE_CHECKS=0 RELEASE_COMPARE_ONLY=1 RELEASE_OUT="$scratch/out-$name" "$tree/scripts/release.sh" >"$scratch/$name.log" 2>&1; then
    tail -20 "$scratch/$name.log"
    echo "reproduce: FAILED: the release in $tree did not complete"
    exit 1
  fi
done
cat "$scratch/out-first/SHA256SUMS"
if cmp -s "$scratch/out-first/SHA256SUMS" "$scratch/out-second-checkout/SHA256SUMS" &&
   diff -r "$scratch/out-first" "$scratch/out-second-checkout" >/dev/null; then
  echo "reproduce: PASS: two checkouts of ${commit:0:12} released identical files"
else
  diff "$scratch/out-first/SHA256SUMS" "$scratch/out-second-checkout/SHA256SUMS" || true
  echo "reproduce: FAILED: the two releases differ"
  status=1
fi
exit $status
