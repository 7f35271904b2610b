#!/usr/bin/env bash
# The panel against the built-in Z7 device simulator: installs what is missing, builds what is out of
# date, starts z7sim on /tmp/ttyZ7, starts the panel on that port, and stops the simulator when the panel
# exits. Arguments go to z7sim, e.g. `bash scripts/run.sh --fault-crc 0.1` (see z7sim --help).
# With `--tcp [ADDRESS:]PORT` among them the simulator serves the line over TCP instead, as a serial
# device server does, and the panel starts on tcp://ADDRESS:PORT (`bash scripts/run.sh --tcp 5020`).
# Z7_BUILD_DIR names another build directory than build/.
set -euo pipefail
cd "$(dirname "$0")/.."

link=/tmp/ttyZ7
build=${Z7_BUILD_DIR:-build}
sim=$build/tools/z7sim/z7sim
panel=$build/app/z7panel

bash scripts/setup.sh

cmake -S . -B "$build" -G Ninja >/dev/null
# Only the two programs: the tests and benchmarks are scripts/test.sh's business.
cmake --build "$build" -j "$(nproc)" --target z7sim
# grep reads the whole list: with -q it would stop at the match, and ninja's broken pipe would fail
# the test under pipefail, so the panel would never be rebuilt.
if ninja -C "$build" -t targets all 2>/dev/null | grep '^z7panel:' >/dev/null; then
  if ! cmake --build "$build" -j "$(nproc)" --target z7panel; then
    echo "run: the panel did not build (see the errors above)." >&2
    exit 1
  fi
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display (\$DISPLAY and \$WAYLAND_DISPLAY are empty), so the panel's window cannot open." >&2
  echo "run: run it under a virtual X server instead:  xvfb-run -a bash scripts/run.sh" >&2
  exit 2
fi

tcp=0
for arg in "$@"; do
  case $arg in --tcp | --tcp=*) tcp=1 ;; esac
done

sim_pid=""
sim_out=""
stop_sim() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  if [ -n "$sim_out" ]; then rm -f "$sim_out"; fi
}
trap stop_sim EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ "$tcp" = 1 ]; then
  # Its first line names the port it listens on; its output still reaches the terminal.
  sim_out=$(mktemp)
  "$sim" "$@" > >(tee "$sim_out") &
  sim_pid=$!
  port=""
  for _ in $(seq 100); do
    port=$(grep -o -m1 'tcp://[^,]*' "$sim_out" || true)
    [ -n "$port" ] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      echo "run: the simulator did not start (see its message above)." >&2
      exit 1
    fi
    sleep 0.1
  done
  if [ -z "$port" ]; then
    echo "run: the simulator did not listen within 10 s." >&2
    exit 1
  fi
  # A server on every interface is reached on the loopback address.
  port=$(echo "$port" | sed -e 's|//0\.0\.0\.0:|//127.0.0.1:|' -e 's|//\[::\]:|//[::1]:|')
else
  "$sim" --link "$link" "$@" &
  sim_pid=$!
  port=$link
  # The link appears once the simulator serves the line.
  for _ in $(seq 100); do
    [ -L "$link" ] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      echo "run: the simulator did not start (see its message above)." >&2
      exit 1
    fi
    sleep 0.1
  done
  if [ ! -L "$link" ]; then
    echo "run: the simulator did not create $link within 10 s." >&2
    exit 1
  fi
fi

if [ ! -x "$panel" ]; then
  echo "run: the panel ($panel) is not built yet, so there is nothing to show; stopping the simulator." >&2
  echo "run: the simulator alone meanwhile:  $sim  (see $sim --help)" >&2
  exit 1
fi

echo "run: the panel on $port; tick the box \"通讯\" to start polling the simulator."
status=0
"$panel" --port "$port" || status=$?
exit "$status"
