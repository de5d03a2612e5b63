#!/usr/bin/env bash
# Stops a 300-picture run of the built window the ways a person does, on a virtual display with a window
# manager: Esc must show the report marked as interrupted, and Alt+F4 (the window manager's close
# request, as the title bar's close button sends it) must close the window soon after. Neither may leave
# a partial or temporary file. Needs Xvfb, openbox, xdotool and ImageMagick; CI runs it. Usage:
#   bash scripts/xvfb-stop-check.sh [BUILD_DIR]      (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
QUORVANE_BIN="$(cd "${1:-$root/build}" && pwd)/src/app/quorvane"
WORK="$(mktemp -d)"
export QUORVANE_BIN WORK
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/in" "$WORK/out"
convert -size 4000x3000 gradient:red-blue -quality 90 "$WORK/in/p000.jpg"
for i in $(seq 1 299); do cp "$WORK/in/p000.jpg" "$WORK/in/p$(printf %03d "$i").jpg"; done
cp "$root/examples/phone.ini" "$WORK/"

# shellcheck disable=SC2016 # the inner shell expands its own variables
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
set -euo pipefail
cd "$WORK"
openbox >/dev/null 2>&1 &
sleep 1
failed=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi; }
start_run() {
    rm -rf out/* && printf "%s\r\n%s" "$WORK/in" "$WORK/out" >quorvane.ini
    LANGUAGE=ru LC_ALL=C.UTF-8 "$QUORVANE_BIN" >/dev/null 2>&1 &
    app=$!
    for _ in $(seq 1 50); do window=$(xdotool search --name "^Quorvane 2.0$" 2>/dev/null | head -1) && break; sleep 0.2; done
    sleep 0.5
    xdotool mousemove --window "$window" 100 173 click 1 type 1080
    xdotool mousemove --window "$window" 100 205 click 1 type 2400
    xdotool mousemove --window "$window" 45 348 click 1
    # Acts once the run has written its first picture.
    for _ in $(seq 1 100); do [ -n "$(ls out)" ] && break; sleep 0.1; done
}
leftovers() { ls -A out | grep -v "^img[0-9]*\.jpg$" | wc -l; }

start_run
xdotool key Escape
sleep 1.5
check "Esc shows the report" "xdotool search --name \"^Выполнено$\" >/dev/null"
written=$(ls out | wc -l)
check "Esc stopped the run ($written of 300 written)" "[ $written -gt 0 ] && [ $written -lt 300 ]"
check "no partial or temporary file after Esc" "[ $(leftovers) -eq 0 ]"
xdotool key Return
sleep 0.5
check "Enter closes the report" "! xdotool search --name \"^Выполнено$\" >/dev/null"
kill "$app"; wait "$app" 2>/dev/null || true

start_run
xdotool key alt+F4
began=$(date +%s%N)
for _ in $(seq 1 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
took=$(( ($(date +%s%N) - began) / 1000000 ))
check "the close request ended the tool (${took} ms)" "! kill -0 $app 2>/dev/null"
written=$(ls out | wc -l)
check "the close request stopped the run ($written of 300 written)" "[ $written -lt 300 ]"
check "no partial or temporary file after closing" "[ $(leftovers) -eq 0 ]"
check "the last folders were saved" "[ \"$(head -c 200 quorvane.ini)\" = \"$(printf "%s\r\n%s" "$WORK/in" "$WORK/out")\" ]"
exit "$failed"'
