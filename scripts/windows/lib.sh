# shellcheck shell=bash
# Functions the Windows build's recipes and steps share; sourced, never run. Every recipe's stamp covers
# this file, so a change here builds the third-party libraries anew.

# Says what went wrong and ends the build.
fail() {
    echo "build-windows: $*" >&2
    exit 1
}

# The version of Debian's source package $1 that the archive serves now; empty when it serves none.
served_version() {
    apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -n 1
}

# Unpacks Debian's source package $1 at version $2 into $sources/$1-$2 (once) and prints the folder. A
# pinned version the archive no longer serves fails with one line naming both versions; apt's own errors
# are shown.
debian_source() {
    # shellcheck disable=SC2154 # the caller sets the cache's folders
    local name="$1" pinned="$2" dir="$sources/$1-$2"
    if [ ! -d "$dir" ]; then
        local offered
        offered="$(served_version "$name")"
        if [ "$offered" != "$pinned" ] && ! apt-cache showsrc --only-source "$name" 2>/dev/null |
            grep -qx "Version: $pinned"; then
            fail "$name $pinned is pinned, but the archive offers ${offered:-no version of it} now"
        fi
        rm -rf "$dir.tmp" && mkdir -p "$dir.tmp"
        (cd "$dir.tmp" && apt-get source -q --only-source "$name=$pinned" >"$dir.tmp.log" 2>&1) || {
            cat "$dir.tmp.log" >&2
            fail "apt-get source $name=$pinned failed"
        }
        local unpacked
        unpacked="$(find "$dir.tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
        [ -n "$unpacked" ] || fail "apt-get source $name=$pinned unpacked nothing"
        mv "$unpacked" "$dir" && rm -rf "$dir.tmp" "$dir.tmp.log"
    fi
    echo "$dir"
}

# The host's Qt version, which the static Qt's host tools (QT_HOST_PATH=/usr) must match.
host_qt_version() {
    dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || echo none
}
