#!/usr/bin/env bash
# Generated pictures of every kind, converted by the Linux and the Windows command line: the two sets of
# outputs must be the same files (compared by content, since the numbering follows each system's listing).
# Usage: scripts/windows/same-bytes.sh WINDOWS_BUILD_DIR WORK_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
windows="$1"
work="$2"
jobs="${JOBS:-$(nproc)}"
# shellcheck source-path=SCRIPTDIR source=wine.sh
. "$here/wine.sh"
# This build is Linux's own: its pkg-config sees the host's libraries.
unset PKG_CONFIG_LIBDIR
linux="$work/linux"
cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_GUI=OFF >/dev/null
cmake --build "$linux" -j "$jobs" --target quorvane-cli write_test_pictures
same="$work/same-bytes"
rm -rf "$same" && mkdir -p "$same/in" "$same/out-linux" "$same/out-windows"
"$linux/tests/write_test_pictures" good "$same/in" 24 1200 900 a >/dev/null
"$linux/tests/write_test_pictures" good "$same/in" 12 640 1500 b >/dev/null
options=(--width 1080 --height 2400 --quality 85)
"$linux/src/quorvane-cli" --source "$same/in" --receiver "$same/out-linux" "${options[@]}" >/dev/null
"$wine" "$windows/src/quorvane-cli.exe" --source "$same/in" --receiver "$same/out-windows" "${options[@]}" >/dev/null
digests() { (cd "$1" && sha256sum -- * | cut -d' ' -f1 | sort); }
if [ "$(find "$same/out-linux" -type f | wc -l)" -ne 36 ] ||
    [ "$(digests "$same/out-linux")" != "$(digests "$same/out-windows")" ]; then
    echo "build-windows: the Linux and Windows outputs differ (see $same)" >&2
    exit 1
fi
echo "build-windows: 36 outputs, byte-identical on Linux and Windows"
