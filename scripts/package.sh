#!/usr/bin/env bash
# Builds the Debian package dist/z7panel_VERSION_ARCH.deb with CPack from the CMake install rules,
# in a Release build of its own (build-package/, or $Z7_PACKAGE_BUILD_DIR) without tests and
# benchmarks. scripts/check-package.sh checks and tries the result.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

dir=${Z7_PACKAGE_BUILD_DIR:-build-package}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZ7_BUILD_TESTS=OFF -DZ7_BUILD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$dir" -j "${Z7_JOBS:-$(nproc)}"
# Only this version's package in dist/, so the check cannot pick up an older one.
rm -f dist/z7panel_*.deb
(cd "$dir" && cpack -G DEB)
ls dist/z7panel_*.deb
