#!/usr/bin/env bash
# Runs a Windows test program under Wine, for CTest.
#
# Now and then Wine fails to start a process at all: it exits non-zero before
# the program has printed a byte, while a test program always prints a line as
# its main begins. Such a start, and only such a start, is tried once more and
# noted on stderr (and in $QVR_WINE_RESTARTS when that is set). A program that
# ran and failed is reported as it is.
#
# The program writes to files that tail passes on as they grow: the Wine
# services that a first program starts inherit its output and outlive it, so
# pipes would hold the test open until those services end.
out=$(mktemp) && err=$(mktemp) || exit 1
trap 'rm -f "$out" "$err"' EXIT
for try in 1 2; do
  wine "$@" <&0 >"$out" 2>"$err" &
  pid=$!
  tail -s 0.05 -n +1 -f --pid="$pid" "$err" >&2 &
  tail -s 0.05 -n +1 -f --pid="$pid" "$out"
  wait "$pid"
  rc=$?
  wait
  if [ "$rc" -eq 0 ] || [ -s "$out" ] || [ "$try" -eq 2 ]; then exit "$rc"; fi
  note="wine-run: Wine exited with status $rc before $(basename "$1") $2 printed anything; starting it once more"
  echo "$note" >&2
  if [ -n "${QVR_WINE_RESTARTS:-}" ]; then echo "$note" >>"$QVR_WINE_RESTARTS"; fi
done
