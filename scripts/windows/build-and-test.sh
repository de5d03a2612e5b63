#!/usr/bin/env bash
# Cross-builds quorvane.exe, quorvane-cli.exe and the tests against the third-party prefix, and runs the
# tests under Wine. Usage: scripts/windows/build-and-test.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$1"
jobs="${JOBS:-$(nproc)}"
# shellcheck source-path=SCRIPTDIR source=wine.sh
. "$here/wine.sh"
prefix="$cache/prefix"
# The toolchain file looks for Windows libraries in MinGW's folder and in this prefix only; the cross-build's
# pkg-config sees the prefix only, never the host's libraries.
export QUORVANE_WINDOWS_PREFIX="$prefix" PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQUORVANE_WERROR=ON -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" \
    -DQUORVANE_LRELEASE=/usr/lib/qt6/bin/lrelease >/dev/null
# Wine makes windows even for programs on Qt's offscreen platform (the event loop's message window): test
# discovery at build time and the tests run on a virtual X display. One display for both, and Wine's server
# ended before it goes, so that no Wine process outlives its display.
"$wineserver" -k 2>/dev/null || true
# A test that fails is run once more: Wine's server now and then drops a client ("recvmsg: Connection reset").
# shellcheck disable=SC2016 # the inner shell expands its own arguments
xvfb-run -a bash -c 'cmake --build "$1" -j "$2" && ctest --test-dir "$1" -j "$2" --output-on-failure --repeat until-pass:2
    status=$?
    "$3" -k 2>/dev/null; exit $status' - "$build" "$jobs" "$wineserver"
