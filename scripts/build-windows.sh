#!/usr/bin/env bash
# Cross-builds Quorvane for 64-bit Windows on Debian 12, from Debian's archive only, in five steps:
#   set-up       installs what is missing (scripts/setup-debian.sh --windows);
#   third-party  builds each library of scripts/windows/recipes/ once into a cache, and checks that every
#                one the programs link has its notice in THIRD-PARTY-NOTICES.txt;
#   build, test  cross-builds quorvane.exe, quorvane-cli.exe and the tests and runs the tests under Wine;
#   same bytes   checks that the Linux and Windows command lines write the same files;
#   pack         writes the source archive with BUILDING-WINDOWS.txt, the zip and the installer (one list
#                of shipped files, packaging/windows/files.txt) and their SHA-256 sums into build-windows/,
#                and tests the installer under Wine.
# Usage: scripts/build-windows.sh [--third-party-only]
# Environment: QUORVANE_WINDOWS_CACHE (default ~/.cache/quorvane-windows), JOBS (default nproc).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
steps="$root/scripts/windows"
build="$root/build-windows"
cache="${QUORVANE_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane-windows}"
version="$(sed -n 's/^project(Quorvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"

bash "$root/scripts/setup-debian.sh" --windows

bash "$steps/third-party.sh"
bash "$steps/check-notices.sh" "$cache/build/qt"
if [ "${1:-}" = --third-party-only ]; then
    exit 0
fi

bash "$steps/build-and-test.sh" "$build/build"

bash "$steps/same-bytes.sh" "$build/build" "$build"

bash "$steps/source-archive.sh" "$build"
bash "$steps/pack.sh" "$root" "$build/build" "$build" "$version"
bash "$steps/installer-test.sh" "$build" "$version"
