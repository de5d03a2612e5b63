# shellcheck shell=bash disable=SC2034,SC2154 # a recipe: third-party.sh sets and reads its variables
# libpng, static, against the zlib recipe. Qt's static build bundles its own libpng with the plain png_
# names, so this one's API is prefixed quorvane_ (png.h maps png_* to quorvane_png_*): both can be linked
# into one program.
package=libpng1.6
version=1.6.39-2+deb12u5
depends=(zlib)
shipped=yes
notices=("libpng 1.6.39")

recipe_build() {
    cmake -S "$src" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF -DPNG_PREFIX=quorvane_
    cmake --build "$work" -j "$jobs" --target install
}
