#!/usr/bin/env bash
# Start-up to first painted frame and peak RSS of the panel against a bare one-widget Qt program,
# under a virtual X server. Usage: bench/app/run.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
rounds=${2:-30}
cmake --build "$build" --target z7panel_probe bare_window_probe bench_app_startup
echo "| program | runs | median start-up | fastest | median peak RSS |"
echo "|---|---|---|---|---|"
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/bench/app/bench_app_startup" "$rounds" \
  "$PWD/$build/bench/app/z7panel_probe" "$PWD/$build/bench/app/bare_window_probe"
