# shellcheck shell=bash
# Wine for the Windows build's tests, sourced by its steps: the programs and the prefix in the cache, made
# on first use.
cache="${QUORVANE_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane-windows}"
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
export WINEPREFIX="$cache/wine" WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1
    "$wineserver" -w
fi
