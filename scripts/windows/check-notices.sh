#!/usr/bin/env bash
# Checks that THIRD-PARTY-NOTICES.txt has a heading "==== NAME VERSION ====" for everything linked into the
# Windows programs: each notice that a shipped recipe in recipes/ lists, every part of qtbase's own
# third-party code that the static Qt build compiles in, the MinGW-w64 runtime and the built-in font.
# Prints one line per problem and fails, or prints "notices: N libraries, all named".
# Usage: scripts/windows/check-notices.sh [QT_BUILD_TREE]   (default: the cache's build/qt)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cache="${QUORVANE_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane-windows}"
qt_tree="${1:-$cache/build/qt}"
file="$root/THIRD-PARTY-NOTICES.txt"

# quorvane.exe links Qt Core, Gui, Widgets, the windows platform plugin, the windowsvista style and the ico
# plugin (the tree's other plugins and testlib serve the tests only). Parts of qtbase's third-party code
# with object files of their own (in this build double-conversion, freetype, harfbuzz-ng, libpng, md4c,
# pcre2 and zlib) are found in the build tree below. These are compiled in without object files of their
# own under a 3rdparty folder, so that the tree's objects do not show them; each needs its notice too.
# - Sources that Qt Core #includes into its own files: blake2, md4, md5, sha1, sha3 and rfc6234
#   (qcryptographichash.cpp), easing (qeasingcurve.cpp), tinycbor (the CBOR classes). The Ninja
#   dependencies below show these too, where the tree has them.
# - Resources and data in qtbase's own folders, each with its qt_attribution.json: icc (sRGB2014.icc in Qt
#   Gui's qpdf resource, linked into quorvane.exe), unicode-character-database and unicode-cldr (Qt Core's
#   tables), siphash (qhash.cpp), grayraster (qgrayraster.c), smooth-scaling-algorithm (qimagescale.cpp),
#   xserverhelper (qregion.cpp), aglfn (qfontsubset_agl.cpp) and webgradients (QGradient's presets).
# Not in the programs, so not named: testlib's cycle, valgrind and linuxperf (testlib links into the tests
# only), and what this build leaves out or other systems use: forkfd (Unix), Qt's own libjpeg (off; the
# programs' libjpeg-turbo has its recipe), libpsl and psl (network off), VulkanMemoryAllocator and the
# Vulkan and OpenGL headers (off), libdbus-1 headers (D-Bus off), pixman (ARM), xcb, wasm, android,
# gradle, cocoa and qeventdispatcher_cf (macOS), and cmake/3rdparty (build scripts).
included_parts=(blake2 easing md4 md5 rfc6234 sha1 sha3 tinycbor icc unicode-character-database unicode-cldr
    siphash grayraster smooth-scaling-algorithm xserverhelper aglfn webgradients)

problems=0
problem() {
    echo "check-notices: $*" >&2
    problems=$((problems + 1))
}

# A Debian version's upstream part: no epoch, no Debian revision, no repack suffix (+dfsg, ~..., .dfsg).
upstream() {
    local v="${1#*:}"
    v="${v%%-*}"
    v="${v%%[+~]*}"
    echo "${v%.dfsg}"
}

if [ ! -f "$file" ]; then
    echo "check-notices: $file is missing" >&2
    exit 1
fi
declare -A heading=() named=()
while IFS= read -r line; do
    heading["$line"]=1
    named["${line%% *}"]=1
done < <(sed -n 's/^==== \(.*\) ====\r\{0,1\}$/\1/p' "$file")

# ---- The recipes: each shipped one's notices are headings, and the first names its pinned version.
declare -A required=() listed=()
for recipe in "$here"/recipes/*.sh; do
    name="recipes/$(basename "$recipe")"
    # shipped, package, version, then the notices, one a line.
    if ! fields="$(
        set +u
        # shellcheck source=/dev/null
        . "$recipe" >/dev/null
        printf '%s\n' "$shipped" "$package" "$version"
        if [ "$(declare -p notices 2>/dev/null)" != "" ]; then
            printf '%s\n' "${notices[@]}"
        fi
    )"; then
        problem "$name cannot be read"
        continue
    fi
    mapfile -t field <<<"$fields"
    shipped="${field[0]}" package="${field[1]}" version="${field[2]}"
    notices=("${field[@]:3}")
    [ "${#notices[@]}" -eq 1 ] && [ -z "${notices[0]}" ] && notices=()
    case "$shipped" in
    no) continue ;;
    yes) ;;
    *)
        problem "$name: shipped is '$shipped', not yes or no"
        continue
        ;;
    esac
    if [ "${#notices[@]}" -eq 0 ]; then
        problem "$name is shipped but lists no notice (notices=())"
        continue
    fi
    pinned="$(upstream "$version")"
    if [[ "${notices[0]}" != *" $pinned" ]]; then
        problem "$name pins $package $version, but its first notice '${notices[0]}' is not at version $pinned"
    fi
    for notice in "${notices[@]}"; do
        required["$notice"]=1
        # Qt's parts must be listed by qt.sh itself, also where another recipe builds the same library.
        if [ "$name" = recipes/qt.sh ]; then
            listed["${notice%% *}"]=1
        fi
        [ -n "${heading[$notice]:-}" ] ||
            problem "THIRD-PARTY-NOTICES.txt has no heading '==== $notice ====' ($name lists it)"
    done
done

# ---- qtbase's own third-party code in the static Qt build.
declare -A parts=()
if [ ! -d "$qt_tree" ]; then
    problem "no Qt build tree at $qt_tree (scripts/windows/third-party.sh builds it; or name it as the argument)"
else
    # Parts with object files of their own: .../3rdparty/<part>/...
    while IFS= read -r part; do
        parts["$part"]="object files in the Qt build tree"
    done < <(find "$qt_tree" \( -name '*.obj' -o -name '*.o' \) -printf '%P\n' |
        sed -n 's|^\(.*/\)\{0,1\}3rdparty/\([^/]*\)/.*|\2|p' | sort -u)
    if [ "${#parts[@]}" -eq 0 ]; then
        problem "$qt_tree holds no object file under a 3rdparty folder: is it qtbase's build tree?"
    fi
    # Parts whose sources Qt's own files include, as Ninja recorded them.
    if command -v ninja >/dev/null && [ -f "$qt_tree/.ninja_deps" ]; then
        while IFS= read -r part; do
            [ -n "${parts[$part]:-}" ] || parts["$part"]="sources included into Qt Core's or Qt Gui's files"
        done < <(ninja -C "$qt_tree" -t deps 2>/dev/null |
            sed -En 's#^ .*/src/3rdparty/([^/]+)/.*\.(c|cc|cpp|cxx)$#\1#p' | sort -u)
    fi
fi
for part in "${included_parts[@]}"; do
    [ -n "${parts[$part]:-}" ] || parts["$part"]="included, resource or data in qtbase's own files"
done
mapfile -t sorted < <(printf '%s\n' "${!parts[@]}" | sort)
for part in "${sorted[@]}"; do
    if [ -z "${named[$part]:-}" ]; then
        problem "Qt's 3rdparty part $part is compiled in (${parts[$part]}), but no notice names it"
    elif [ -z "${listed[$part]:-}" ]; then
        problem "Qt's 3rdparty part $part has its notice, but recipes/qt.sh does not list it in notices=()"
    fi
done

# ---- The MinGW-w64 runtime linked statically into both programs, and the window's built-in font, at the
# versions of the installed packages.
runtime=("mingw-w64:mingw-w64-x86-64-dev" "winpthreads:mingw-w64-x86-64-dev" "libgcc:gcc-mingw-w64-x86-64-posix"
    "libstdc++:g++-mingw-w64-x86-64-posix" "Liberation Sans:fonts-liberation2")
for entry in "${runtime[@]}"; do
    what="${entry%%:*}" from="${entry#*:}"
    installed="$(dpkg-query -W -f='${db:Status-Status} ${Version}' "$from" 2>/dev/null || true)"
    if [ "${installed%% *}" = installed ]; then
        installed="${installed#* }"
        notice="$what $(upstream "$installed")"
        required["$notice"]=1
        [ -n "${heading[$notice]:-}" ] ||
            problem "THIRD-PARTY-NOTICES.txt has no heading '==== $notice ====' ($from $installed is linked in)"
    else
        found=""
        for line in "${!heading[@]}"; do
            [[ "$line" == "$what "* ]] && found=1 && required["$line"]=1
        done
        [ -n "$found" ] ||
            problem "THIRD-PARTY-NOTICES.txt has no heading '==== $what VERSION ====' ($from is not installed)"
    fi
done

if [ "$problems" -gt 0 ]; then
    exit 1
fi
echo "notices: ${#required[@]} libraries, all named"
