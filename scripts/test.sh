#!/usr/bin/env bash
# Installs the build dependencies, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer (warnings are errors), runs every test, then builds
# the fuzz targets with clang's libFuzzer and runs each one briefly.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

fuzz_seconds=${OV_FUZZ_SECONDS:-15}
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs" --target ov_fuzzers
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for bin in build/fuzz/fuzz/*_fuzz; do
    name=$(basename "$bin" _fuzz)
    mkdir -p "$scratch/$name"
    echo "== fuzzing $name for ${fuzz_seconds}s"
    "$bin" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
        "$scratch/$name" "fuzz/corpus/$name" 2>"$scratch/$name.log" || {
        tail -50 "$scratch/$name.log"
        echo "fuzz target $name failed"
        exit 1
    }
    grep -E '^(#[0-9]+ *DONE|Done)' "$scratch/$name.log" | tail -1 || true
done
echo "All tests and fuzz runs passed."
