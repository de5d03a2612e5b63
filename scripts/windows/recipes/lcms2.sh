# shellcheck shell=bash disable=SC2034,SC2154 # a recipe: third-party.sh sets and reads its variables
# Little CMS 2, the colour conversion.
package=lcms2
version=2.14-2+deb12u1
depends=()
shipped=yes
notices=("lcms2 2.14")

recipe_build() {
    mkdir -p "$work"
    (cd "$work" &&
        "$src/configure" -q --host="$host" CC="$host-gcc-posix" --prefix="$prefix" --enable-static \
            --disable-shared --without-jpeg --without-tiff --without-zlib &&
        make -s -j "$jobs" -C src install && make -s -C include install && make -s install-pkgconfigDATA)
}
