# shellcheck shell=bash disable=SC2034,SC2154 # a recipe: third-party.sh sets and reads its variables
# libjpeg-turbo with its SIMD code and the libjpeg 6.2 interface, as Debian's libjpeg62-turbo: the encoder
# then writes the same bytes on both systems.
package=libjpeg-turbo
version=1:2.1.5-2
depends=()
shipped=yes
notices=("libjpeg-turbo 2.1.5")

recipe_build() {
    cmake -S "$src" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF -DREQUIRE_SIMD=ON
    cmake --build "$work" -j "$jobs" --target install
}
