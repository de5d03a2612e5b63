#!/usr/bin/env bash
# Installs everything Quorvane needs to build, run, test and package on Debian 12, from Debian's
# archive. Once every package is installed it does nothing, so it needs neither root nor the network.
# With --windows, also what scripts/build-windows.sh needs: the MinGW-w64 cross compilers, Wine, NSIS
# and a deb-src entry for bookworm main (Debian's sources of the Windows build's libraries).
set -euo pipefail
windows=0
[ "${1:-}" = --windows ] && windows=1
packages=(
    build-essential cmake ninja-build pkg-config git
    libjpeg62-turbo-dev liblcms2-dev libheif-dev libde265-dev libdav1d-dev libwebp-dev libpng-dev
    qt6-base-dev qt6-base-dev-tools qt6-l10n-tools qt6-translations-l10n libgl-dev
    fonts-liberation2 fonts-dejavu-core
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-14 libclang-rt-14-dev
    xvfb xauth dbus at-spi2-core python3-pyatspi openbox xdotool imagemagick
    appstream desktop-file-utils lintian
)
if [ "$windows" -eq 1 ]; then
    packages+=(
        dpkg-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools nasm meson
        wine64 nsis zip unzip imagemagick xvfb xauth
    )
fi
src_list=/etc/apt/sources.list.d/debian-src.sources
need_src=0
if [ "$windows" -eq 1 ] && ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ /etc/apt/sources.list; then
    need_src=1
fi
missing=()
for package in "${packages[@]}"; do
    if [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" != installed ]; then
        missing+=("$package")
    fi
done
if [ "${#missing[@]}" -eq 0 ] && [ "$need_src" -eq 0 ]; then
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi
if [ "$need_src" -eq 1 ]; then
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm bookworm-updates' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$src_list"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
