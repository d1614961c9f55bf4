#!/usr/bin/env bash
# The leak tests (tests/win32/leak_test.cpp) at soak strength: every registry routine 10,000
# times and the language tool's two windows 1,000 times in one process, ten times the rounds of
# the test command. Builds the windows preset and runs only those tests under Wine, in a prefix
# of their own set up like scripts/test.sh's; prints each routine's counts before and after and
# ends with one line "N passed, N failed". ROUNDS (default 10000) sets the registry rounds.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

install_packages
build_preset windows

mkdir -p build/logs
trap 'stop_wine; stop_virtual_display' EXIT
start_virtual_display
prepare_wine_prefix "$ROOT/build/wineprefix-soak"
start_session_keeper
export VANTOLINE_SOAK_ROUNDS=${ROUNDS:-10000}

# Straight through the test program, without ctest's time limit per test. Output goes to a
# file, never a pipe (see prepare_wine_prefix).
log=build/logs/soak.log
start=$SECONDS
wine build/windows/bin/win32_tests.exe --gtest_filter='NoLeaks.*' >"$log" 2>&1 || true
passed=$(grep -cE '^\[ +OK \] NoLeaks\.' "$log" || true)
failed=$(grep -cE '^\[  FAILED  \] NoLeaks\.[A-Za-z]+ \(' "$log" || true)
if [ "$passed" -gt 0 ] && [ "$failed" -eq 0 ]; then
    grep -E 'rounds: handles|^\[ +OK \] NoLeaks\.' "$log"
else
    cat "$log" # the failures with their reasons
fi
echo "soak with VANTOLINE_SOAK_ROUNDS=$VANTOLINE_SOAK_ROUNDS: $((SECONDS - start)) s (log: $log)"
echo "$passed passed, $failed failed"
[ "$passed" -gt 0 ] && [ "$failed" -eq 0 ]
