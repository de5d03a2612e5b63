#!/usr/bin/env bash
# Installs the dependencies, builds Quorvane and starts the desktop tool in the current folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup-debian.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
cmake --build "$root/build"
exec "$root/build/src/app/quorvane"
