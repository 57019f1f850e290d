#!/usr/bin/env bash
# Installs the Debian 12 packages Marlo needs to build, run, test, package and benchmark, if
# missing: qt6-wayland runs it on a Wayland desktop, librsvg2-bin draws the icon's sizes, and
# the rest checks the desktop entry, the metainfo, the manual pages and the Debian package
# (weston: a headless Wayland compositor for the Wayland test).
set -euo pipefail
PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-base-private-dev libgl-dev qt6-wayland
          libgtest-dev libgmock-dev libbenchmark-dev libmypaint-dev dbus-daemon
          gimp libgimp2.0-dev libzstd-dev libxxhash-dev clang-format librsvg2-bin
          desktop-file-utils appstream man-db groff-base dpkg-dev lintian weston)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
