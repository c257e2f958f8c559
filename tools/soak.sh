#!/usr/bin/env bash
# The soak: the real Packet Mode and File Mode windows, offscreen, kept under load on the
# loopback interface for MINUTES each (default 10). Builds the driver (clang,
# AddressSanitizer and UBSan, in its own build folder) and runs it as root, since it
# captures live on 127.0.0.1.
#
#   Phase 1: two threads flood a closed UDP port on 127.0.0.1 (every datagram is answered
#   by the kernel with an ICMP port-unreachable); the Packet Mode window fills its store
#   to the 1,000,000-item limit, Clear, Start again, for MINUTES.
#   Phase 2: an HTTP server on 127.0.0.77 and two clients fetching bodies of varied sizes
#   (Content-Length and chunked); the File Mode window writes them into a temporary folder
#   and every file is checked byte for byte against the body served.
#
# Prints a line per Packet Mode cycle and a table at the end. Exits 1 on a crash, any
# sanitizer report, a hang (no progress for 30 s), memory after Clear that keeps growing
# across the cycles (tools/soak/memory_rule.h), a file that is not what was served (one
# cut short passes only when the capture lost datagrams), or anything else the driver
# finds wrong.
#
#   tools/soak.sh [MINUTES]
#   VORLANX_SOAK_SECONDS       seconds per phase instead (fractions allowed; for a quick try)
#   VORLANX_SOAK_BUILD_DIR     build folder (build-soak)
#   VORLANX_SOAK_HANG_SECONDS  seconds without progress that count as a hang (30)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
minutes=${1:-10}
[[ $minutes =~ ^[0-9]+([.][0-9]+)?$ ]] || { echo "usage: $0 [MINUTES]" >&2; exit 2; }
seconds=${VORLANX_SOAK_SECONDS:-$(awk -v m="$minutes" 'BEGIN { print m * 60 }')}
if [ "$(id -u)" -ne 0 ]; then
    echo "the soak captures live on 127.0.0.1: run it as root (it needs CAP_NET_RAW)" >&2
    exit 1
fi
tools/install-deps.sh

build=${VORLANX_SOAK_BUILD_DIR:-build-soak}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
    -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" -DVORLANX_WERROR=ON \
    -DVORLANX_SANITIZE=ON -DVORLANX_FUZZ=OFF -DVORLANX_BENCH=OFF -DVORLANX_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target vorlanx_soak

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen

log=$root/$build/soak.log
# A backstop beyond the driver's own watchdog: twice the planned time and ten minutes more.
limit=$(awk -v s="$seconds" 'BEGIN { printf "%d", 2 * 2 * s + 600 }')
echo "soak: ${seconds} s a phase; log $log"
set +e
timeout -k 10 "$limit" "$build/vorlanx_soak" "$seconds" 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
set -e

reports=$(grep -cE 'ERROR: (Address|Leak)Sanitizer|runtime error: ' "$log" || true)
if [ "$reports" -gt 0 ]; then
    echo "soak: FAILED, $reports sanitizer report(s):"
    grep -E 'ERROR: (Address|Leak)Sanitizer|runtime error: |SUMMARY: ' "$log" | head -n 20
    exit 1
fi
case $rc in
    0) echo "soak: passed" ;;
    1) echo "soak: FAILED (see the SOAK FAIL lines above)" ;;
    3) echo "soak: FAILED, hang: $(grep -m1 'SOAK HANG' "$log")" ;;
    124 | 137) echo "soak: FAILED, still running after $limit s" ;;
    *) echo "soak: FAILED, the driver ended with status $rc$([ "$rc" -gt 128 ] &&
        echo " (signal $((rc - 128)), a crash)")" ;;
esac
[ "$rc" -eq 0 ] || exit 1
