#!/usr/bin/env bash
# Installs the Debian packages that building, playing and testing need, when missing.
# Usage: scripts/setup.sh [play|test]
set -euo pipefail

build_packages=(cmake g++ make pkgconf qt6-base-dev qt6-qpa-plugins libgl-dev libpulse-dev
                qt6-translations-l10n fonts-liberation2 dpkg-dev file)
test_packages=(xvfb openbox xdotool x11-utils imagemagick at-spi2-core dbus
               python3 python3-pyatspi desktop-file-utils appstream fakeroot
               procps x11-xkb-utils lintian man-db groff-base
               pulseaudio pulseaudio-utils sox)

packages=("${build_packages[@]}")
if [ "${1:-play}" = test ]; then
    packages+=("${test_packages[@]}")
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "setup: these packages are missing and sudo is not there: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${sudo[@]}" apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
