#!/usr/bin/env bash
# Builds if needed and starts the panel. (The device simulator joins here once it exists.)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
echo "run: the panel is not built yet; the build finished."
