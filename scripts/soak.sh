#!/usr/bin/env bash
# Fault soak: scripts/soak.sh [POLLS] [SEED]  (default 10000 polls, seed 1)
# Builds z7soak and z7sim in $Z7_BUILD_DIR (default build/), then runs the panel's master on a real
# serial component against the simulator with every line fault at 10 %, and prints both sides' counts.
# Exit status 0 only when no faulty reply was accepted, no good reply rejected, the counts agree and
# resident memory stayed within 1 MiB between the first and the last thousand polls.
set -euo pipefail
cd "$(dirname "$0")/.."
polls=${1:-10000}
seed=${2:-1}
dir=${Z7_BUILD_DIR:-build}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja >/dev/null
fi
cmake --build "$dir" -j "${Z7_JOBS:-2}" --target z7soak z7sim >/dev/null
exec "$dir/tools/soak/z7soak" --sim "$dir/tools/z7sim/z7sim" --polls "$polls" --seed "$seed"
