#!/usr/bin/env bash
# Builds the Windows build's third-party libraries into the cache's prefix, each from its recipe in
# recipes/ (its Debian source package and version, what it depends on, its switches), in dependency order.
# A recipe is built again only when its stamp changes: the hash of the recipe (but its comments and its
# notices, which change nothing that is built), lib.sh, the toolchain file and the host Qt's version.
# Usage: scripts/windows/third-party.sh   (environment as scripts/build-windows.sh sets it)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=lib.sh
. "$here/lib.sh"
cache="${QUORVANE_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane-windows}"
jobs="${JOBS:-$(nproc)}"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
host=x86_64-w64-mingw32
prefix="$cache/prefix"
sources="$cache/sources"
export QUORVANE_WINDOWS_PREFIX="$prefix"
mkdir -p "$prefix" "$sources" "$cache/build"

# The recipes' names in an order where each comes after what it depends on.
ordered=()
visit() {
    local name="$1" dependency
    [[ " ${ordered[*]} " == *" $name "* ]] && return
    [ -f "$here/recipes/$name.sh" ] || fail "no recipe $name (a dependency)"
    local depends=()
    # shellcheck source=/dev/null
    mapfile -t depends < <(. "$here/recipes/$name.sh" && for dependency in "${depends[@]}"; do echo "$dependency"; done)
    for dependency in "${depends[@]}"; do
        visit "$dependency"
    done
    ordered+=("$name")
}
for recipe in "$here"/recipes/*.sh; do
    visit "$(basename "$recipe" .sh)"
done

for name in "${ordered[@]}"; do
    stamp="$( (grep -v -e '^ *#' -e '^notices=' "$here/recipes/$name.sh"; cat "$here/lib.sh" "$toolchain"
        host_qt_version) | sha256sum | cut -c1-16)"
    if [ "$(cat "$prefix/.stamp-$name" 2>/dev/null)" = "$stamp" ]; then
        continue
    fi
    echo "build-windows: building $name into $prefix"
    work="$cache/build/$name"
    rm -rf "$work"
    (
        # shellcheck source=/dev/null
        . "$here/recipes/$name.sh"
        # shellcheck disable=SC2154 # package and version come from the recipe
        src="$(debian_source "$package" "$version")"
        export src work prefix toolchain host jobs
        recipe_build
    )
    echo "$stamp" >"$prefix/.stamp-$name"
done
