#!/usr/bin/env bash
# Installs the dependencies, builds Quorvane with warnings as errors and runs the whole test suite, builds
# and checks the Debian package, then runs the engine's tests once more under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"
bash "$root/scripts/setup-debian.sh"
python3 "$root/scripts/check-catalogue.py" # the example phone catalogue and its sources

cmake -S "$root" -B "$root/build-ci" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON >/dev/null
cmake --build "$root/build-ci" -j "$jobs"
ctest --test-dir "$root/build-ci" --output-on-failure -j "$jobs"
# What a screen reader sees of the window over AT-SPI, in Russian and in English.
for language in ru en; do
    bash "$root/scripts/atspi-check.sh" "$root/build-ci" "$language" >/dev/null
done
# Esc and the window manager's close request stop a long run of the window.
bash "$root/scripts/xvfb-stop-check.sh" "$root/build-ci"

# The Debian package, checked by lintian, desktop-file-validate and appstreamcli.
bash "$root/scripts/package.sh"

cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON \
    -DQUORVANE_SANITIZE=ON -DQUORVANE_GUI=OFF >/dev/null
cmake --build "$root/build-asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"

# ---- Fuzz smoke run ----
# Every libFuzzer target (clang, ASan+UBSan, in build-fuzz) for a few seconds over its generated seed corpus;
# any crash, leak, sanitizer report or slow input fails CI.
FUZZ_BUILD_JOBS="$jobs" bash "$root/scripts/fuzz.sh" "${FUZZ_SMOKE_SECONDS:-5}"
echo "All tests passed."
