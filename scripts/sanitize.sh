#!/usr/bin/env bash
# The sanitized configuration: builds the core, the unzip library, tabula-cli,
# their tests and the fuzz targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, runs those tests in it and each
# fuzz target for FUZZ_SECONDS (30 by default) from its seeds; then the scan's
# tests under ThreadSanitizer in build-tsan/ (the core alone, many workers on
# many files).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
seconds=${FUZZ_SECONDS:-30}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTABULA_FUZZ=ON -DTABULA_BUILD_GUI=OFF -DTABULA_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build build-fuzz
# A report of either sanitizer fails the test that met it. A failed test runs
# once more: the leak checker's own tracer now and then crashes at exit under
# load ("Tracer caught signal 11") after the test passed, while a real report
# comes back the second time.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build-fuzz --output-on-failure -j2 --repeat until-pass:2 "$@"

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTABULA_TSAN=ON -DTABULA_BUILD_GUI=OFF >/dev/null
cmake --build build-tsan --target tabula_scan_thread_tests unziplib
ctest --test-dir build-tsan --output-on-failure -L tsan
