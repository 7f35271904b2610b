#!/usr/bin/env bash
# docs/screenshot-monitor.png: the panel with the monitor window 通讯监视 open beside it, polling z7sim
# with line faults, taken from a virtual X server after SECONDS of the run. The simulator's seed puts
# a refused reply of each kind and missing answers among the last polls in view.
# Usage: bench/app/monitor_screenshot.sh [BUILD_DIR] [SECONDS] [OUTPUT]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-36}
out=${3:-docs/screenshot-monitor.png}
cmake --build "$build" --target monitor_demo z7sim >/dev/null
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$1" "$2" --seed 52 --fault-crc 0.1 --fault-noreply 0.05 --fault-exception 0.05 &
  demo=$!
  sleep "$3"
  import -window root "$4"
  kill $demo
  wait $demo || true' _ "$PWD/$build/bench/app/monitor_demo" "$PWD/$build/tools/z7sim/z7sim" "$seconds" "$out"
# Without the empty screen right of and below the two windows.
convert "$out" -bordercolor black -border 1 -trim +repage "$out"
echo "saved $out"
