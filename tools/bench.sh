#!/usr/bin/env bash
# Builds the benchmarks optimised, without sanitizers, and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
    -DVORLANX_TESTS=OFF -DVORLANX_BENCH=ON
cmake --build build-bench -j "$(nproc)"
for b in build-bench/bench/*_bench; do
    [ -x "$b" ] && "$b" "$@"
done
