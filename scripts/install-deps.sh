#!/usr/bin/env bash
# Installs what building, running, testing and packaging Quillon need on Debian 12.
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-multimedia-dev qt6-qpa-plugins
    qt6-translations-l10n
    libgl-dev
    socat lrzsz libmodbus-dev python3-xmodem strace
    xvfb xdotool imagemagick x11-utils x11-xkb-utils fonts-dejavu-core
    file lintian
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
