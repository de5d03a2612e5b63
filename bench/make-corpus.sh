#!/usr/bin/env bash
# Builds the benchmark corpus from Debian's wallpaper packages (no photographs live in git):
# 25 JPEG photographs of 4.4 to 21 megapixels, baseline and progressive, one of them turned grayscale,
# plus three BMPs (24-bit, 8-bit paletted, 32-bit) made from them.
# Usage: bench/make-corpus.sh [folder]   (default: bench/corpus)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/corpus}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

export DEBIAN_FRONTEND=noninteractive
if ! command -v identify >/dev/null || ! command -v djpeg >/dev/null; then
    apt-get install -y -qq imagemagick libjpeg-turbo-progs >/dev/null
fi
(cd "$work" && apt-get download -qq lomiri-wallpapers-16.04 lomiri-wallpapers-20.04 plasma-workspace-wallpapers \
    mate-backgrounds)
for deb in "$work"/*.deb; do
    dpkg-deb -x "$deb" "$work/root"
done

rm -rf "$out"
mkdir -p "$out"
# Every JPEG of 4.4 to 21 megapixels, the 25 largest, named by their folder so equal names stay apart.
find "$work/root" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -size +300k -print0 |
    xargs -0 identify -format '%w %h %i\n' 2>/dev/null |
    awk '{ mp = $1 * $2 / 1e6; if (mp >= 4.4 && mp <= 21) print mp, $3 }' |
    sort -k1,1nr -k2 | head -n 25 | while read -r _ path; do
        name="$(echo "${path#"$work/root/usr/share/"}" | tr '/ ' '__')"
        cp "$path" "$out/${name%.*}.jpg"
    done

# One grayscale photograph, and BMPs of three depths.
convert_bin="$(command -v magick || true)"
convert_bin="${convert_bin:-/usr/bin/convert}"
first="$(ls "$out"/*.jpg | head -n 1)"
second="$(ls "$out"/*.jpg | sed -n 2p)"
third="$(ls "$out"/*.jpg | sed -n 3p)"
"$convert_bin" "$third" -colorspace Gray -quality 92 "$work/gray.jpg"
mv "$work/gray.jpg" "$third"
"$convert_bin" "$first" -resize 50% -type TrueColor "BMP3:$out/bmp24.bmp"
"$convert_bin" "$second" -resize 50% -colors 256 -type Palette "BMP3:$out/bmp8.bmp"
"$convert_bin" "$third" -resize 50% -type TrueColorAlpha "BMP:$out/bmp32.bmp"

count="$(ls "$out"/*.jpg | wc -l)"
mp="$(identify -format '%w %h\n' "$out"/*.jpg | awk '{ s += $1 * $2 } END { printf "%.0f", s / 1e6 }')"
prog="$(identify -format '%[interlace]\n' "$out"/*.jpg | grep -c JPEG || true)"
echo "corpus: $out: $count JPEGs, $mp megapixels, $prog progressive, 3 BMPs"
