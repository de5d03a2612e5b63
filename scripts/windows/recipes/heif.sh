# shellcheck shell=bash disable=SC2034,SC2154 # a recipe: third-party.sh sets and reads its variables
# libheif, static, reading HEIC through libde265 and AVIF through dav1d, both built in; as in Debian,
# with zlib for compressed headers. Every other codec is off (x265, under the GPL, must never be linked),
# and so are plugin loading and the examples. pkg-config sees the prefix only, so the host's gdk-pixbuf
# is not found and its loader not built. The installed libheif.pc gets zlib, which libheif's CMake
# build leaves out.
package=libheif
version=1.15.1-1+deb12u1
depends=(de265 dav1d zlib)
shipped=yes
notices=("libheif 1.15.1")

recipe_build() {
    export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"
    cmake -S "$src" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        -DENABLE_PLUGIN_LOADING=OFF -DWITH_EXAMPLES=OFF \
        -DWITH_LIBDE265=ON -DWITH_LIBDE265_PLUGIN=OFF -DWITH_DAV1D=ON -DWITH_DAV1D_PLUGIN=OFF \
        -DWITH_X265=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF -DWITH_RAV1E=OFF -DWITH_SvtEnc=OFF \
        -DWITH_DEFLATE_HEADER_COMPRESSION=ON \
        -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a"
    cmake --build "$work" -j "$jobs" --target install
    rm -f "$prefix/share/thumbnailers/heif.thumbnailer"
    rmdir --ignore-fail-on-non-empty "$prefix/share/thumbnailers"
    local pc="$prefix/lib/pkgconfig/libheif.pc"
    if ! grep -q '^Requires.private:.*libde265.*dav1d' "$pc"; then
        fail "$pc does not require libde265 and dav1d"
    fi
    sed -i 's/^Requires.private:.*/& zlib/' "$pc"
}
