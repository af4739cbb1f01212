#!/usr/bin/env bash
# Installs the Debian packages Velmor needs to build, run and test.
# Safe to run repeatedly; only missing packages are installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev googletest libbenchmark-dev
  fonts-liberation fonts-dejavu-core
  xvfb xauth x11-utils imagemagick openbox
  clang libclang-rt-14-dev time
  dpkg-dev file lintian desktop-file-utils
  libsqlite3-dev libqcustomplot-dev
  ser2net dbus-daemon
  prometheus-cpp-dev prometheus curl python3
)
if [ "${VELMOR_SKIP_INSTALL:-0}" = 1 ]; then exit 0; fi
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
