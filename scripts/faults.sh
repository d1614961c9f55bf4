#!/usr/bin/env bash
# Usage: scripts/faults.sh [tamsel|Ironvale]   every run of both programs, or of the one named
#        scripts/faults.sh SCENARIO N MODE     one run again, as a failed run names it
# The fault runs (tests/faults/): each scenario of a program's fault variant with its 1st
# fallible call refused, then its 2nd, ... until a run no longer reaches N, once with only call
# N refused and once with call N and every later one (modes "once" and "onward"). Builds the
# windows preset and runs them under Wine in a prefix of their own. Prints one line per scenario
# and mode, and for every failed run the scenario, N and mode that repeat it; ends with one line
# "N passed, N failed" that counts runs.
#
# Sourced (by scripts/test.sh), it only defines run_fault_layer and what that needs.

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

FAULT_SCENARIOS_tamsel=(first-save later-set first-close)
FAULT_SCENARIOS_Ironvale=(link-ok link-cancel no-argument refused-link empty-game standard-user)
# The test command's sample: of each scenario and mode, the run without faults and this many
# with call N refused, N spread evenly up to the last.
FAULT_SAMPLE=4

# Runs the given runs ("all", "sample:COUNT" or one N) of a scenario in one mode; adds the runs
# to fault_passed and fault_failed.
run_fault_scenario() {
    local scenario=$1 mode=$2 which=$3 log summary runs bad
    log="$ROOT/build/logs/faults-$scenario-$mode.log"
    mkdir -p "$ROOT/build/logs"
    # Output goes to a file, never a pipe (see prepare_wine_prefix). Wine's own messages go to
    # stderr, kept apart: they needn't end their lines.
    wine "$ROOT/build/windows/bin/fault_driver.exe" "$scenario" "$mode" "$which" \
        </dev/null >"$log" 2>"${log%.log}.wine.log" || true
    summary=$(grep -E "^$scenario $mode: [0-9]+ runs" "$log" | tail -n 1 || true)
    if [ -z "$summary" ]; then
        cat "$log"
        echo "$scenario $mode: no summary (log: $log)"
        fault_failed=$((fault_failed + 1))
        return
    fi
    echo "$summary"
    grep -E "^RETRIED " "$log" | sed 's/^/  /' || true
    grep -E "^FAILED " "$log" | while read -r _ name n how reason; do
        echo "  failed: $name $n ${how%:} $reason"
        echo "    repeat: bash scripts/faults.sh $name $n ${how%:}"
    done || true
    runs=$(sed -E 's/.*: ([0-9]+) runs.*/\1/' <<<"$summary")
    bad=$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$summary")
    fault_passed=$((fault_passed + runs - bad))
    fault_failed=$((fault_failed + bad))
}

# The test layer: the sample of every scenario in both modes; adds to passed and failed.
run_fault_layer() {
    local program scenario mode scenarios
    fault_passed=0 fault_failed=0
    for program in tamsel Ironvale; do
        scenarios="FAULT_SCENARIOS_$program[@]"
        for scenario in "${!scenarios}"; do
            for mode in once onward; do
                run_fault_scenario "$scenario" "$mode" "sample:$FAULT_SAMPLE"
            done
        done
    done
    echo "faults: $fault_passed passed, $fault_failed failed"
    passed=$((passed + fault_passed))
    failed=$((failed + fault_failed))
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    set -euo pipefail
    cd "$ROOT"
    install_packages
    build_preset windows
    trap 'stop_wine; stop_virtual_display' EXIT
    start_virtual_display
    prepare_wine_prefix "$ROOT/build/wineprefix-faults"
    start_session_keeper
    fault_passed=0 fault_failed=0
    start=$SECONDS
    if [ $# -eq 3 ]; then
        run_fault_scenario "$1" "$3" "$2"
    else
        for program in ${1:-tamsel Ironvale}; do
            scenarios="FAULT_SCENARIOS_$program[@]"
            for scenario in "${!scenarios}"; do
                for mode in once onward; do
                    run_fault_scenario "$scenario" "$mode" all
                done
            done
        done
    fi
    echo "faults: $((SECONDS - start)) s"
    echo "$fault_passed passed, $fault_failed failed"
    [ "$fault_failed" -eq 0 ]
fi
