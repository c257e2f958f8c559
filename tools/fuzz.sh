#!/usr/bin/env bash
# The fuzz campaign: builds every libFuzzer target (clang, AddressSanitizer and UBSan, in its
# own build folder), runs each for EXECS executions (default 10,000,000) from a copy of its
# seeds and regression inputs, one target per core at a time, and prints per target the
# executions, final coverage, corpus size and findings. Findings (crash-*, leak-*,
# timeout-*, oom-*) go to fuzz/findings/<target>/; earlier ones there are kept.
# Exits 1 when a run found anything or did not finish.
#
#   tools/fuzz.sh [EXECS]
#   VORLANX_FUZZ_BUILD_DIR  build folder (build-fuzz-campaign)
#   VORLANX_FUZZ_JOBS       targets run at once (the number of cores)
#   VORLANX_FUZZ_SECONDS    optional time limit per target
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
execs=${1:-10000000}
[[ $execs =~ ^[0-9]+$ ]] || { echo "usage: $0 [EXECS]" >&2; exit 2; }
tools/install-deps.sh

build=${VORLANX_FUZZ_BUILD_DIR:-build-fuzz-campaign}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
    -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" -DVORLANX_WERROR=ON \
    -DVORLANX_SANITIZE=ON -DVORLANX_FUZZ=ON -DVORLANX_BENCH=OFF -DVORLANX_TESTS=OFF >/dev/null

targets=()
for src in fuzz/*_fuzz.cpp; do
    name=$(basename "$src" .cpp)
    targets+=("${name%_fuzz}")
done
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzz}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

runs=$root/$build/fuzz-campaign
rm -rf "$runs"
mkdir -p "$runs"
touch "$runs/.start"
limit=()
[ -n "${VORLANX_FUZZ_SECONDS:-}" ] && limit=(-max_total_time="$VORLANX_FUZZ_SECONDS")

run_target() {
    local target=$1
    local corpus=$runs/$target/corpus findings=$root/fuzz/findings/$target
    mkdir -p "$corpus" "$findings"
    # The working corpus grows; the seeds in git stay as they are.
    for kind in corpus regressions; do
        [ -d "fuzz/$kind/$target" ] && cp -r "fuzz/$kind/$target/." "$corpus/"
    done
    "$root/$build/fuzz/${target}_fuzz" -runs="$execs" "${limit[@]}" -max_len=70000 \
        -timeout=25 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" >"$runs/$target.log" 2>&1
}

jobs=${VORLANX_FUZZ_JOBS:-$(nproc)}
declare -A status
pids=()
for target in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        wait -n || true
    done
    echo "fuzzing $target ($execs executions)"
    ( run_target "$target"; echo $? >"$runs/$target.rc" ) &
    pids+=($!)
done
for pid in "${pids[@]}"; do
    wait "$pid" || true
done

failed=0
printf '\n%-18s %12s %8s %8s %8s %10s %9s\n' target executions cov ft corpus "corpus KB" findings
for target in "${targets[@]}"; do
    log=$runs/$target.log
    # The last status line (INITED, NEW, REDUCE, pulse, DONE) carries the final coverage.
    last=$(grep -E '^#[0-9]+[[:space:]]+[A-Z]+[[:space:]]+cov: ' "$log" | tail -n 1 || true)
    cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
    ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
    done_execs=$(sed -nE 's/^stat::number_of_executed_units: ([0-9]+)/\1/p' "$log" | tail -n 1)
    corpus_files=$(find "$runs/$target/corpus" -type f | wc -l)
    corpus_kb=$(find "$runs/$target/corpus" -type f -printf '%s\n' |
        awk '{ s += $1 } END { printf "%d", (s + 1023) / 1024 }')
    found=$(find "fuzz/findings/$target" -type f -newer "$runs/.start" \
        \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    rc=$(cat "$runs/$target.rc" 2>/dev/null || echo 1)
    [ "$found" -eq 0 ] && [ "$rc" -eq 0 ] || failed=1
    printf '%-18s %12s %8s %8s %8s %10s %9s\n' "$target" "${done_execs:-?}" "${cov:-?}" \
        "${ft:-?}" "$corpus_files" "$corpus_kb" "$found$([ "$rc" -eq 0 ] || echo " (rc $rc)")"
done
echo "logs: $runs/<target>.log; findings: fuzz/findings/<target>/"
exit "$failed"
