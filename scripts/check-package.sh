#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh made, as CI does (as root, through apt-get):
#   1. its file name, version, dependencies and contents, and that it has no maintainer scripts (it
#      changes no group and asks nothing while installing);
#   2. the desktop entry, the AppStream metainfo and the manual pages with their own validators, then
#      lintian, which must report no error;
#   3. `apt-get install` of the package, the installed programs' hardening (PIE, full RELRO, stack
#      protector, fortified calls: scripts/check-hardening.sh), their --version without a display, the
#      installed English translation, and the installed panel in English under Xvfb until its window
#      is drawn;
#   4. removal of the package and of whatever apt-get installed with it, so the machine is left as
#      it was.
# Usage: scripts/check-package.sh [PACKAGE.deb]   (default: the one package in dist/)
# The drawn window is saved to ${Z7_PACKAGE_BUILD_DIR:-build-package}/installed-first-frame.png.
set -euo pipefail
deb=""
[ $# -ge 1 ] && deb=$(realpath "$1")
cd "$(dirname "$0")/.."

fail() {
  echo "check-package: $*" >&2
  exit 1
}
step() { echo "== check-package: $*"; }

bash scripts/setup.sh

if [ -z "$deb" ]; then
  debs=(dist/z7panel_*.deb)
  [ -f "${debs[0]}" ] || fail "no dist/z7panel_*.deb: run scripts/package.sh first"
  [ ${#debs[@]} -eq 1 ] || fail "more than one package in dist/: ${debs[*]}"
  deb=$(realpath "${debs[0]}")
fi

tmp=$(mktemp -d)
# apt-get reads the package as its unprivileged download user.
chmod 755 "$tmp"
panel_pid="" xvfb_pid="" installed=0
cleanup() {
  local status=$?
  [ -n "$panel_pid" ] && kill "$panel_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ "$installed" = 1 ]; then
    remove_package || status=1
  fi
  rm -rf "$tmp"
  exit "$status"
}
trap cleanup EXIT

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# --- 1. name, control fields, contents ---------------------------------------------------------
step "contents of $(basename "$deb")"
version=$(dpkg-deb -f "$deb" Version)
project_version=$(sed -n 's/^project(Z7Panel VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
[ "$version" = "$project_version" ] || fail "package version $version, project version $project_version"
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "z7panel_${version}_${arch}.deb" ] || fail "unexpected file name $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Package)" = z7panel ] || fail "the package is not named z7panel"

depends=$(dpkg-deb -f "$deb" Depends)
# The fonts the window is aliased to; Qt's widgets and its GUI library, which brings the X11
# platform plugin; libmodbus for the simulator.
for need in fonts-noto-cjk fonts-dejavu-core libqt6widgets6 libqt6gui6 libmodbus5 libc6; do
  grep -Eq "(^|, )$need( |,|$)" <<<"$depends" || fail "Depends lacks $need: $depends"
done

dpkg-deb -e "$deb" "$tmp/control"
extra=$(ls "$tmp/control" | grep -vxE 'control|md5sums' || true)
[ -z "$extra" ] || fail "the package has maintainer scripts or other control files: $extra"

dpkg-deb -c "$deb" | awk '{print $6}' >"$tmp/contents"
outside=$(grep -v '^\./usr/' "$tmp/contents" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
dpkg-deb -x "$deb" "$tmp/files"
desktops=("$tmp"/files/usr/share/applications/*.desktop)
[ ${#desktops[@]} -eq 1 ] && [ -f "${desktops[0]}" ] || fail "not exactly one desktop entry"
id=$(basename "${desktops[0]}" .desktop)
expected=(
  usr/bin/z7panel usr/bin/z7sim
  "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$id.svg"
  usr/share/man/man1/z7panel.1.gz usr/share/man/man1/z7sim.1.gz
  usr/share/doc/z7panel/copyright usr/share/doc/z7panel/changelog.gz
  usr/share/z7panel/translations/z7panel_en.qm
)
for size in 48 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for path in "${expected[@]}"; do
  [ -f "$tmp/files/$path" ] && [ -s "$tmp/files/$path" ] || fail "missing or empty: /$path"
done
for size in 48 128 256; do
  file -b "$tmp/files/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" |
    grep -q "PNG image data, $size x $size," || fail "the ${size}x${size} icon is not a $size-pixel PNG"
done
grep -qx "Icon=$id" "${desktops[0]}" || fail "the desktop entry does not name the icon $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$tmp/files/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the metainfo does not launch $id.desktop"
# The metainfo's translation domain names the installed Qt translations (DOMAIN_LANG.qm).
domain=$(sed -n 's|.*<translation type="qt"[^>]*>\([^<]*\)</translation>.*|\1|p' \
  "$tmp/files/usr/share/metainfo/$id.metainfo.xml")
[ -n "$domain" ] || fail "the metainfo has no Qt translation tag"
qms=("$tmp"/files/usr/share/z7panel/translations/"$domain"_*.qm)
[ -f "${qms[0]}" ] || fail "the metainfo's translation domain '$domain' names no installed .qm file"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$tmp/files/usr/share/doc/z7panel/copyright" || fail "the copyright file is not machine-readable"
wc -l <"$tmp/contents" | xargs echo "  entries:"

# --- 2. validators and lintian -----------------------------------------------------------------
step "desktop-file-validate, appstreamcli, man"
desktop-file-validate "${desktops[0]}"
appstreamcli validate --no-net "$tmp/files/usr/share/metainfo/$id.metainfo.xml"
for page in "$tmp"/files/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

step "lintian"
lintian_status=0
lintian --fail-on error --display-info --pedantic "$deb" >"$tmp/lintian" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$tmp/lintian" || echo "  (no tags)"
[ "$lintian_status" = 0 ] || fail "lintian reports errors (above)"

# --- 3. install, run, start ----------------------------------------------------------------------
step "apt-get install"
if dpkg-query -W -f='${Status}' z7panel 2>/dev/null | grep -q 'ok installed'; then
  fail "z7panel is already installed; remove it first (apt-get remove z7panel): this check installs and removes it"
fi
packages_now() {
  dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' | awk '$1 == "ii" {print $2}' | LC_ALL=C sort
}
packages_now >"$tmp/before"
remove_package() {
  packages_now >"$tmp/after"
  # The package and what apt-get brought with it; nothing that was there before.
  local added
  added=$(LC_ALL=C comm -13 "$tmp/before" "$tmp/after" | tr '\n' ' ')
  step "apt-get purge $added"
  installed=0
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq $added </dev/null >/dev/null || return 1
  if [ -e /usr/bin/z7panel ] || [ -e /usr/bin/z7sim ]; then
    echo "check-package: the programs are still there after removal" >&2
    return 1
  fi
}
mkdir -m 755 "$tmp/apt"
cp "$deb" "$tmp/apt/"
chmod 644 "$tmp/apt/$(basename "$deb")"
installed=1
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  -o Dpkg::Use-Pty=0 "$tmp/apt/$(basename "$deb")" </dev/null
[ "$(command -v z7panel)" = /usr/bin/z7panel ] || fail "z7panel is not /usr/bin/z7panel on the PATH"
[ -f "/usr/share/applications/$id.desktop" ] || fail "the desktop entry was not installed"

step "installed programs' hardening"
bash scripts/check-hardening.sh /usr/bin/z7panel /usr/bin/z7sim || fail "an installed program lacks hardening (above)"

step "installed --version without a display"
for program in z7panel z7sim; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "/usr/bin/$program" --version)
  echo "  $out"
  [ "$out" = "$program $version" ] || fail "$program --version printed '$out', expected '$program $version'"
done

step "installed translation"
# Without a display, the usage text in English proves the installed panel finds its translation.
usage=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/z7panel --help --lang en 2>&1)
grep -q '^usage: z7panel' <<<"$usage" || fail "z7panel --help --lang en did not print English: $usage"

step "installed panel under Xvfb"
# Xvfb picks a free display itself and writes its number to descriptor 3.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$tmp/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
  sleep 0.1
done
[ -s "$tmp/display" ] || fail "Xvfb gave no display within 10 s"
display=:$(head -n1 "$tmp/display")
mkdir -m 700 "$tmp/runtime"
started=$EPOCHREALTIME
# In English, so that the window too is seen finding the installed translation (it says on stderr
# when it does not).
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" XDG_RUNTIME_DIR="$tmp/runtime" \
  /usr/bin/z7panel --lang en >"$tmp/panel.log" 2>&1 &
panel_pid=$!
# The window is drawn once its banner, dark blue across the window's width, is on the screen.
banner_pixels=0
frame=${Z7_PACKAGE_BUILD_DIR:-build-package}/installed-first-frame.png
mkdir -p "$(dirname "$frame")"
for _ in $(seq 300); do
  kill -0 "$panel_pid" 2>/dev/null || fail "the panel exited: $(cat "$tmp/panel.log")"
  if info=$(xwininfo -display "$display" -name 'QM_Modbus RTU' 2>/dev/null) &&
     grep -q 'Map State: IsViewable' <<<"$info"; then
    window=$(awk '/Window id:/ {print $4}' <<<"$info")
    if import -display "$display" -window "$window" "png:$frame" 2>/dev/null; then
      banner_pixels=$(convert "$frame" -format %c histogram:info:- | awk '/#000080 / {sub(":", "", $1); print $1}')
      [ "${banner_pixels:-0}" -ge 8000 ] && break
    fi
  fi
  sleep 0.1
done
[ "${banner_pixels:-0}" -ge 8000 ] || fail "no drawn window 'QM_Modbus RTU' within 30 s ($(cat "$tmp/panel.log"))"
awk -v s="$started" -v e="$EPOCHREALTIME" -v n="$banner_pixels" -v f="$frame" \
  'BEGIN {printf "  window drawn %.1f s after the start (%d banner pixels); the frame is in %s\n", e - s, n, f}'
kill -0 "$panel_pid" 2>/dev/null || fail "the panel exited after drawing its window"
! grep -q 'no English translation' "$tmp/panel.log" || fail "the installed panel did not find its translation"
# The panel has no close shortcut, and without a window manager nothing asks the window to close:
# a terminate signal ends it.
kill -TERM "$panel_pid"
wait "$panel_pid" 2>/dev/null || true
panel_pid=""
kill "$xvfb_pid"
wait "$xvfb_pid" 2>/dev/null || true
xvfb_pid=""

# --- 4. removal (also by the trap when a step above failed) ---------------------------------------
remove_package || fail "the removal failed"
echo "check-package: $(basename "$deb") passed"
