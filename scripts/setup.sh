#!/usr/bin/env bash
# Installs every Debian package the panel, its simulator, tests, benchmarks and its own package need.
# Idempotent: it only calls apt-get when a package is missing, and updates the lists once then.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  qt6-charts-dev libqt6opengl6-dev libsqlite3-dev
  qt6-multimedia-dev
  fontconfig libfontconfig-dev fonts-noto-cjk fonts-dejavu-core
  libmodbus-dev mbpoll socat python3
  libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth imagemagick
  procps binutils tzdata
  librsvg2-bin dpkg-dev file lintian desktop-file-utils appstream x11-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
