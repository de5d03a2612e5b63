# shellcheck shell=bash disable=SC2034,SC2154 # a recipe: third-party.sh sets and reads its variables
# GoogleTest, for the tests only: nothing of it is in the programs.
package=googletest
version=1.12.1-0.2
depends=()
shipped=no
notices=()

recipe_build() {
    cmake -S "$src" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF
    cmake --build "$work" -j "$jobs" --target install
}
