#!/usr/bin/env bash
# Installs everything Quorvane needs to build, run and test on Debian 12, from Debian's archive.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
    build-essential cmake ninja-build pkg-config git \
    libjpeg62-turbo-dev \
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev \
    fonts-liberation2 fonts-dejavu-core \
    libgtest-dev libgmock-dev libbenchmark-dev \
    clang-14 libclang-rt-14-dev \
    xvfb xauth >/dev/null
