#!/usr/bin/env bash
# Runs the whole test suite: the normal build under CTest, then the engine's
# bad-input and concurrency suites again under AddressSanitizer/UBSan and
# ThreadSanitizer, and a short fuzzing run of the patch reader.
#   ./test.sh            everything
#   ./test.sh --quick    only the normal build
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)

if [ ! -d build ]; then
    echo "No build/ directory: run ./setup.sh first." >&2
    exit 1
fi
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure --timeout 600 -j "$jobs"

[ "${1:-}" = "--quick" ] && exit 0

echo "== AddressSanitizer + UBSan =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTM_SANITIZE=address -DTM_GUI=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure --timeout 600 -j "$jobs" -L 'sanitize|concurrency'

echo "== ThreadSanitizer =="
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTM_SANITIZE=thread -DTM_GUI=OFF >/dev/null
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure --timeout 600 -j "$jobs" -L concurrency

echo "== Fuzzing smoke run (clang, libFuzzer) =="
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTM_FUZZ=ON -DTM_GUI=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_patch_reader
ctest --test-dir build-fuzz --output-on-failure --timeout 600 -L fuzz
