#!/usr/bin/env bash
# Builds everything and runs the whole test suite three ways:
# natively, natively under AddressSanitizer and UndefinedBehaviorSanitizer, and
# as Windows executables under Wine; then builds the players' download twice
# and runs it. Installs what it needs when run as root. Every stage runs even
# when an earlier one failed; the last line says which failed.
set -uo pipefail
cd "$(dirname "$0")/.."

missing=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || missing+=(cmake)
have g++ || missing+=(g++)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
have x86_64-w64-mingw32-g++-posix || missing+=(g++-mingw-w64-x86-64-posix)
{ have wine && [ -x /usr/lib/wine/wine64 ]; } || missing+=(wine64 wine)
have zip || missing+=(zip)
have unzip || missing+=(unzip)
have eatmydata || missing+=(eatmydata)
have strace || missing+=(strace)
# A volume without hard links for the move tests: exFAT through FUSE.
have mkfs.exfat || missing+=(exfatprogs)
have mount.exfat-fuse || missing+=(exfat-fuse)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "test.sh: missing ${missing[*]}; install them (as root: apt-get install -y ${missing[*]})" >&2
    exit 1
  fi
  echo "== installing ${missing[*]}"
  apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null || exit 1
fi

jobs=$(nproc)
export WINEDEBUG=-all WINEPREFIX="$PWD/build/mingw/wineprefix"

# A clean clone builds from scratch; a second run rebuilds only what changed.
native() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
  ctest --preset "$1" -j "$jobs"
}

bench() {
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j "$jobs"
}

windows() {
  # One Wine server and one set of Wine services for the whole run, rather
  # than a new start each time the programs under test leave a gap. (It fails
  # when a server already runs for this prefix, which does as well.) Wine
  # makes its prefix, mostly waiting on the disk, while MinGW compiles.
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wineboot -i >/dev/null 2>&1 </dev/null &
  local boot=$!
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw -j "$jobs"
  echo "== mingw: preparing Wine"
  if ! wait $boot || ! wine build/mingw/bin/unit_tests.exe --gtest_list_tests >/dev/null 2>&1; then
    echo "test.sh: Wine cannot run Windows programs on this machine, so the Windows executables are untested" >&2
    return 1
  fi
  echo "== mingw: test under Wine"
  export QVR_WINE_RESTARTS="$PWD/build/mingw/wine-restarts.log"
  rm -f "$QVR_WINE_RESTARTS"
  local rc=0
  ctest --preset mingw -j "$jobs" || rc=$?
  if [ -s "$QVR_WINE_RESTARTS" ]; then
    echo "== mingw: Wine failed to start a test program; it passed when started again:"
    cat "$QVR_WINE_RESTARTS"
  fi
  return $rc
}

# Each stage stops at its own first failure; the next stage runs regardless.
failed=()
stage() {
  local name=$1
  shift
  local start=$SECONDS
  echo "== $name"
  (set -e; "$@")
  if [ $? -ne 0 ]; then
    failed+=("$name")
    echo "== $name: FAILED after $((SECONDS - start)) s"
  else
    echo "== $name: passed in $((SECONDS - start)) s"
  fi
}

trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
stage "native" native default
stage "sanitizers" native asan
stage "benchmarks (build only; scripts/bench.sh runs them)" bench
stage "Windows under Wine" windows
stage "release: the players' download" bash scripts/check_release.sh

if [ ${#failed[@]} -gt 0 ]; then
  echo "== FAILED: $(printf '%s; ' "${failed[@]}" | sed 's/; $//')"
  exit 1
fi
echo "== all suites passed"
