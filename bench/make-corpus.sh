#!/usr/bin/env bash
# Builds the benchmark corpus from Debian's wallpaper packages (no photographs live in git):
# 25 JPEG photographs of 4.4 to 21 megapixels, baseline and progressive, one of them turned grayscale,
# plus three BMPs (24-bit, 8-bit paletted, 32-bit) made from them. As in phone and camera folders, at
# least 40% of the files are progressive photographs of 12 MP and more: some wallpapers are made
# progressive without loss, some smaller ones are enlarged to 12-20 MP and written progressive.
# The same packages give the same corpus on every run.
# With --tagged, every third colour JPEG (by name) is tagged with a colour profile, alternately Display P3
# and Adobe RGB, as phones and cameras write them; the tagging program is built with -DQUORVANE_BENCH=ON
# (default build-rel/bench/quorvane-tag-jpeg, or $QUORVANE_TAG_JPEG).
# Usage: bench/make-corpus.sh [--tagged] [folder]   (default: bench/corpus)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tagged=0
if [ "${1:-}" = --tagged ]; then
    tagged=1
    shift
fi
tagger="${QUORVANE_TAG_JPEG:-$here/../build-rel/bench/quorvane-tag-jpeg}"
if [ "$tagged" -eq 1 ] && [ ! -x "$tagger" ]; then
    echo "no $tagger: build it first (-DQUORVANE_BENCH=ON) or set QUORVANE_TAG_JPEG" >&2
    exit 1
fi
out="${1:-$here/corpus}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

export DEBIAN_FRONTEND=noninteractive
if ! command -v identify >/dev/null || ! command -v djpeg >/dev/null; then
    apt-get install -y -qq imagemagick libjpeg-turbo-progs >/dev/null
fi
if ! command -v pamscale >/dev/null; then
    apt-get install -y -qq netpbm >/dev/null
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

# Progressive photographs of 12 MP and more. Every other baseline colour JPEG of 12 MP and more (by name)
# is made progressive without loss; every third JPEG under 12 MP is enlarged to about 12.6, 16.4 or 20 MP
# and written progressive at quality 92, alternately 4:4:4 and 4:2:0.
pixels=(12600000 16400000 20000000)
samples=(1x1 2x2)
big=0
small=0
for f in "$out"/*.jpg; do
    read -r w h interlace space < <(identify -format '%w %h %[interlace] %[colorspace]\n' "$f")
    if [ $((w * h)) -ge 12000000 ]; then
        if [ "$interlace" = None ] && [ "$space" != Gray ]; then
            if [ $((big % 2)) -eq 0 ]; then
                jpegtran -copy all -optimize -progressive -outfile "$work/p.jpg" "$f"
                mv "$work/p.jpg" "$f"
            fi
            big=$((big + 1))
        fi
        continue
    fi
    if [ $((small % 3)) -eq 0 ]; then
        k=$((small / 3))
        size="$(awk -v w="$w" -v h="$h" -v n="${pixels[k % 3]}" \
            'BEGIN { s = sqrt(n / (w * h)); printf "%d %d", int(w * s), int(h * s) }')"
        djpeg -dct float "$f" | pamscale -width "${size% *}" -height "${size#* }" |
            cjpeg -quality 92 -sample "${samples[k % 2]}" -optimize -progressive >"$work/p.jpg"
        mv "$work/p.jpg" "$f"
    fi
    small=$((small + 1))
done

# Colour profiles on a share of the colour photographs.
if [ "$tagged" -eq 1 ]; then
    spaces=(display-p3 adobe-rgb)
    colour=0
    for f in "$out"/*.jpg; do
        if [ "$(identify -format '%[colorspace]' "$f")" = Gray ]; then
            continue
        fi
        if [ $((colour % 3)) -eq 0 ]; then
            "$tagger" "${spaces[(colour / 3) % 2]}" "$f"
        fi
        colour=$((colour + 1))
    done
    echo "tagged: $(((colour + 2) / 3)) of $colour colour JPEGs, alternately Display P3 and Adobe RGB"
fi

# Summary over every file, and a check that the progressive 12 MP share holds.
identify -format '%w %h %[interlace]\n' "$out"/* | awk -v out="$out" -v jpegs="$(ls "$out"/*.jpg | wc -l)" '
    { n++; mp = $1 * $2 / 1e6; total += mp; if ($3 == "JPEG") { prog++; if (mp >= 12) { big++; bigmp += mp } } }
    END {
        printf "corpus: %s: %d files (%d JPEGs, %d BMPs), %.0f megapixels\n", out, n, jpegs, n - jpegs, total
        printf "progressive: %d of %d files (%.0f%%)\n", prog, n, 100 * prog / n
        printf "progressive and 12 MP or more: %d of %d files (%.0f%%), %.0f%% of the megapixels\n",
            big, n, 100 * big / n, 100 * bigmp / total
        if (big * 100 < 40 * n) { print "fewer than 40% progressive photographs of 12 MP or more" > "/dev/stderr"; exit 1 }
    }'
