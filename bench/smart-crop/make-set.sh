#!/usr/bin/env bash
# Builds the smart-crop evaluation set from Debian packages (no photographs live in git): 47 photographs
# with a clear subject, an off-centre one, a tiny one or none at all, plus 8 mirrored copies. Every file
# gets a stable name; boxes.txt beside this script holds each one's subject box in these very pixels.
# JPEGs up to 2000 px on the long side are copied as they are; larger ones are shrunk by libjpeg's own
# scaling (djpeg -scale M/8) to at most 2000 px, and PNGs are turned into JPEGs, both written by cjpeg at
# quality 92. Mirrored copies are made with convert -flop. The same packages give the same set every run.
# The packages are fetched with apt-get download into a cache (kept for the next run) and unpacked into
# a temporary folder, so nothing is installed beyond the image tools.
# Usage: bench/smart-crop/make-set.sh OUTDIR
#        (cache: $QUORVANE_SET_CACHE, default ~/.cache/quorvane-smart-crop)
set -euo pipefail
if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
out="$1"
cache="${QUORVANE_SET_CACHE:-$HOME/.cache/quorvane-smart-crop}"
convert=/usr/bin/convert
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT

export DEBIAN_FRONTEND=noninteractive
if [ ! -x "$convert" ] || ! command -v djpeg >/dev/null || ! command -v pngtopnm >/dev/null; then
    apt-get install -y -qq imagemagick libjpeg-turbo-progs netpbm >/dev/null
fi

# name, package, file inside the package (or, for a mirrored copy: name, "flop", name of the source)
list="$(cat <<'EOF'
01-nuthatch        lomiri-wallpapers-20.04      usr/share/backgrounds/Kleiber_by_Lukas_Baubkus.jpg
02-hummingbird     lomiri-wallpapers-16.04      usr/share/backgrounds/free_by_Peter_Nerlich.jpg
03-dogs            lomiri-wallpapers-16.04      usr/share/backgrounds/friends_by_Aitzol_Berasategi.jpg
04-boats           plasma-workspace-wallpapers  usr/share/wallpapers/EveningGlow/contents/images/2560x1600.jpg
05-leaf            plasma-workspace-wallpapers  usr/share/wallpapers/FallenLeaf/contents/images/2560x1600.jpg
06-kite            plasma-workspace-wallpapers  usr/share/wallpapers/Kite/contents/images/2560x1600.jpg
07-moss-star       plasma-workspace-wallpapers  usr/share/wallpapers/OneStandsOut/contents/images/2560x1600.jpg
08-pier            plasma-workspace-wallpapers  usr/share/wallpapers/ColdRipple/contents/images/2560x1600.jpg
09-lake            plasma-workspace-wallpapers  usr/share/wallpapers/BytheWater/contents/images/2560x1600.jpg
10-fog             plasma-workspace-wallpapers  usr/share/wallpapers/DarkestHour/contents/images/2560x1600.jpg
11-forest-path     plasma-workspace-wallpapers  usr/share/wallpapers/Path/contents/images/2560x1600.jpg
12-fig             lomiri-wallpapers-16.04      usr/share/backgrounds/Picture_0B_by_freespace.jpg
13-peak            lomiri-wallpapers-16.04      usr/share/backgrounds/aitzgorri_by_Aitzol_Berasategi.jpg
14-picos           lomiri-wallpapers-16.04      usr/share/backgrounds/picosdeeuropa_by_Aitzol_Berasategi.jpg
15-stream          lomiri-wallpapers-16.04      usr/share/backgrounds/life_by_Aitzol_Berasategi.jpg
16-dandelion       lomiri-wallpapers-16.04      usr/share/backgrounds/seeding_by_Clements_Engelhardt.jpg
17-sunset          lomiri-wallpapers-16.04      usr/share/backgrounds/sunset_by_Aitzol_Berasategi.jpg
18-dragonfly       lomiri-wallpapers-16.04      usr/share/backgrounds/Dragonfly_by_Bolly.jpg
19-milky-way       lomiri-wallpapers-20.04      usr/share/backgrounds/Infinite-Sea_by_Aury88.jpg
20-bridge          lomiri-wallpapers-16.04      usr/share/backgrounds/Bridge_by_Sander_Klootwijk.jpg
21-dusk-lake       plasma-workspace-wallpapers  usr/share/wallpapers/summer_1am/contents/images/2560x1600.jpg
22-water-drop      mate-backgrounds             usr/share/backgrounds/mate/nature/Aqua.jpg
23-dune            mate-backgrounds             usr/share/backgrounds/mate/nature/Dune.jpg
24-marigold        mate-backgrounds             usr/share/backgrounds/mate/nature/Garden.jpg
25-ladybird        mate-backgrounds             usr/share/backgrounds/mate/nature/LadyBird.jpg
26-storm           mate-backgrounds             usr/share/backgrounds/mate/nature/Storm.jpg
27-seeds           mate-backgrounds             usr/share/backgrounds/mate/nature/TwoWings.jpg
28-yellow-flower   mate-backgrounds             usr/share/backgrounds/mate/nature/YellowFlower.jpg
29-astronaut       python3-skimage              usr/lib/python3/dist-packages/skimage/data/astronaut.png
30-cameraman       python3-skimage              usr/lib/python3/dist-packages/skimage/data/camera.png
31-cat             python3-skimage              usr/lib/python3/dist-packages/skimage/data/chelsea.png
32-coffee          python3-skimage              usr/lib/python3/dist-packages/skimage/data/coffee.png
33-motorcycle      python3-skimage              usr/lib/python3/dist-packages/skimage/data/motorcycle_left.png
34-rocket          python3-skimage              usr/lib/python3/dist-packages/skimage/data/rocket.jpg
35-grace-hopper    python-matplotlib-data       usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg
36-robin           opencv-doc                   usr/share/doc/opencv-doc/examples/hfs/data/000.jpg
37-two-players     opencv-doc                   usr/share/doc/opencv-doc/examples/data/basketball1.png
38-butterfly       opencv-doc                   usr/share/doc/opencv-doc/examples/data/butterfly.jpg
39-footballer      opencv-doc                   usr/share/doc/opencv-doc/examples/data/messi5.jpg
40-squirrel        opencv-doc                   usr/share/doc/opencv-doc/examples/data/squirrel_cls.jpg
41-notice-sign     opencv-doc                   usr/share/doc/opencv-doc/examples/text/scenetext01.jpg
42-road-sign       opencv-doc                   usr/share/doc/opencv-doc/examples/text/scenetext02.jpg
43-copy-centre     opencv-doc                   usr/share/doc/opencv-doc/examples/text/scenetext03.jpg
44-no-parking      opencv-doc                   usr/share/doc/opencv-doc/examples/text/scenetext05.jpg
45-pub-sign        opencv-doc                   usr/share/doc/opencv-doc/examples/text/scenetext06.jpg
46-tower           opencv-doc                   usr/share/doc/opencv-doc/examples/data/home.jpg
47-wine            lomiri-wallpapers-16.04      usr/share/backgrounds/Wine_by_Jakkub_Mede.jpg
48-forest-path-flop flop                        11-forest-path
49-two-players-flop flop                        37-two-players
50-moss-star-flop  flop                         07-moss-star
51-leaf-flop       flop                         05-leaf
52-tower-flop      flop                         46-tower
53-yellow-flower-flop flop                      28-yellow-flower
54-water-drop-flop flop                         22-water-drop
55-kite-flop       flop                         06-kite
EOF
)"

# Fetch and unpack each package once.
mkdir -p "$cache/debs"
awk '$2 != "flop" { print $2 }' <<<"$list" | sort -u | while read -r pkg; do
    debs=("$cache/debs/${pkg}"_*.deb)
    if [ ! -e "${debs[0]}" ]; then
        (cd "$cache/debs" && { apt-get download -qq "$pkg" || { apt-get update -qq && apt-get download -qq "$pkg"; }; })
        debs=("$cache/debs/${pkg}"_*.deb)
    fi
    dpkg-deb -x "${debs[-1]}" "$root"
done

rm -rf "$out"
mkdir -p "$out"
while read -r name pkg path; do
    dest="$out/$name.jpg"
    if [ "$pkg" = flop ]; then
        "$convert" "$out/$path.jpg" -flop -quality 92 "$dest"
        continue
    fi
    src="$root/$path"
    read -r w h < <(identify -format '%w %h\n' "$src" 2>/dev/null)
    long=$((w > h ? w : h))
    case "$src" in
        *.png)
            if [ "$long" -gt 2000 ]; then
                pngtopnm "$src" 2>/dev/null | pamscale -xyfit 2000 2000 | cjpeg -quality 92 >"$dest"
            else
                pngtopnm "$src" 2>/dev/null | cjpeg -quality 92 >"$dest"
            fi
            ;;
        *)
            if [ "$long" -gt 2000 ]; then
                djpeg -scale "$((16000 / long))/8" "$src" | cjpeg -quality 92 >"$dest"
            else
                cp "$src" "$dest"
            fi
            ;;
    esac
done <<<"$list"

identify -format '%w %h\n' "$out"/*.jpg | awk -v out="$out" '
    { n++; if ($1 > $2) wide++; else if ($1 < $2) tall++; else square++ }
    END { printf "set: %s: %d photos (%d landscape, %d portrait, %d square)\n", out, n, wide, tall, square }'
