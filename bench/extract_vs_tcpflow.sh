#!/usr/bin/env bash
# File Mode's engine over a large capture file, measured against tcpflow's HTTP extraction.
#
#   bench/extract_vs_tcpflow.sh [BYTES]      (default 550000000)
#
# Builds vorlanx-cli and make_http_capture optimised (build-bench-release), installs tcpflow
# when missing (it is only the yardstick), and generates the capture once into the cache
# folder (${VORLANX_BENCH_CACHE:-~/.cache/vorlanx-bench}; a capture of the same size, seed
# and generator is reused). Then, on the same file, with the page cache warm for both:
#   vorlanx-cli extract FILE -o DIR --quiet
#   tcpflow -r FILE -e http -o DIR
# each RUNS times (default 3) into a fresh empty directory, under /usr/bin/time -v. Reports
# the capture size, the median wall time, the throughput, the largest peak RSS of each, the
# ratio, and checks extract's files against the manifest (bench/check_bodies.py): every 200
# and 206 body exactly once, no file incomplete.
#
# Environment: SEED (default 1), RUNS (default 3), VORLANX_BENCH_CACHE.
# Exit status: 0 when the body check passes, 1 when it fails or a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bytes=${1:-550000000}
seed=${SEED:-1}
runs=${RUNS:-3}
build="build-bench-release"
cache=${VORLANX_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vorlanx-bench}
if ! [[ $bytes =~ ^[1-9][0-9]*$ && $seed =~ ^[0-9]+$ && $runs =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [BYTES]   (BYTES, SEED and RUNS are whole numbers)" >&2
    exit 1
fi

# tcpflow, and GNU time for the peak resident set size.
need=()
command -v tcpflow >/dev/null || need+=(tcpflow)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    echo "Installing: ${need[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
    -DVORLANX_TESTS=OFF -DVORLANX_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target vorlanx-cli make_http_capture

# The capture, named by size, seed and the generator's source, written beside its final
# name and renamed once whole.
mkdir -p "$cache"
generator=$(sha256sum bench/make_http_capture.cpp | cut -c1-12)
stem="$cache/http-$bytes-seed$seed-$generator"
capture="$stem.pcap"
manifest="$stem.tsv"
if [ -s "$capture" ] && [ -s "$manifest" ] && [ "$(stat -c %s "$capture")" -ge "$bytes" ]; then
    echo "Capture: $capture (cached)"
else
    echo "Generating $capture ..."
    "$build/bench/make_http_capture" --bytes "$bytes" --seed "$seed" \
        --out "$capture.part" --manifest "$manifest.part"
    mv "$manifest.part" "$manifest"
    mv "$capture.part" "$capture"
fi
capture_bytes=$(stat -c %s "$capture")

# OUT_DIR: where both tools write (default $TMPDIR or /tmp); /dev/shm takes the disk's
# write-back, which dominates on a busy machine, out of both figures.
work=$(mktemp -d "${OUT_DIR:-${TMPDIR:-/tmp}}/vorlanx-extract-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cat "$capture" >/dev/null  # both tools start with the file in the page cache

# measure NAME COMMAND...: RUNS runs, each into an empty $work/NAME (the command's "{}"
# stands for it); writes "<median wall s> <largest peak RSS KiB>" to $work/NAME.result. The
# output of the last run stays.
measure() {
    local name=$1
    shift
    local out="$work/$name" walls=() cpus=() peak=0
    for ((i = 1; i <= runs; i++)); do
        rm -rf "$out"
        mkdir -p "$out"
        local args=("${@//\{\}/$out}")
        if ! /usr/bin/time -v -o "$work/$name.time" "${args[@]}" >"$work/$name.log" 2>&1; then
            echo "$name failed (run $i):" >&2
            tail -n 20 "$work/$name.log" >&2
            return 1
        fi
        local wall rss cpu
        wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {
                   n = split($2, p, ":"); s = 0
                   for (j = 1; j <= n; j++) s = s * 60 + p[j]
                   print s }' "$work/$name.time")
        rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/$name.time")
        cpu=$(awk -F': ' '/(User|System) time \(seconds\)/ {s += $2} END {print s}' "$work/$name.time")
        walls+=("$wall")
        cpus+=("$cpu")
        if ((rss > peak)); then peak=$rss; fi
        echo "  $name run $i: ${wall} s, CPU ${cpu} s, peak RSS $((rss / 1024)) MiB"
    done
    local median cpu_median
    median=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}')
    cpu_median=$(printf '%s\n' "${cpus[@]}" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}')
    echo "$median $peak $cpu_median" >"$work/$name.result"
}

cli="$build/vorlanx-cli"
have_extract=1
if ! "$cli" --help 2>/dev/null | grep -q "vorlanx-cli extract"; then
    have_extract=0
    echo "vorlanx-cli has no extract command yet (this tree's cli/ lacks it): only tcpflow" \
         "is measured and the body check is skipped." >&2
fi

echo "Measuring on $capture ($((capture_bytes / 1000000)) MB), $runs runs each ..."
measure tcpflow tcpflow -r "$capture" -e http -o "{}"
read -r tcpflow_wall tcpflow_rss tcpflow_cpu <"$work/tcpflow.result"
if [ $have_extract -eq 1 ]; then
    measure extract "$cli" extract "$capture" -o "{}" --quiet
    read -r extract_wall extract_rss extract_cpu <"$work/extract.result"
fi

row() {  # name wall rss cpu
    awk -v name="$1" -v wall="$2" -v rss="$3" -v cpu="$4" -v bytes="$capture_bytes" 'BEGIN {
        printf "%-22s %9.2f s %9.1f MB/s %9.0f MiB %9.2f s\n", name, wall, bytes / 1e6 / wall,
               rss / 1024, cpu }'
}
echo
echo "Capture: $((capture_bytes / 1000000)) MB ($capture_bytes bytes), seed $seed; median of $runs runs"
printf '%-22s %11s %14s %13s %11s\n' "" "wall" "throughput" "peak RSS" "CPU"
[ $have_extract -eq 1 ] && row "vorlanx-cli extract" "$extract_wall" "$extract_rss" "$extract_cpu"
row "tcpflow -e http" "$tcpflow_wall" "$tcpflow_rss" "$tcpflow_cpu"
if [ $have_extract -eq 0 ]; then
    echo "extract: not available; nothing to check."
    exit 1
fi
awk -v ew="$extract_wall" -v tw="$tcpflow_wall" -v er="$extract_rss" -v tr="$tcpflow_rss" \
    -v ec="$extract_cpu" -v tc="$tcpflow_cpu" 'BEGIN {
    printf "Ratio extract / tcpflow: wall %.2f, CPU %.2f, peak RSS %.2f\n", ew / tw, ec / tc, er / tr }'

echo
echo "Body check of extract's files:"
python3 bench/check_bodies.py "$work/extract" "$manifest"
