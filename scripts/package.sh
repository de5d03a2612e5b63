#!/usr/bin/env bash
# Builds the Debian package quorvane_<version>_<arch>.deb in build-package (with Debian's hardening
# flags, installed under /usr) and checks it: lintian, desktop-file-validate and appstreamcli on what it
# holds. Prints the package's path last.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-package"
bash "$root/scripts/setup-debian.sh"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/quorvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package="$(ls "$build"/quorvane_*.deb)"

contents="$(mktemp -d)"
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$package" "$contents"
desktop-file-validate "$contents"/usr/share/applications/quorvane.desktop
appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error "$package"
echo "$package"
