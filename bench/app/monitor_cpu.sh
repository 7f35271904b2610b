#!/usr/bin/env bash
# CPU of the panel in its main window polling z7sim, with the monitor window 通讯监视 closed and open
# (following the newest record); see cpu_pair.sh. Each run polls SETTLE seconds before its measured
# span, so that the monitor holds that many polls' records.
# Usage: bench/app/monitor_cpu.sh [BUILD_DIR] [SECONDS] [ROUNDS] [SETTLE]
set -euo pipefail
cd "$(dirname "$0")/../.."
exec bash bench/app/cpu_pair.sh "${1:-build}" "${2:-30}" "${3:-6}" "${4:-2}" window window-monitor
