#!/usr/bin/env bash
# Builds and runs the serial benchmark, then writes its figures to docs/bench-serial.md.
#   bash bench/serial/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build-serial -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-serial --target bench_serial >/dev/null
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
figures=$(build-serial/bench/serial/bench_serial)
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
{
  echo "# Serial port benchmark"
  echo
  echo "Command: \`bash bench/serial/run.sh\` (builds \`bench_serial\` in build-serial, RelWithDebInfo, and runs it)."
  echo
  echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores," \
       "Linux $(uname -r), $(date -u '+%Y-%m-%d %H:%M UTC')." \
       "Load average (1, 5, 15 min) before: $load_before, after: $load_after (other builds shared the machine)."
  echo
  echo "$figures"
} > docs/bench-serial.md
cat docs/bench-serial.md
