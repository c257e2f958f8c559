#!/usr/bin/env bash
# Renders every window to PNG (offscreen) into docs/screenshots/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DVORLANX_TESTS=OFF
cmake --build build -j "$(nproc)" --target vorlanx_screenshot
QT_QPA_PLATFORM=offscreen build/vorlanx_screenshot "${1:-docs/screenshots}" tests/data/http_exchange_lo.pcap
