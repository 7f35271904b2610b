#!/usr/bin/env bash
# CPU of the panel in its main window polling z7sim, with the monitor window 通讯监视 closed and open
# (following the newest record), run one after the other in alternating order, ROUNDS times, under one
# virtual X server. Each run polls SETTLE seconds before its measured span of SECONDS, so that the
# monitor holds that many polls' records. Prints each run, the medians and the median of the
# per-round differences.
# Usage: bench/app/monitor_cpu.sh [BUILD_DIR] [SECONDS] [ROUNDS] [SETTLE]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-30}
rounds=${3:-6}
settle=${4:-2}
cmake --build "$build" --target panel_cpu_probe z7sim >/dev/null
probe=$PWD/$build/bench/app/panel_cpu_probe
sim=$PWD/$build/tools/z7sim/z7sim
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  probe=$1 sim=$2 out=$3 seconds=$4 rounds=$5 settle=$6
  for round in $(seq "$rounds"); do
    if [ $((round % 2)) -eq 1 ]; then order="window window-monitor"; else order="window-monitor window"; fi
    for mode in $order; do
      line=$("$probe" "$mode" "$sim" "/tmp/ttyZ7-cpu-$$-$mode" "$seconds" "$settle")
      echo "$round $mode $line" >> "$out/runs.txt"
    done
  done' _ "$probe" "$sim" "$out" "$seconds" "$rounds" "$settle"
python3 - "$out/runs.txt" <<'PY'
import re, statistics, sys
share = {}
print("| round | monitor | span | CPU time | share of one core |\n|---|---|---|---|---|")
for line in open(sys.argv[1]):
    m = re.match(r"(\d+) (\S+) cpu_ms=([\d.]+) span_ms=(\d+)", line)
    rnd, mode, cpu, span = int(m[1]), m[2], float(m[3]), int(m[4])
    share.setdefault(mode, {})[rnd] = 100 * cpu / span
    print(f"| {rnd} | {'open' if mode == 'window-monitor' else 'closed'} | {span / 1000:.1f} s | {cpu:.1f} ms | {100 * cpu / span:.4f} % |")
closed, opened = share["window"], share["window-monitor"]
diffs = [opened[r] - closed[r] for r in closed if r in opened]
print(f"\nmedian share, monitor closed: {statistics.median(closed.values()):.4f} %")
print(f"median share, monitor open:   {statistics.median(opened.values()):.4f} %")
print(f"median of per-round differences (open - closed): {statistics.median(diffs):+.4f} % of a core")
PY
