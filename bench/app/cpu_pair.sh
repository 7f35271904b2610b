#!/usr/bin/env bash
# CPU of the panel in its main window polling z7sim in two ways (two modes of panel_cpu_probe), run one
# after the other in alternating order, ROUNDS times, under one virtual X server. Each run polls SETTLE
# seconds before its measured span of SECONDS. Prints each run, the medians and the median of the
# per-round differences (second mode - first), the figure to read on a shared, noisy machine.
# Usage: bench/app/cpu_pair.sh BUILD_DIR SECONDS ROUNDS SETTLE MODE_A MODE_B
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$1 seconds=$2 rounds=$3 settle=$4 a=$5 b=$6
cmake --build "$build" --target panel_cpu_probe z7sim >/dev/null
probe=$PWD/$build/bench/app/panel_cpu_probe
sim=$PWD/$build/tools/z7sim/z7sim
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  probe=$1 sim=$2 out=$3 seconds=$4 rounds=$5 settle=$6 a=$7 b=$8
  for round in $(seq "$rounds"); do
    if [ $((round % 2)) -eq 1 ]; then order="$a $b"; else order="$b $a"; fi
    for mode in $order; do
      line=$("$probe" "$mode" "$sim" "/tmp/ttyZ7-cpu-$$-$mode" "$seconds" "$settle")
      echo "$round $mode $line" >> "$out/runs.txt"
    done
  done' _ "$probe" "$sim" "$out" "$seconds" "$rounds" "$settle" "$a" "$b"
python3 - "$out/runs.txt" "$a" "$b" <<'PY'
import re, statistics, sys
a, b = sys.argv[2], sys.argv[3]
share = {}
print("| round | mode | span | CPU time | share of one core |\n|---|---|---|---|---|")
for line in open(sys.argv[1]):
    m = re.match(r"(\d+) (\S+) cpu_ms=([\d.]+) span_ms=(\d+)", line)
    rnd, mode, cpu, span = int(m[1]), m[2], float(m[3]), int(m[4])
    share.setdefault(mode, {})[rnd] = 100 * cpu / span
    print(f"| {rnd} | {mode} | {span / 1000:.1f} s | {cpu:.1f} ms | {100 * cpu / span:.4f} % |")
first, second = share[a], share[b]
diffs = [second[r] - first[r] for r in first if r in second]
print(f"\nmedian share, {a}: {statistics.median(first.values()):.4f} %")
print(f"median share, {b}: {statistics.median(second.values()):.4f} %")
print(f"median of per-round differences ({b} - {a}): {statistics.median(diffs):+.4f} % of a core")
PY
