# shellcheck shell=bash disable=SC2034,SC2154 # a recipe: third-party.sh sets and reads its variables
# libwebp and libwebpdemux, static, with their SIMD code; no tools, no libwebpmux, no extras. In 1.2.4
# sharpyuv is compiled into libwebp (there is no separate libsharpyuv yet). The image libraries are not
# looked for: only the tools would read other formats.
package=libwebp
version=1.2.4-0.2+deb12u1
depends=()
shipped=yes
notices=("libwebp 1.2.4")

recipe_build() {
    local tools=(ANIM_UTILS CWEBP DWEBP GIF2WEBP IMG2WEBP VWEBP WEBPINFO LIBWEBPMUX WEBPMUX EXTRAS) off=() tool
    for tool in "${tools[@]}"; do
        off+=("-DWEBP_BUILD_$tool=OFF")
    done
    cmake -S "$src" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "${off[@]}" \
        -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON -DCMAKE_DISABLE_FIND_PACKAGE_JPEG=ON \
        -DCMAKE_DISABLE_FIND_PACKAGE_TIFF=ON -DCMAKE_DISABLE_FIND_PACKAGE_GIF=ON
    cmake --build "$work" -j "$jobs" --target install
}
