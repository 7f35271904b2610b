#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#   1. the normal build (RelWithDebInfo) and the whole suite;
#   2. the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the serial and end-to-end tests (label "tsan") under ThreadSanitizer;
#   4. the Debian package: built (scripts/package.sh), then checked, installed, started under Xvfb
#      and removed again (scripts/check-package.sh; needs root or sudo for apt-get).
# Set Z7_QUICK=1 to run only stage 1.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
jobs=${Z7_JOBS:-$(nproc)}

stage() { # name, build dir, extra cmake args...
  local name=$1 dir=$2; shift 2
  echo "== $name"
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
}

stage "normal build" build
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j 1)

if [ "${Z7_QUICK:-0}" = 1 ]; then exit 0; fi
bash scripts/fuzz.sh 10

stage "AddressSanitizer + UndefinedBehaviorSanitizer" build-asan \
  -DZ7_SANITIZE=address,undefined -DZ7_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
   LSAN_OPTIONS=suppressions="$root/tests/lsan.supp" \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest --output-on-failure -j 1)

stage "ThreadSanitizer (serial and end-to-end tests)" build-tsan \
  -DZ7_SANITIZE=thread -DZ7_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-tsan -j "$jobs" --target z7_tsan_tests
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
   ctest --output-on-failure -j 1 -L tsan)

echo "== Debian package"
bash scripts/package.sh
bash scripts/check-package.sh
