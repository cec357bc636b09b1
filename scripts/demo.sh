#!/usr/bin/env bash
# Builds the two programs and shows them at work on a generated sample
# installation in a temporary folder: the tree before, the install, the tree
# after, the restore, the tree after it, and whether the first part came back.
#   scripts/demo.sh               a save whose first part is completed
#   scripts/demo.sh --unfinished  a save whose first part is not: the refusal
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
  "" | --unfinished) ;;
  *) echo "usage: scripts/demo.sh [--unfinished]" >&2; exit 2 ;;
esac

# Only the two programs and the sample writer: no test framework needed.
if [ ! -x build/demo/bin/QVRPt2Installer_mod ]; then
  echo "== building the two programs and make_sample in build/demo (once, a few seconds)"
fi
cmake --preset demo >/dev/null
cmake --build --preset demo -j "$(nproc)" >/dev/null
bin="$PWD/build/demo/bin"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
saves=$("$bin/make_sample" "$work/game" ${1:-})
# What the restore must bring back, byte for byte.
mkdir "$work/before"
cp -a "$work/game/DATA" "$work/game/SOUNDS" "$work/game/SOUNDS.QVRPt2" "$work/before/"

show_tree() {
  echo "== $1"
  (cd "$work/game" && find . -mindepth 1 | sed 's|/|\x01|g' | LC_ALL=C sort | sed 's|\x01|/|g' | while read -r p; do
    if [ -d "$p" ]; then printf '  %-40s folder\n' "${p#./}/"
    else printf '  %-40s %10d bytes\n' "${p#./}" "$(stat -c %s "$p")"; fi
  done)
}

show_tree "the installation before (save folder: Saves)"
echo "== QVRPt2Installer_mod, run from Saves"
set +e
(cd "$saves" && echo "ok" | "$bin/QVRPt2Installer_mod") | tee "$work/said"
status=${PIPESTATUS[0]}
set -e
echo "== exit status $status"
if grep -q "You must first complete" "$work/said"; then
  show_tree "after the refusal: the installer changed nothing"
elif [ "$status" -eq 0 ]; then
  show_tree "after the install"
else
  show_tree "after the install stopped"
fi
echo "== Reinstall_QVRPt1, run from Saves"
(cd "$saves" && "$bin/Reinstall_QVRPt1")
show_tree "after the restore"
if diff -r "$work/before/DATA" "$work/game/DATA" >/dev/null &&
   diff -r "$work/before/SOUNDS" "$work/game/SOUNDS" >/dev/null &&
   diff -r "$work/before/SOUNDS.QVRPt2" "$work/game/SOUNDS.QVRPt2" >/dev/null; then
  echo "== the restore brought every first-part file back byte-for-byte: yes"
else
  echo "== the restore brought every first-part file back byte-for-byte: NO"
  exit 1
fi
