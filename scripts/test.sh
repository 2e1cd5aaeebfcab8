#!/usr/bin/env bash
# Sets everything up and runs every test: the normal build, then a build without the Qt program
# (built only, no tests run), then a build with AddressSanitizer and UndefinedBehaviorSanitizer
# that also replays the fuzzing corpora, then a ThreadSanitizer build.
# usage: scripts/test.sh [--quick]   (--quick: the normal build only)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

run_ctest() {
    ctest --test-dir "$1" --output-on-failure --parallel "$jobs" --timeout 600
}

"$source_dir/scripts/setup.sh" "$source_dir/build" -DPIXHAVEN_WERROR=ON
run_ctest "$source_dir/build"

if [ "${1:-}" != "--quick" ]; then
    # Without Qt: the libraries, tools and benchmarks that must never need it still build. The
    # tests are the normal build's, so they are left out here, and a debug build compiles fastest.
    "$source_dir/scripts/setup.sh" "$source_dir/build-headless" -DCMAKE_BUILD_TYPE=Debug \
        -DPIXHAVEN_GUI=OFF -DPIXHAVEN_TESTS=OFF -DPIXHAVEN_WERROR=ON

    CC=clang CXX=clang++ "$source_dir/scripts/setup.sh" "$source_dir/build-sanitize" \
        -DCMAKE_BUILD_TYPE=Debug -DPIXHAVEN_SANITIZE=ON -DPIXHAVEN_FUZZ=ON -DPIXHAVEN_BENCH=OFF \
        -DPIXHAVEN_WERROR=ON
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_ctest "$source_dir/build-sanitize"

    # Debian's Qt is not built for ThreadSanitizer: the suppressions say how that is handled.
    export TSAN_OPTIONS="suppressions=$source_dir/cmake/tsan-suppressions.txt halt_on_error=1"
    CC=clang CXX=clang++ "$source_dir/scripts/setup.sh" "$source_dir/build-tsan" \
        -DCMAKE_BUILD_TYPE=Debug -DPIXHAVEN_TSAN=ON -DPIXHAVEN_BENCH=OFF -DPIXHAVEN_WERROR=ON
    run_ctest "$source_dir/build-tsan"
fi
