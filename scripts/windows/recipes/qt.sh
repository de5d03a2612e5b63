# shellcheck shell=bash disable=SC2034,SC2154 # a recipe: third-party.sh sets and reads its variables
# qtbase, static, with Debian's own host tools (moc, rcc, uic). The window needs Widgets, the windows
# platform plugin and, for the tests, testlib and the offscreen plugin; the rest is off. Two switches are
# needed with Debian's source: its tarball has no wintab.h (tablet events), and with OpenGL off the dynamic
# OpenGL loader does not compile. The parts of qtbase's own third-party code that this build compiles in
# each have their notice.
package=qt6-base
version=6.4.2+dfsg-10
depends=()
shipped=yes
notices=("qtbase 6.4.2" "double-conversion 3.2.0+e634f265db5d296bd7a780f9813d6b8573f5bd90" "freetype 2.12.1" "harfbuzz-ng 4.2.1" "libpng 1.6.39" "md4c 0.4.8" "pcre2 10.40" "zlib 1.2.13" "blake2 54f4faa4c16ea34bcd59d16e8da46a64b259fc07" "easing (qtbase 6.4.2)" "icc (qtbase 6.4.2)" "md4 (qtbase 6.4.2)" "md5 (qtbase 6.4.2)" "rfc6234 (qtbase 6.4.2)" "sha1 (qtbase 6.4.2)" "sha3 3.2" "tinycbor 0.6.0" "unicode-character-database 28" "unicode-cldr v41" "siphash (qtbase 6.4.2)" "grayraster (qtbase 6.4.2)" "smooth-scaling-algorithm (qtbase 6.4.2)" "xserverhelper (qtbase 6.4.2)" "aglfn 1.7" "webgradients (qtbase 6.4.2)")

recipe_build() {
    local off=(network sql dbus opengl printsupport concurrent xml vulkan icu jpeg gif
        system_zlib system_pcre2 system_freetype system_harfbuzz system_png system_jpeg
        tabletevent dynamicgl)
    local features=() feature
    for feature in "${off[@]}"; do
        features+=("-DFEATURE_$feature=OFF")
    done
    cmake -S "$src" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DBUILD_SHARED_LIBS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DFEATURE_testlib=ON -DFEATURE_freetype=ON -DFEATURE_png=ON \
        "${features[@]}" >/dev/null
    cmake --build "$work" -j "$jobs"
    cmake --install "$work" >/dev/null
}
