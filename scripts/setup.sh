#!/usr/bin/env bash
# Installs the Debian packages that building, playing and testing need, when missing.
# Usage: scripts/setup.sh [play|test|bench|releases|repo|windows|web]
set -euo pipefail

build_packages=(cmake g++ make pkgconf qt6-base-dev qt6-qpa-plugins libgl-dev libpulse-dev
                qt6-translations-l10n fonts-liberation2 dpkg-dev file)
test_packages=(xvfb openbox xdotool x11-utils imagemagick at-spi2-core dbus
               python3 python3-pyatspi desktop-file-utils appstream fakeroot
               procps x11-xkb-utils lintian man-db groff-base
               pulseaudio pulseaudio-utils sox)
# What only the benchmark adds: DAMAGE and XTEST, for watching and typing from outside.
bench_packages=(libxdamage-dev libxtst-dev)
# Fresh roots of other Debian releases, for scripts/test-debian.sh.
release_packages=(debootstrap debian-archive-keyring)
# The package and the school's apt repository (scripts/build-repo.sh), served by
# Python to try it.
repo_packages=(apt-utils gpg python3)
# The Windows build from Debian's own Qt source, and its tests under Wine.
windows_packages=(g++-mingw-w64-x86-64-posix ninja-build patch xz-utils nsis wixl zip unzip wine wine64
                  tesseract-ocr tesseract-ocr-eng python3-pefile)
# The page for browsers: a Debian 13 root for its compiler, and Chromium to test it in.
web_packages=(debootstrap debian-archive-keyring chromium chromium-driver python3-selenium brotli)

packages=("${build_packages[@]}")
case "${1:-play}" in
    test) packages+=("${test_packages[@]}") ;;
    bench) packages+=("${test_packages[@]}" "${bench_packages[@]}") ;;
    releases) packages=("${release_packages[@]}") ;;
    repo) packages+=("${repo_packages[@]}") ;;
    windows) packages+=("${test_packages[@]}" "${windows_packages[@]}") ;;
    web) packages=("${web_packages[@]}") ;;
esac

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
"${sudo[@]}" apt-get update -q -o DPkg::Lock::Timeout=600
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}"
