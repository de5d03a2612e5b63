# shellcheck shell=bash disable=SC2034,SC2154 # a recipe: third-party.sh sets and reads its variables
# zlib, static, for libpng and libheif. Qt's bundled zlib has its symbols prefixed z_, so the two do not
# clash. zlib's own configure makes libz.a, the name its zlib.pc gives (its CMake build names the static
# library libzlibstatic.a on Windows, and always builds the DLL too). It is built in a copy of the source:
# make cannot take the source folder's name, whose Debian epoch holds a colon.
package=zlib
version=1:1.2.13.dfsg-1
depends=()
shipped=yes
notices=("zlib 1.2.13")

recipe_build() {
    mkdir -p "$work"
    cp -a "$src/." "$work/"
    (cd "$work" &&
        CHOST="$host" CC="$host-gcc-posix" ./configure --static --prefix="$prefix" >/dev/null &&
        make -s -j "$jobs" libz.a && make -s install)
}
