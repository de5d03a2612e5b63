#!/usr/bin/env bash
# Writes the source of the Windows programs into OUT_DIR:
#   quorvane-<version>-source.tar.gz  the project's tree at the commit checked out (git archive of HEAD),
#                                     under quorvane-<version>/, with BUILDING-WINDOWS.txt added;
#   BUILDING-WINDOWS.txt              how to rebuild the programs from it on Debian 12, made from the
#                                     recipes in scripts/windows/recipes/ of that commit;
#   SOURCE.txt                        which archive and commit these programs come from.
# The texts have CR LF line ends: they are shipped for Windows. In a tree unpacked from such an archive
# (no git repository of its own) the archive is made of the tree as it is, less what .gitignore names.
# Usage: scripts/windows/source-archive.sh OUT_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
if [ "$#" -ne 1 ]; then
    echo "usage: scripts/windows/source-archive.sh OUT_DIR" >&2
    exit 64
fi
mkdir -p "$1"
out="$(cd "$1" && pwd)"
fail() {
    echo "source-archive: $*" >&2
    exit 1
}
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# ---- The tree to archive: HEAD of the project's repository, or a snapshot of an unpacked archive.
if [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$root" ]; then
    g() { git -C "$root" "$@"; }
    commit="$(g rev-parse --verify HEAD)" || fail "the repository has no commit"
    origin="the project's tree at commit $commit"
    if [ -n "$(g status --porcelain)" ]; then
        echo "source-archive: the working tree differs from HEAD; the archive holds HEAD ($commit)" >&2
    fi
else
    # A repository of its own outside the tree: git's ignore rules pick the files, the tree is untouched.
    [ -f "$root/BUILDING-WINDOWS.txt" ] || fail "$root is neither a git checkout nor unpacked from a source archive"
    export GIT_DIR="$tmp/git" GIT_WORK_TREE="$root"
    g() { git -c user.name=source-archive -c user.email=source-archive@localhost "$@"; }
    g init -q
    (cd "$root" && g add -A -- . ':!BUILDING-WINDOWS.txt')
    g commit -q -m snapshot
    commit="$(tr '\r\n' '  ' <"$root/BUILDING-WINDOWS.txt" | grep -o 'commit [0-9a-f]\{40\}' | head -n 1 || true)"
    commit="${commit#commit }"
    [ -n "$commit" ] || fail "$root/BUILDING-WINDOWS.txt names no commit"
    origin="the tree unpacked from the source archive of commit $commit, with any changes made to it since"
fi
version="$(g show HEAD:CMakeLists.txt | sed -n 's/^project(Quorvane VERSION \([0-9.]*\).*/\1/p')"
[ -n "$version" ] || fail "no 'project(Quorvane VERSION x.y.z' line in CMakeLists.txt"
name="quorvane-$version"
archive="$name-source.tar.gz"

mkdir -p "$tmp/tree"
[ -n "$(g ls-tree HEAD scripts/windows/recipes/)" ] ||
    fail "the archived tree has no scripts/windows/recipes/ (commit the recipes first)"
g archive HEAD -- scripts/windows/recipes | tar -x -C "$tmp/tree"
recipes=("$tmp"/tree/scripts/windows/recipes/*.sh)
[ -f "${recipes[0]}" ] || fail "the archived tree has no recipe in scripts/windows/recipes"

# ---- BUILDING-WINDOWS.txt
installed() {
    dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "not installed"
}
# What one recipe builds: its package and version, what it depends on, whether it is shipped, its
# comment and its build function.
describe() {
    local recipe="$1" file="scripts/windows/recipes/${1##*/}"
    # shellcheck disable=SC2154 # the recipe sets shipped and notices
    (
        set +u
        # shellcheck source=/dev/null
        . "$recipe" >/dev/null
        echo "$package $version ($file)"
        echo
        echo "    Debian source package: $package, version $version"
        echo "        (apt-get source $package=$version)"
        echo "    Depends on: ${depends[*]:-no other recipe}"
        if [ "$shipped" = yes ]; then
            echo "    Linked into the programs: yes; its notices in THIRD-PARTY-NOTICES.txt:"
            printf '        %s\n' "${notices[@]}"
        else
            echo "    Linked into the programs: no (the tests only)"
        fi
        echo "    What it is:"
        sed -n '/^# shellcheck/d; s/^# \{0,1\}/        /p' "$recipe"
        echo "    Its build function:"
        declare -f recipe_build | sed 's/^/        /; s/ *$//'
        echo
    )
}
# shellcheck disable=SC2088 # the text names the folder as the user types it
cache_text='~/.cache/quorvane-windows'
# The folder the qt recipe's source is unpacked into.
# shellcheck disable=SC2154 # the recipe sets package and version
qt_source="$(
    set +u
    # shellcheck source=/dev/null
    . "$tmp/tree/scripts/windows/recipes/qt.sh" 2>/dev/null && echo "$package-$version"
)" || fail "the archived tree has no scripts/windows/recipes/qt.sh"
{
    title="Building the Windows programs of Quorvane $version from source"
    cat <<EOF
$title
${title//?/=}

EOF
    echo "Source: $archive, $origin." | fmt -w 76
    cat <<EOF

Quorvane is free software under the GNU General Public License version 3
or later (LICENSE). The Windows programs quorvane.exe and quorvane-cli.exe
are cross-built on Debian 12 (bookworm, amd64) with MinGW-w64, from this
source and from Debian's source packages of the third-party libraries,
each built by its recipe in scripts/windows/recipes/ and linked in
statically. THIRD-PARTY-NOTICES.txt gives the notices of everything linked
in.

Rebuilding the programs
-----------------------

On Debian 12, as a user who may use sudo (the first command installs what
is missing, as root, and adds a deb-src entry for bookworm main when there
is none; once everything is installed neither command needs root):

    tar -xzf $archive
    cd $name
    bash scripts/setup-debian.sh --windows
    bash scripts/build-windows.sh

The build script unpacks each recipe's Debian source package (apt-get
source, at the pinned version) into $cache_text/sources/,
builds the libraries into $cache_text/prefix/ (the variable
QUORVANE_WINDOWS_CACHE moves that folder), cross-builds the programs and
the tests, runs the tests under Wine and writes into build-windows/:

EOF
    printf '    %-36s %s\n' "$name-win64.zip" "the portable programs" "$name-win64-setup.exe" "the installer" \
        "$archive" "this source, with BUILDING-WINDOWS.txt" "" "and SOURCE.txt beside it"
    cat <<EOF

The programs themselves, before they are stripped for the release, are
build-windows/build/src/app/quorvane.exe and
build-windows/build/src/quorvane-cli.exe.

Relinking with a changed Qt
---------------------------

Qt (qtbase) is linked into quorvane.exe statically, under the GNU LGPL
version 3. To build quorvane.exe against a changed Qt, change the qt
recipe's source and rebuild:

  - change scripts/windows/recipes/qt.sh: its package and version name the
    Debian source package it builds, and recipe_build its configure
    switches; or replace the unpacked source it builds,
    $cache_text/sources/$qt_source/,
    with your changed qtbase and remove the stamp
    $cache_text/prefix/.stamp-qt;
  - run bash scripts/build-windows.sh again. A library whose recipe (or
    stamp) changed is built anew into the prefix, and the programs are
    relinked against it.

The static Qt is built with Debian's own host tools (moc, rcc and uic,
QT_HOST_PATH=/usr), so a changed Qt must stay at the version of the host's
Qt (the package qt6-base-dev).

The third-party libraries
-------------------------

EOF
    for recipe in "${recipes[@]}"; do
        describe "$recipe"
    done
    cat <<EOF
The tools used when this file was made
--------------------------------------

EOF
    for package in g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
        binutils-mingw-w64-x86-64 cmake meson ninja-build nasm qt6-base-dev qt6-base-dev-tools qt6-l10n-tools \
        fonts-liberation2; do
        printf '    %-30s %s\n' "$package" "$(installed "$package")"
    done
} | sed 's/$/\r/' >"$tmp/BUILDING-WINDOWS.txt"

# ---- The archive, with BUILDING-WINDOWS.txt inside, and SOURCE.txt.
g archive --format=tar.gz --prefix="$name/" --add-file="$tmp/BUILDING-WINDOWS.txt" -o "$tmp/$archive" HEAD
fmt -w 76 <<EOF | sed 's/$/\r/' >"$tmp/SOURCE.txt"
Quorvane $version for Windows: its source

The complete source of these programs is $archive: $origin,
under $name/. BUILDING-WINDOWS.txt, in the archive and beside it, says how to rebuild
the programs from it on Debian 12 (with Debian's source packages of the libraries, which it names) and
how to relink quorvane.exe with a changed Qt. THIRD-PARTY-NOTICES.txt gives the notices of the
libraries linked into the programs.
EOF
mv "$tmp/$archive" "$tmp/BUILDING-WINDOWS.txt" "$tmp/SOURCE.txt" "$out/"
echo "$out/$archive"
