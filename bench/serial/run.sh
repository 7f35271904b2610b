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
  echo
  echo "How each figure is taken (bench/serial/bench_serial.cpp):"
  echo
  echo "- Burst: 1 MiB holding every byte value written in one go into the master of a pty pair; the time"
  echo "  runs from the first write to the last \`OnReceiveData\` in the GUI thread. The baseline is \`cat\`"
  echo "  reading the slave of the same pair in raw mode, timed to its last output byte through a pipe. The"
  echo "  two take turns on that pair, seven times each; medians. The component reads a pseudo-terminal raw: a pty has no line"
  echo "  that could err, so the kernel's error marking (PARMRK), used on real serial lines, is left off."
  echo "- Delivery delay: a 25-byte reply written to the master, timed from the write to its \`OnReceiveData\`"
  echo "  handler; 200 replies, 10 ms apart after each delivery. The baseline applies the same silence rule in"
  echo "  a bare thread polling a raw pty, with no hand-off to an event loop; the two alternate reply by reply."
  echo "- Idle CPU: the whole process's CPU time (CLOCK_PROCESS_CPUTIME_ID) over 10 s of an open, silent port"
  echo "  with the GUI thread waiting in its event loop."
  echo "- Cycles and vanished devices: entries of /proc/self/fd and /proc/self/task counted before and after."
  echo "  Each cycle opens the port, receives 25 bytes, sends an 8-byte request and waits until it is on the"
  echo "  line, then closes. Each vanished device is a pty pair whose master is closed under the open port."
} > docs/bench-serial.md
cat docs/bench-serial.md
