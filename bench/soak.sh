#!/usr/bin/env bash
# Soak run of the command-line tool (not part of CI): 10,000 small pictures and 50 large ones across nested
# folders, mixed with two copies of the bad-input corpus, converted in one run whose receiver lies inside
# the source tree. Checks that the run ends, that every good picture is written exactly once under its
# number (a gapless sequence, nothing read back from the receiver), that every bad one is listed exactly
# once, that no output is empty or broken, and that the peak memory stays under the bound.
# Usage: bench/soak.sh [FOLDER]   (default: a fresh folder under /tmp, removed afterwards)
# Environment: SOAK_SMALL (10000), SOAK_LARGE (50), SOAK_PEAK_MIB (bound on the peak resident size, 512),
#              SOAK_TIMEOUT (seconds, 3600), SOAK_JOBS (--jobs for the tool; default: one per core)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-hard"
small="${SOAK_SMALL:-10000}"
large="${SOAK_LARGE:-50}"
bound="${SOAK_PEAK_MIB:-512}"
limit="${SOAK_TIMEOUT:-3600}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_GUI=OFF >/dev/null
cmake --build "$build" -j "${SOAK_BUILD_JOBS:-2}" --target quorvane-cli write_test_pictures >/dev/null
cli="$build/src/quorvane-cli"
gen="$build/tests/write_test_pictures"

if [ $# -ge 1 ]; then
    work="$1"
    rm -rf "$work"
    mkdir -p "$work"
else
    work="$(mktemp -d /tmp/quorvane-soak.XXXXXX)"
    trap 'rm -rf "$work"' EXIT
fi
source="$work/source"
receiver="$source/wallpapers"
mkdir -p "$receiver"

echo "soak: generating $small small and $large large pictures and the bad-input corpus in $source"
"$gen" good "$source" "$small" 64 48 small >"$work/good.list"
"$gen" good "$source" "$large" 4000 3000 large >>"$work/good.list"
# The bad inputs twice: in a folder of their own and deep inside the small pictures' folders.
: >"$work/expected-skipped.list"
good_bad=0
for folder in "$source/bad" "$source/small-3/part7/bad"; do
    "$gen" bad "$folder" >"$work/bad.list"
    while read -r outcome name; do
        if [ "$outcome" = skipped ]; then
            echo "$folder/$name" >>"$work/expected-skipped.list"
        else
            good_bad=$((good_bad + 1))
        fi
    done <"$work/bad.list"
done
bad_total=$(($(wc -l <"$work/bad.list") * 2))
good=$(($(wc -l <"$work/good.list") + good_bad))
skipped=$(wc -l <"$work/expected-skipped.list")
total=$((good + skipped))
echo "soak: $total pictures: $good to convert, $skipped to skip ($bad_total bad-corpus files)"

status=0
/usr/bin/time -v -o "$work/time.txt" timeout "$limit" "$cli" --source "$source" --receiver "$receiver" \
    --width 720 --height 1280 --digits 6 ${SOAK_JOBS:+--jobs "$SOAK_JOBS"} >"$work/report.txt" \
    2>"$work/stderr.txt" || status=$?

failures=0
fail() {
    echo "soak: FAILED: $*"
    failures=$((failures + 1))
}
[ "$status" -eq 1 ] || fail "exit status $status (124: the run did not end within ${limit}s)"
[ ! -s "$work/stderr.txt" ] || fail "messages on stderr: $(head -n 3 "$work/stderr.txt")"
expected_head="Всего файлов(jpg, bmp): $total
Обработано: $good
Пропущено из-за ошибок: $skipped
Пропущенные файлы"
[ "$(head -n 4 "$work/report.txt")" = "$expected_head" ] || fail "report head: $(head -n 4 "$work/report.txt" | tr '\n' '|')"
tail -n +5 "$work/report.txt" | sort >"$work/skipped.sorted"
[ -z "$(uniq -d "$work/skipped.sorted")" ] || fail "paths listed more than once"
sort "$work/expected-skipped.list" | cmp -s - "$work/skipped.sorted" || fail "skipped list differs from the bad inputs"

# Exactly img000001.jpg .. the last number, nothing else (no temporary file), none empty.
(cd "$receiver" && ls -A) | sort >"$work/outputs.sorted"
seq -f "img%06g.jpg" 1 "$good" | sort | cmp -s - "$work/outputs.sorted" || fail "outputs are not img000001 to $good"
empty="$(find "$receiver" -type f -size 0 | wc -l)"
[ "$empty" -eq 0 ] || fail "$empty empty outputs"
# Each output is a whole JPEG (SOI ... EOI) whose frame header says 720 x 1280.
broken="$(cd "$receiver" && python3 - <<'EOF'
import os, struct
bad = 0
for name in os.listdir("."):
    data = open(name, "rb").read()
    at, size = 2, None
    while data[:2] == b"\xff\xd8" and at + 9 < len(data) and data[at] == 0xFF:
        marker, length = data[at + 1], struct.unpack(">H", data[at + 2:at + 4])[0]
        if marker in (0xC0, 0xC2):
            size = struct.unpack(">HH", data[at + 5:at + 9])
            break
        at += 2 + length
    bad += size != (1280, 720) or data[-2:] != b"\xff\xd9"
print(bad)
EOF
)"
[ "$broken" -eq 0 ] || fail "$broken outputs are not complete 720 x 1280 JPEGs"

elapsed="$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")"
peak_kib="$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")"
cpu="$(sed -n 's/.*Percent of CPU this job got: //p' "$work/time.txt")"
[ "$peak_kib" -lt $((bound * 1024)) ] || fail "peak memory $((peak_kib / 1024)) MiB over the bound of $bound MiB"
echo "soak: $total pictures ($good converted, $skipped skipped), wall clock $elapsed, CPU $cpu," \
    "peak memory $((peak_kib / 1024)) MiB (bound $bound MiB)"
if [ "$failures" -ne 0 ]; then
    echo "soak: $failures checks failed; files kept in $work"
    trap - EXIT
    exit 1
fi
echo "soak: all checks passed"
