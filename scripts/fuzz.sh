#!/usr/bin/env bash
# Builds the libFuzzer targets (clang 14, AddressSanitizer and UndefinedBehaviorSanitizer) in build-fuzz,
# writes their seed corpora and runs each target for the given number of seconds, one after another on
# one core. Each target keeps a working corpus in build-fuzz/corpus/<target> that grows from run to run;
# crashing, leaking and slow inputs land in build-fuzz/artifacts/<target>/.
# The HEIF and WebP targets also start from the sample files in tests/data/heif and tests/data/webp.
# Usage: scripts/fuzz.sh SECONDS [TARGET...]   targets: bmp jpeg png webp heif intconv catalogue (default: all)
# Exits non-zero when any target found something.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:?usage: scripts/fuzz.sh SECONDS [bmp|jpeg|png|webp|heif|intconv|catalogue ...]}"
shift
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    targets=(bmp jpeg png webp heif intconv catalogue)
fi
build="$root/build-fuzz"
compiler="$(command -v clang++-14 || command -v clang++)"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$compiler" \
    -DQUORVANE_FUZZ=ON -DQUORVANE_GUI=OFF -DQUORVANE_TESTS=OFF >/dev/null
fuzz_targets=()
for target in "${targets[@]}"; do
    fuzz_targets+=("fuzz_$target")
done
cmake --build "$build" -j "${FUZZ_BUILD_JOBS:-2}" --target fuzz_seeds "${fuzz_targets[@]}"
"$build/fuzz/fuzz_seeds" "$build/seeds" "$root/examples/phone.ini"

failed=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    artifacts="$build/artifacts/$target"
    log="$build/logs/$target.log"
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1
        -artifact_prefix="$artifacts/")
    if [ -f "$root/fuzz/$target.dict" ]; then
        options+=(-dict="$root/fuzz/$target.dict")
    fi
    seeds=()
    for folder in "$build/seeds/$target" "$root/tests/data/$target"; do
        [ -d "$folder" ] && seeds+=("$folder")
    done
    status=0
    "$build/fuzz/fuzz_$target" "${options[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
    summary="$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)"
    echo "fuzz_$target: ${seconds}s, exit $status: $summary"
    if [ "$status" -ne 0 ]; then
        failed=1
        grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -n 5 || true
        echo "fuzz_$target: see $log"
    fi
done
exit "$failed"
