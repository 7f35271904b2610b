#!/usr/bin/env bash
# Builds the Debian package dist/z7panel_VERSION_ARCH.deb with CPack from the CMake install rules,
# in a Release build of its own (build-package/, or $Z7_PACKAGE_BUILD_DIR) without tests and
# benchmarks. scripts/check-package.sh checks and tries the result.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

dir=${Z7_PACKAGE_BUILD_DIR:-build-package}
# Debian's hardening flags, as its own package builds get them: stack protector, fortified libc calls
# and format checks, with full RELRO and immediate binding. CMake does not read CPPFLAGS, so the
# preprocessor's share goes with the compilers' flags; and it reads the environment's flags only
# into a new build folder, so they are given as cache entries, which a reused folder takes too.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZ7_BUILD_TESTS=OFF -DZ7_BUILD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$dir" -j "${Z7_JOBS:-$(nproc)}"
# Only this version's package in dist/, so the check cannot pick up an older one.
rm -f dist/z7panel_*.deb
(cd "$dir" && cpack -G DEB)
ls dist/z7panel_*.deb
