#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the tests and the program need and this
# machine lacks. Debian 12; run as root or as a user who may sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache
    clang libclang-rt-14-dev          # the test build: sanitizers and libFuzzer
    qt6-base-dev libgl-dev            # Qt 6 Widgets and Qt Test
    libgtest-dev libgmock-dev libbenchmark-dev
    libpcap-dev                       # capture files
    zlib1g-dev                        # benchmarks: gzip bodies of the generated HTTP capture
    libasound2-dev                    # new-packet sound: wave files and the tone tune
    libcap2-bin                       # setcap: capture permission for the executable
    desktop-file-utils                # desktop-file-validate: the installer's entries
    python3 curl iproute2             # loopback end-to-end tests: a real server and client
    hyperfine tcpdump                 # benchmarks: timing, and the capture baseline
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
