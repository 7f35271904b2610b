#!/usr/bin/env bash
# CPU of the panel polling z7sim against a bare Qt window with two timers, both running at the same
# time under one virtual X server for the same span. Usage: bench/app/cpu.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-60}
cmake --build "$build" --target panel_cpu_probe z7sim >/dev/null
probe=$PWD/$build/bench/app/panel_cpu_probe
sim=$PWD/$build/tools/z7sim/z7sim
link=/tmp/ttyZ7-cpu-$$
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
  '$probe' panel '$sim' '$link' $seconds > /tmp/cpu-panel-$$.txt &
  '$probe' bare $seconds > /tmp/cpu-bare-$$.txt &
  wait"
panel=$(sed -n 's/.*cpu_ms=\([0-9.]*\).*span_ms=\([0-9]*\).*/\1 \2/p' /tmp/cpu-panel-$$.txt)
bare=$(sed -n 's/.*cpu_ms=\([0-9.]*\).*span_ms=\([0-9]*\).*/\1 \2/p' /tmp/cpu-bare-$$.txt)
rm -f /tmp/cpu-panel-$$.txt /tmp/cpu-bare-$$.txt
read -r pc ps <<<"$panel"
read -r bc bs <<<"$bare"
awk -v pc="$pc" -v ps="$ps" -v bc="$bc" -v bs="$bs" 'BEGIN {
  printf "| program | span | CPU time | share of one core |\n|---|---|---|---|\n"
  printf "| panel polling z7sim | %.1f s | %.1f ms | %.3f %% |\n", ps / 1000, pc, 100 * pc / ps
  printf "| bare window, two timers | %.1f s | %.1f ms | %.3f %% |\n", bs / 1000, bc, 100 * bc / bs
  printf "ratio panel / bare: %.2f\n", (pc / ps) / (bc / bs)
}'
