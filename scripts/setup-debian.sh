#!/usr/bin/env bash
# Installs everything Quorvane needs to build, run, test and package on Debian 12, from Debian's
# archive. Once every package is installed it does nothing, so it needs neither root nor the network.
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config git
    libjpeg62-turbo-dev liblcms2-dev
    qt6-base-dev qt6-base-dev-tools qt6-l10n-tools qt6-translations-l10n libgl-dev
    fonts-liberation2 fonts-dejavu-core
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-14 libclang-rt-14-dev
    xvfb xauth dbus at-spi2-core python3-pyatspi openbox xdotool imagemagick
    appstream desktop-file-utils lintian
)
missing=()
for package in "${packages[@]}"; do
    if [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" != installed ]; then
        missing+=("$package")
    fi
done
if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
