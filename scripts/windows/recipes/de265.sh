# shellcheck shell=bash disable=SC2034,SC2154 # a recipe: third-party.sh sets and reads its variables
# libde265, the HEVC decoder under libheif, static, with its SSE code. ENABLE_DECODER is the dec265 tool,
# not the library's decoder: off, as are the enc265 tool and SDL. Its CMake build leaves libde265.pc's
# Version empty; the installed file gets the library's version.
package=libde265
version=1.0.11-1+deb12u2
depends=()
shipped=yes
notices=("libde265 1.0.11")

recipe_build() {
    cmake -S "$src" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF -DENABLE_SDL=OFF
    cmake --build "$work" -j "$jobs" --target install
    local release
    release="$(sed -n 's/^#define LIBDE265_VERSION "\(.*\)"$/\1/p' "$prefix/include/libde265/de265-version.h")"
    [ -n "$release" ] || fail "no LIBDE265_VERSION in $prefix/include/libde265/de265-version.h"
    sed -i "s/^Version: *\$/Version: $release/" "$prefix/lib/pkgconfig/libde265.pc"
}
