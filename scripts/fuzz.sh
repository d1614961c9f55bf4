#!/usr/bin/env bash
# Usage: scripts/fuzz.sh [SECONDS] [libFuzzer flags...]
# Builds the fuzz preset and runs every libFuzzer target for SECONDS each (default 20; 0 means
# no time limit, e.g. with -runs=10000000), one after the other, from the committed seeds in
# fuzz/corpus/<target>/. New inputs go to a scratch corpus in build/fuzz-corpus/<target>/, never
# into fuzz/corpus/; an input that fails goes to build/fuzz-findings/. Prints one line per
# target and exits non-zero on any finding.
#
# Sourced (by scripts/test.sh), it only defines run_fuzz_layer and what that needs.

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

FUZZ_TARGETS=(launch settings_value registry_value)

# Runs one target; prints "fuzz_NAME: R runs, E exec/s, corpus C, RESULT". Non-zero on a finding.
run_fuzz_target() {
    local name=$1 seconds=$2
    shift 2
    local scratch="$ROOT/build/fuzz-corpus/$name" findings="$ROOT/build/fuzz-findings"
    local log="$ROOT/build/logs/fuzz_$name.log" status=0
    mkdir -p "$scratch" "$findings" "$ROOT/build/logs"
    "$ROOT/build/fuzz/bin/fuzz_$name" -max_total_time="$seconds" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$findings/$name-" "$@" \
        "$scratch" "$ROOT/fuzz/corpus/$name" >"$log" 2>&1 || status=$?
    local runs rate corpus unit result="no findings"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    corpus=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -n 1 | cut -d' ' -f2 || true)
    if [ "$status" -ne 0 ]; then
        unit=$(sed -n 's/.*Test unit written to //p' "$log" | tail -n 1)
        result="FINDING (exit $status) ${unit:-no input saved}, see $log"
    fi
    echo "fuzz_$name: ${runs:-?} runs, ${rate:-?} exec/s, corpus ${corpus:-?}, $result"
    return "$status"
}

# The test layer: a short run of every target, one test each; adds to passed and failed.
run_fuzz_layer() {
    local seconds=$1 ok=0 bad=0 name
    if ! build_preset fuzz; then
        echo "fuzz: the fuzz preset does not build" >&2
        failed=$((failed + ${#FUZZ_TARGETS[@]}))
        return
    fi
    for name in "${FUZZ_TARGETS[@]}"; do
        if run_fuzz_target "$name" "$seconds"; then
            ok=$((ok + 1))
        else
            bad=$((bad + 1))
        fi
    done
    echo "fuzz: $ok passed, $bad failed"
    passed=$((passed + ok))
    failed=$((failed + bad))
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    set -euo pipefail
    seconds=${1:-20}
    shift || true
    PACKAGES=(cmake make clang libclang-rt-14-dev)
    install_packages
    build_preset fuzz
    findings=0
    for name in "${FUZZ_TARGETS[@]}"; do
        run_fuzz_target "$name" "$seconds" "$@" || findings=$((findings + 1))
    done
    [ "$findings" -eq 0 ]
fi
