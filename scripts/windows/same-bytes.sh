#!/usr/bin/env bash
# Generated pictures of every kind, converted by the Linux and the Windows command line: the two sets of
# outputs must be the same files (compared by content, since the numbering follows each system's listing),
# centred and at other crop positions.
# Then the same for the formats beyond JPEG and BMP: generated PNGs of every kind and the HEIF, AVIF and
# WebP samples of tests/data (8- and 10-bit, lossy and lossless, with alpha), with --all-formats.
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

# The same pictures cropped at the start, the end, a fixed position and where their content says.
for crop in start end 0.3 smart; do
    rm -rf "$same/out-linux" "$same/out-windows" && mkdir -p "$same/out-linux" "$same/out-windows"
    "$linux/src/quorvane-cli" --source "$same/in" --receiver "$same/out-linux" "${options[@]}" --crop "$crop" >/dev/null
    "$wine" "$windows/src/quorvane-cli.exe" --source "$same/in" --receiver "$same/out-windows" "${options[@]}" \
        --crop "$crop" >/dev/null
    if [ "$(digests "$same/out-linux")" != "$(digests "$same/out-windows")" ]; then
        echo "build-windows: the Linux and Windows outputs at --crop $crop differ (see $same)" >&2
        exit 1
    fi
done
echo "build-windows: the same at --crop start, end, 0.3 and smart"

formats="$work/same-bytes-formats"
rm -rf "$formats" && mkdir -p "$formats/in" "$formats/out-linux" "$formats/out-windows"
"$linux/tests/write_test_pictures" png "$formats/in" 1200 900 >/dev/null
shopt -s nullglob
for sample in "$root"/tests/data/heif/*.heic "$root"/tests/data/heif/*.avif "$root"/tests/data/webp/*.webp; do
    cp -- "$sample" "$formats/in/"
done
shopt -u nullglob
options+=(--all-formats)
status=0
"$linux/src/quorvane-cli" --source "$formats/in" --receiver "$formats/out-linux" "${options[@]}" >/dev/null || status=$?
"$wine" "$windows/src/quorvane-cli.exe" --source "$formats/in" --receiver "$formats/out-windows" "${options[@]}" \
    >/dev/null || status=$?
# The hostile samples are skipped on both systems (status 1); anything else is a failed run.
if [ "$status" -gt 1 ]; then
    echo "build-windows: a run over the format samples failed (see $formats)" >&2
    exit 1
fi
count="$(find "$formats/out-linux" -type f | wc -l)"
if [ "$count" -lt 20 ] || [ "$(digests "$formats/out-linux")" != "$(digests "$formats/out-windows")" ]; then
    echo "build-windows: the Linux and Windows outputs of the format samples differ (see $formats)" >&2
    exit 1
fi
echo "build-windows: $count outputs of HEIC, AVIF, WebP and PNG samples, byte-identical on Linux and Windows"
