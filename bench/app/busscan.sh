#!/usr/bin/env bash
# Duration of a bus scan of 247 addresses against z7sim (one answers), against the budget of 247 waits
# and a bare timer chain of the same waits. Usage: bench/app/busscan.sh [BUILD_DIR] [RUNS] [WAIT_MS]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-3}
wait=${3:-250}
cmake --build "$build" --target busscan_bench z7sim
QT_QPA_PLATFORM=offscreen "$build/bench/app/busscan_bench" "$runs" "$wait"
