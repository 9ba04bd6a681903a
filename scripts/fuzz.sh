#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang in build-fuzz/ and runs them.
#
#   scripts/fuzz.sh smoke                      each target over its committed
#                                              corpus, then 30 s of fuzzing
#   scripts/fuzz.sh run TARGET RUNS [WORKERS]  RUNS executions in all, shared
#                                              by WORKERS processes (default 1)
#
# TARGET is tmx, database, events or config. A long run keeps its corpus,
# logs and any crash, hang or leak input in build-fuzz/runs/TARGET/; the
# committed corpus (fuzz/corpus/TARGET) is only read.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
targets="tmx database events config"

CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVEMRA_FUZZ=ON -DVEMRA_TESTS=OFF -DVEMRA_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null

export G_SLICE=always-malloc
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp

# A Lua script that runs long is stopped by the targets' own sandbox; an
# input that still takes 10 s is a hang. Nothing is read from the terminal.
fuzz_flags=(-timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1)

run_target() { # target, output folder, extra flags...
    local target=$1 out=$2
    shift 2
    mkdir -p "$out/corpus"
    "$root/build-fuzz/fuzz/fuzz_$target" "${fuzz_flags[@]}" -dict="$root/fuzz/dict/$target.dict" \
        -artifact_prefix="$out/" "$@" "$out/corpus" "$root/fuzz/corpus/$target" </dev/null
}

case "${1:-}" in
smoke)
    status=0
    for target in $targets; do
        out=$(mktemp -d)
        if run_target "$target" "$out" -max_total_time=30 >"$out/log" 2>&1; then
            echo "Fuzz smoke run of $target: $(grep -o 'Done [0-9]* runs' "$out/log"), no fault."
        else
            echo "Fuzz smoke run of $target: FAILED"
            tail -n 60 "$out/log"
            status=1
        fi
        rm -rf "$out"
    done
    exit "$status"
    ;;
run)
    target=${2:?target}
    runs=${3:?runs}
    workers=${4:-1}
    out=$root/build-fuzz/runs/$target
    mkdir -p "$out"
    pids=()
    for w in $(seq 1 "$workers"); do
        run_target "$target" "$out" -runs=$(( (runs + workers - 1) / workers )) >"$out/worker-$w.log" 2>&1 &
        pids+=($!)
    done
    status=0
    for pid in "${pids[@]}"; do
        wait "$pid" || status=1
    done
    total=0
    for w in $(seq 1 "$workers"); do
        n=$(grep -o 'Done [0-9]* runs' "$out/worker-$w.log" | grep -o '[0-9]*' || echo 0)
        total=$((total + n))
    done
    echo "Fuzz run of $target: $total executions by $workers workers; status $status."
    exit "$status"
    ;;
*)
    sed -n '2,12p' "$0"
    exit 2
    ;;
esac
