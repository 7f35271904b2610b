#!/usr/bin/env bash
# Builds and runs the serial benchmark's delivery-delay sections, over loopback TCP and on a pty pair in
# the same run, then writes the figures to docs/bench-serial-tcp.md.
#   bash bench/serial/run-tcp.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build-serial -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-serial --target bench_serial >/dev/null
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
figures=$(build-serial/bench/serial/bench_serial tcpdelay delay)
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
{
  echo "# Serial port benchmark over TCP"
  echo
  echo "Command: \`bash bench/serial/run-tcp.sh\` (builds \`bench_serial\` in build-serial, RelWithDebInfo, and runs"
  echo "\`bench_serial tcpdelay delay\`)."
  echo
  echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores," \
       "Linux $(uname -r), $(date -u '+%Y-%m-%d %H:%M UTC')." \
       "Load average (1, 5, 15 min) before: $load_before, after: $load_after (other builds shared the machine)."
  echo
  echo "$figures"
  echo
  echo "How each figure is taken (bench/serial/bench_serial.cpp):"
  echo
  echo "- Delivery delay over loopback TCP: the component opens tcp://127.0.0.1:PORT on a server of the"
  echo "  benchmark; a 25-byte reply written into the accepted socket (TCP_NODELAY) is timed from the write"
  echo "  to its \`OnReceiveData\` handler; 200 replies, 10 ms apart after each delivery. The baseline applies"
  echo "  the same silence rule in a bare thread polling the client end of another loopback connection,"
  echo "  with no hand-off to an event loop; the two alternate reply by reply."
  echo "- The same on a pseudo-terminal pair, against a bare poll loop on a raw pty, follows in the same run"
  echo "  for comparison (as in [bench-serial.md](bench-serial.md))."
} > docs/bench-serial-tcp.md
cat docs/bench-serial-tcp.md
