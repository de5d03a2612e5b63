#!/usr/bin/env bash
# Builds the corpus of the formats beyond JPEG and BMP from the JPEG corpus (bench/make-corpus.sh, made first
# if bench/corpus has no JPEGs): each of its 25 photographs, as an 8-bit RGB picture of 12 to 20.4 MP (those
# under 12 MP enlarged to about 12.6, 16.4 or 20 MP, the grayscale one made RGB), is written once per format:
#   heic/  heif-enc (x265) at quality 50, 4:2:0, every fifth 10-bit
#   avif/  heif-enc -A (aom) at quality 50, 4:2:0, every fourth 10-bit (4:2:2: this heif-enc with aom
#          aborts on 10-bit 4:2:0 and 4:4:4)
#   webp/  cwebp lossy at quality 80, every sixth lossless, four others lossy with alpha
#   png/   8-bit RGB; four RGBA, four palette, one 16-bit, one interlaced
# Alpha is a radial fade, opaque in the middle and clear at the corners. The variant shows in the name
# (-10bit, -lossless, -alpha, -rgba, -palette, -16bit, -interlaced). The same packages give the same corpus
# on every run. Encoders run at nice 19, two photographs at a time, each encoder on one thread; on the
# 2-core machine the whole corpus takes about a quarter of an hour.
# Usage: bench/make-format-corpus.sh [folder]   (default: bench/format-corpus)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
self="$here/$(basename "$0")"
convert_bin="$(command -v magick || true)"
convert_bin="${convert_bin:-/usr/bin/convert}"
png_opts=(-define "png:exclude-chunks=date,time")

# One photograph in every format: bench/make-format-corpus.sh --photo OUT WORK INDEX JPEG
if [ "${1:-}" = --photo ]; then
    out="$2" work="$3" i="$4" src="$5"
    name="$(basename "${src%.*}")"
    master="$work/$name.png"
    read -r w h < <(identify -format '%w %h\n' "$src")
    # Photographs under 12 MP are enlarged to 12.6, 16.4 or 20 MP, in turn by their place in the list.
    geometry=()
    if [ $((w * h)) -lt 12000000 ]; then
        pixels=(12600000 16400000 20000000)
        read -r w h < <(awk -v w="$w" -v h="$h" -v n="${pixels[i % 3]}" \
            'BEGIN { s = sqrt(n / (w * h)); printf "%d %d\n", int(w * s), int(h * s) }')
        geometry=(-resize "${w}x${h}!")
    fi
    "$convert_bin" "$src" -auto-orient -strip -colorspace sRGB "${geometry[@]}" -type TrueColor \
        -define png:compression-level=1 "${png_opts[@]}" "PNG24:$master"
    deep="$work/$name-16.png"
    if [ $((i % 5)) -eq 2 ] || [ $((i % 4)) -eq 1 ] || [ "$i" -eq 5 ]; then
        "$convert_bin" "$src" -auto-orient -strip -colorspace sRGB "${geometry[@]}" -depth 16 \
            -define png:compression-level=1 "${png_opts[@]}" "PNG48:$deep"
    fi
    faded="$work/$name-alpha.png"
    if [ $((i % 6)) -eq 1 ] || [ $((i % 6)) -eq 4 ]; then
        "$convert_bin" "$master" \( -size "${w}x${h}" radial-gradient:white-black \) -alpha off \
            -compose CopyOpacity -composite -define png:compression-level=1 "${png_opts[@]}" "PNG32:$faded"
    fi

    x265=(-p x265:pools=1 -p x265:frame-threads=1)
    if [ $((i % 5)) -eq 2 ]; then
        heif-enc -q 50 -b 10 "${x265[@]}" -o "$out/heic/$name-10bit.heic" "$deep" >/dev/null
    else
        heif-enc -q 50 "${x265[@]}" -o "$out/heic/$name.heic" "$master" >/dev/null
    fi
    if [ $((i % 4)) -eq 1 ]; then
        heif-enc -A -q 50 -b 10 -p chroma=422 -p threads=1 -o "$out/avif/$name-10bit.avif" "$deep" >/dev/null
    else
        heif-enc -A -q 50 -p threads=1 -o "$out/avif/$name.avif" "$master" >/dev/null
    fi
    case $((i % 6)) in
        2) cwebp -quiet -lossless "$master" -o "$out/webp/$name-lossless.webp" ;;
        4) cwebp -quiet -q 80 "$faded" -o "$out/webp/$name-alpha.webp" ;;
        *) cwebp -quiet -q 80 "$master" -o "$out/webp/$name.webp" ;;
    esac
    if [ "$i" -eq 5 ]; then
        "$convert_bin" "$deep" "${png_opts[@]}" "PNG48:$out/png/$name-16bit.png"
    elif [ "$i" -eq 11 ]; then
        "$convert_bin" "$master" -interlace PNG "${png_opts[@]}" "PNG24:$out/png/$name-interlaced.png"
    elif [ $((i % 6)) -eq 1 ]; then
        "$convert_bin" "$faded" "${png_opts[@]}" "PNG32:$out/png/$name-rgba.png"
    elif [ $((i % 6)) -eq 3 ]; then
        "$convert_bin" "$master" -colors 256 "${png_opts[@]}" "PNG8:$out/png/$name-palette.png"
    else
        "$convert_bin" "$master" "${png_opts[@]}" "PNG24:$out/png/$name.png"
    fi
    rm -f "$master" "$deep" "$faded"
    echo "$name done" >&2
    exit 0
fi

out="${1:-$here/format-corpus}"
corpus="$here/corpus"
if ! ls "$corpus"/*.jpg >/dev/null 2>&1; then
    bash "$here/make-corpus.sh" "$corpus"
fi
export DEBIAN_FRONTEND=noninteractive
if ! command -v heif-enc >/dev/null || ! command -v heif-info >/dev/null; then
    apt-get install -y -qq libheif-examples >/dev/null
fi
if ! command -v cwebp >/dev/null || ! command -v webpinfo >/dev/null; then
    apt-get install -y -qq webp >/dev/null
fi
if ! command -v identify >/dev/null; then
    apt-get install -y -qq imagemagick >/dev/null
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

rm -rf "$out"
mkdir -p "$out"/heic "$out"/avif "$out"/webp "$out"/png
start=$SECONDS
i=0
for f in "$corpus"/*.jpg; do
    printf '%s\0%s\0' "$i" "$f"
    i=$((i + 1))
done | nice -n 19 xargs -0 -n 2 -P 2 bash "$self" --photo "$out" "$work"
elapsed=$((SECONDS - start))

# Summary per format, and a check that each has at least 20 photographs of 12 MP and more.
/usr/bin/python3 - "$out" "$elapsed" <<'EOF'
import glob, os, re, subprocess, sys
from PIL import Image
out, elapsed = sys.argv[1], int(sys.argv[2])
short = False
for fmt in ("heic", "avif", "webp", "png"):
    files = sorted(glob.glob(os.path.join(out, fmt, "*")))
    sizes, variants = [], {}
    for f in files:
        if fmt in ("heic", "avif"):
            info = subprocess.run(["heif-info", f], capture_output=True, text=True, check=True).stdout
            sizes.append(tuple(int(v) for v in re.search(r"image: (\d+)x(\d+)", info).groups()))
        else:
            with Image.open(f) as picture:
                sizes.append(picture.size)
        tag = re.search(r"-(10bit|lossless|alpha|rgba|palette|16bit|interlaced)\.[a-z]+$", f)
        variants[tag.group(1) if tag else "plain"] = variants.get(tag.group(1) if tag else "plain", 0) + 1
    mp = [w * h / 1e6 for w, h in sizes]
    print(f"{fmt}: {len(files)} files ({', '.join(f'{n} {v}' for v, n in sorted(variants.items()))}), "
          f"{min(mp, default=0):.1f} to {max(mp, default=0):.1f} MP, {sum(mp):.0f} megapixels, "
          f"{sum(os.path.getsize(f) for f in files) / 2**20:.0f} MiB")
    if sum(1 for m in mp if m >= 12) < 20:
        print(f"{fmt}: fewer than 20 photographs of 12 MP or more", file=sys.stderr)
        short = True
print(f"corpus: {out}, encoded in {elapsed // 60} min {elapsed % 60} s")
sys.exit(1 if short else 0)
EOF
