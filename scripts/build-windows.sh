#!/usr/bin/env bash
# Cross-builds Quorvane for 64-bit Windows on Debian 12, from Debian's archive only: installs what is
# missing, builds the third-party libraries once into a cache (qtbase static, libjpeg-turbo, Little CMS,
# GoogleTest; reused while their recipe below is unchanged), cross-builds quorvane.exe, quorvane-cli.exe
# and the tests, runs the tests under Wine, checks that the Linux and Windows command lines write the
# same bytes, and writes build-windows/quorvane-<version>-win64.zip and -setup.exe.
# Usage: scripts/build-windows.sh [--third-party-only]
# Environment: QUORVANE_WINDOWS_CACHE (default ~/.cache/quorvane-windows), JOBS (default nproc).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${QUORVANE_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane-windows}"
jobs="${JOBS:-$(nproc)}"
build="$root/build-windows"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
host=x86_64-w64-mingw32
prefix="$cache/prefix"
sources="$cache/sources"
# The toolchain file looks for Windows libraries in MinGW's folder and in this prefix only.
export QUORVANE_WINDOWS_PREFIX="$prefix"

# ---- Third-party libraries, each built once into $prefix ----
# Each recipe's text (and the toolchain file) is hashed; a recipe whose hash matches its stamp is skipped.

# Unpacks Debian's source package $1 (version $2) into $sources/$1 and prints the folder.
debian_source() {
    local dir="$sources/$1-$2"
    if [ ! -d "$dir" ]; then
        rm -rf "$dir.tmp" && mkdir -p "$dir.tmp"
        (cd "$dir.tmp" && apt-get source -qq --only-source "$1=$2" >/dev/null 2>&1)
        local unpacked
        unpacked="$(find "$dir.tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
        mv "$unpacked" "$dir" && rm -rf "$dir.tmp"
    fi
    echo "$dir"
}

recipe_jpeg() {
    # libjpeg-turbo with its SIMD code and the libjpeg 6.2 interface, as Debian's libjpeg62-turbo: the
    # encoder then writes the same bytes on both systems.
    local src
    src="$(debian_source libjpeg-turbo 1:2.1.5-2)"
    cmake -S "$src" -B "$cache/build/jpeg" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF -DREQUIRE_SIMD=ON
    cmake --build "$cache/build/jpeg" -j "$jobs" --target install
}

recipe_lcms2() {
    local src
    src="$(debian_source lcms2 2.14-2+deb12u1)"
    mkdir -p "$cache/build/lcms2"
    (cd "$cache/build/lcms2" &&
        "$src/configure" -q --host="$host" CC="$host-gcc-posix" --prefix="$prefix" --enable-static \
            --disable-shared --without-jpeg --without-tiff --without-zlib &&
        make -s -j "$jobs" -C src install && make -s -C include install && make -s install-pkgconfigDATA)
}

recipe_gtest() {
    local src
    src="$(debian_source googletest 1.12.1-0.2)"
    cmake -S "$src" -B "$cache/build/gtest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF
    cmake --build "$cache/build/gtest" -j "$jobs" --target install
}

recipe_qt() {
    # qtbase, static, with Debian's own host tools (moc, rcc, uic). The window needs Widgets, the
    # windows platform plugin and, for the tests, testlib and the offscreen plugin; the rest is off.
    # Two switches are needed with Debian's source: its tarball has no wintab.h (tablet events), and
    # with OpenGL off the dynamic OpenGL loader does not compile.
    local src
    src="$(debian_source qt6-base 6.4.2+dfsg-10)"
    local off=(network sql dbus opengl printsupport concurrent xml vulkan icu jpeg gif
        system_zlib system_pcre2 system_freetype system_harfbuzz system_png system_jpeg
        tabletevent dynamicgl)
    local features=() feature
    for feature in "${off[@]}"; do
        features+=("-DFEATURE_$feature=OFF")
    done
    cmake -S "$src" -B "$cache/build/qt" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DBUILD_SHARED_LIBS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DFEATURE_testlib=ON -DFEATURE_freetype=ON -DFEATURE_png=ON \
        "${features[@]}" >/dev/null
    cmake --build "$cache/build/qt" -j "$jobs"
    cmake --install "$cache/build/qt" >/dev/null
}

build_third_party() {
    mkdir -p "$prefix" "$sources" "$cache/build"
    local name stamp
    for name in jpeg lcms2 gtest qt; do
        stamp="$( (declare -f "recipe_$name"; cat "$toolchain") | sha256sum | cut -c1-16)"
        if [ "$(cat "$prefix/.stamp-$name" 2>/dev/null)" = "$stamp" ]; then
            continue
        fi
        echo "build-windows: building $name into $prefix"
        rm -rf "$cache/build/$name"
        "recipe_$name"
        echo "$stamp" >"$prefix/.stamp-$name"
    done
}

bash "$root/scripts/setup-debian.sh" --windows
build_third_party
if [ "${1:-}" = --third-party-only ]; then
    exit 0
fi

# ---- Wine, for the tests ----
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
export WINEPREFIX="$cache/wine" WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1
    "$wineserver" -w
fi

# ---- The programs and their tests ----
# The cross-build's pkg-config sees the third-party prefix only, never the host's libraries.
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"
cmake -S "$root" -B "$build/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DQUORVANE_WERROR=ON -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" -DQUORVANE_LRELEASE=/usr/lib/qt6/bin/lrelease >/dev/null
# Wine makes windows even for programs on Qt's offscreen platform (the event loop's message window): test
# discovery at build time and the tests run on a virtual X display.
# One display for both, and Wine's server ended before it goes, so that no Wine process outlives its display.
"$wineserver" -k 2>/dev/null || true
# A test that fails is run once more: Wine's server now and then drops a client ("recvmsg: Connection reset").
xvfb-run -a bash -c 'cmake --build "$1" -j "$2" && ctest --test-dir "$1" -j "$2" --output-on-failure --repeat until-pass:2
    status=$?
    "$3" -k 2>/dev/null; exit $status' - "$build/build" "$jobs" "$wineserver"

# ---- The same bytes as on Linux ----
# Generated pictures of every kind, converted by the Linux and the Windows command line: the two sets of
# outputs must be the same files (compared by content, since the numbering follows each system's listing).
# This build is Linux's own: its pkg-config sees the host's libraries again.
unset PKG_CONFIG_LIBDIR
linux="$build/linux"
cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_GUI=OFF >/dev/null
cmake --build "$linux" -j "$jobs" --target quorvane-cli write_test_pictures
same="$build/same-bytes"
rm -rf "$same" && mkdir -p "$same/in" "$same/out-linux" "$same/out-windows"
"$linux/tests/write_test_pictures" good "$same/in" 24 1200 900 a >/dev/null
"$linux/tests/write_test_pictures" good "$same/in" 12 640 1500 b >/dev/null
options=(--width 1080 --height 2400 --quality 85)
"$linux/src/quorvane-cli" --source "$same/in" --receiver "$same/out-linux" "${options[@]}" >/dev/null
"$wine" "$build/build/src/quorvane-cli.exe" --source "$same/in" --receiver "$same/out-windows" "${options[@]}" \
    >/dev/null
digests() { (cd "$1" && sha256sum -- * | cut -d' ' -f1 | sort); }
if [ "$(ls "$same/out-linux" | wc -l)" -ne 36 ] || [ "$(digests "$same/out-linux")" != "$(digests "$same/out-windows")" ]; then
    echo "build-windows: the Linux and Windows outputs differ (see $same)" >&2
    exit 1
fi
echo "build-windows: 36 outputs, byte-identical on Linux and Windows"

# ---- The portable zip and the installer ----
version="$(sed -n 's/^project(Quorvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
name="quorvane-$version-win64"
stage="$build/$name"
rm -rf "$stage" && mkdir -p "$stage"
for program in quorvane quorvane-cli; do
    "$host-strip" -o "$stage/$program.exe" "$build/build/src/$([ $program = quorvane ] && echo app/)$program.exe"
done
cp "$root/examples/phone.ini" "$root/examples/ReadMe.txt" "$root/README.md" "$stage/"
cp /usr/share/doc/fonts-liberation2/copyright "$stage/LICENSE-fonts.txt"
rm -f "$build/$name.zip"
(cd "$build" && zip -q -r -X "$name.zip" "$name")
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DICON="$build/build/quorvane.ico" \
    -DOUTFILE="$build/$name-setup.exe" -DSIZE_KB="$(du -sk "$stage" | cut -f1)" \
    "$root/packaging/windows/quorvane.nsi"

# The installer installs silently, and its uninstaller removes all of it.
installed="$WINEPREFIX/drive_c/Program Files/Quorvane"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvane.lnk"
"$wine" "$build/$name-setup.exe" /S && "$wineserver" -w
for file in quorvane.exe quorvane-cli.exe phone.ini ReadMe.txt README.md LICENSE-fonts.txt uninstall.exe; do
    [ -f "$installed/$file" ] || { echo "build-windows: the installer did not install $file" >&2; exit 1; }
done
[ -f "$shortcut" ] || { echo "build-windows: no Start-menu shortcut" >&2; exit 1; }
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane'
"$wine" reg query "$key" >/dev/null 2>&1 || { echo "build-windows: no uninstaller entry" >&2; exit 1; }
"$wine" "C:\\Program Files\\Quorvane\\uninstall.exe" /S && "$wineserver" -w
sleep 2 && "$wineserver" -w
if [ -e "$installed" ] || [ -e "$shortcut" ] || "$wine" reg query "$key" >/dev/null 2>&1; then
    echo "build-windows: the uninstaller left files behind" >&2
    exit 1
fi
echo "$build/$name.zip"
echo "$build/$name-setup.exe"
