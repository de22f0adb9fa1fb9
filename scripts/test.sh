#!/usr/bin/env bash
# Builds everything and runs every test. With --sanitize the build uses
# AddressSanitizer and UndefinedBehaviorSanitizer (in its own build folder).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DMORVANTA_SANITIZE=ON -DMORVANTA_BUILD_BENCH=OFF)
fi
jobs=$(nproc 2>/dev/null || echo 2)
suppressions="$PWD/scripts/lsan.supp"

cmake -S . -B "$build" "${flags[@]}"
cmake --build "$build" -j"$jobs"
cd "$build"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$suppressions:print_suppressions=0}
ctest --output-on-failure -j"$jobs"
