#!/usr/bin/env bash
# Debian's own Python runs the check: python3-pyatspi is installed for it.
# Starts the built window on a virtual display under its own D-Bus session, with Qt's AT-SPI bridge on,
# and checks what a screen reader sees of it (scripts/atspi-check.py). Usage:
#   bash scripts/atspi-check.sh [BUILD_DIR] [LANGUAGE]      (defaults: build, ru)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
language="${2:-ru}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$root/examples/phone.ini" "$work/"
cd "$work"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0
export LANGUAGE="$language" LC_ALL=C.UTF-8
# shellcheck disable=SC2016 # the inner shell expands its own variables
exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- bash -c '
    "$0" & app=$!
    status=0
    /usr/bin/python3 "$1" Quorvane || status=$?
    kill "$app"; wait "$app" 2>/dev/null || true
    exit "$status"' "$build/src/app/quorvane" "$root/scripts/atspi-check.py"
