#!/usr/bin/env bash
# Installs what is missing, builds Quorvane and starts the desktop tool the way the menu entry does: in
# the per-user folder ($XDG_DATA_HOME/quorvane, by default ~/.local/share/quorvane), with the example
# phone catalogue copied there when it has none.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup-debian.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
cmake --build "$root/build"

# The same folder the tool chooses for --user-folder: XDG_DATA_HOME counts only as an absolute path.
data="${XDG_DATA_HOME:-}"
[[ "$data" == /* ]] || data="$HOME/.local/share"
mkdir -p "$data/quorvane"
[ -e "$data/quorvane/phone.ini" ] || cp "$root/examples/phone.ini" "$data/quorvane/phone.ini"
exec "$root/build/src/app/quorvane" --user-folder
