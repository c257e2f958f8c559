#!/usr/bin/env bash
# Builds the whole project with AddressSanitizer and UBSan (clang, so the libFuzzer targets
# build too) and runs every test: unit tests, window tests on the offscreen platform, live
# capture on loopback (as root) and short fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

build=${VORLANX_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
    -DCMAKE_CXX_COMPILER=clang++ -DVORLANX_WERROR=ON \
    -DVORLANX_SANITIZE=ON -DVORLANX_FUZZ=ON -DVORLANX_BENCH=ON -DVORLANX_TESTS=ON
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
