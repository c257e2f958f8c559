#!/usr/bin/env bash
# Builds the program and starts it in Packet Mode. Capturing needs CAP_NET_RAW: the
# executable gets it with setcap (or the program runs as root).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DVORLANX_TESTS=OFF
cmake --build build -j "$(nproc)"

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" setcap cap_net_raw+ep build/vorlanx || echo "setcap failed: capture needs root"
exec build/vorlanx -noinstall -packet_mode "$@"
