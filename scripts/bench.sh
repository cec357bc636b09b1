#!/usr/bin/env bash
# Builds the benchmarks and runs them on a sample installation in the
# temporary folder: five repetitions of each, then the ratios of their medians
# and the installer's own peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" >/dev/null
exec build/bench/bin/install_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
