# shellcheck shell=bash disable=SC2034,SC2154 # a recipe: third-party.sh sets and reads its variables
# dav1d, the AV1 decoder under libheif, static, with its NASM assembly; no tools, tests or examples.
# Meson's cross file is written here from the same MinGW-w64 tools as the CMake toolchain file, so that
# it is part of the recipe's stamp; pkg-config sees the prefix only.
package=dav1d
version=1.0.0-2+deb12u1
depends=()
shipped=yes
notices=("dav1d 1.0.0")

recipe_build() {
    mkdir -p "$work"
    cat >"$work/mingw-w64-x86_64.meson" <<CROSS
[binaries]
c = '$host-gcc-posix'
cpp = '$host-g++-posix'
ar = '$host-ar'
strip = '$host-strip'
windres = '$host-windres'
nasm = 'nasm'
pkgconfig = 'pkg-config'

[properties]
pkg_config_libdir = ['$prefix/lib/pkgconfig']
needs_exe_wrapper = true

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
CROSS
    meson setup "$work/build" "$src" --cross-file "$work/mingw-w64-x86_64.meson" --prefix "$prefix" \
        --libdir lib --buildtype release --default-library static -Denable_asm=true -Denable_tools=false \
        -Denable_tests=false -Denable_examples=false -Denable_docs=false >/dev/null
    meson compile -C "$work/build" -j "$jobs"
    meson install -C "$work/build" --quiet
}
