#!/usr/bin/env bash
# Usage: scripts/windows-kit.sh [RELEASE_ZIP]
# Builds the kit that runs our checks on a real Windows: build/windows-kit/vantoline-checks-
# <version>.zip, whose path it prints on its last line. At the zip's top: run-checks.cmd,
# README.txt and the two programs exactly as the release zip of this commit holds them
# (scripts/release.sh builds it, from a clean tree only); in checks/ the test programs of the
# windows preset, the runner (tests/kit/run_checks.cpp) with its plan, and in checks/signing/
# the signed copies that the signature test checks, made here (osslsigncode is on this machine,
# not on the tester's).
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/faults.sh" # the fault runs' sample: the same as the test command's
cd "$ROOT"

install_packages
# The release zip of this commit: built here, or given (scripts/test.sh zips the programs that
# its layers tested and compares them with the release test's zip afterwards).
release_zip=${1:-}
if [ -z "$release_zip" ]; then
    bash scripts/release.sh
    release_zip=$(ls build/release/vantoline-tools-*.zip)
fi
build_preset windows
version=$(cat build/windows/release/VERSION)

out=build/windows-kit
stage=$out/stage
rm -rf "$out"
mkdir -p "$stage/checks"
unzip -q "$release_zip" tamsel.exe Ironvale.exe -d "$stage"
bin=build/windows/bin
for program in win32_tests signature_tests e2e_tests fault_driver tamsel_faults \
    Ironvale_faults hl2_standin run_checks; do
    cp "$bin/$program.exe" "$stage/checks/"
done
bash tests/win32/sign_copies.sh "$stage/checks/signing" "$bin/tamsel.exe" "$bin/Ironvale.exe"
# Only the root's certificate goes along: the key that signed the copies stays here.
find "$stage/checks/signing/cert" -type f ! -name ca.cer -delete

# The runner's plan, in the order it runs the checks. The ctest tests that are no GoogleTest
# case need the build machine; each is listed with the reason.
{
    echo "kit vantoline-checks-$version (commit $(git rev-parse --short HEAD))"
    printf 'gtest %s\n' win32_tests signature_tests e2e_tests
    for program in tamsel Ironvale; do
        scenarios="FAULT_SCENARIOS_$program[@]"
        for scenario in "${!scenarios}"; do
            printf "fault $scenario %s sample:$FAULT_SAMPLE\n" once onward
        done
    done
    echo "skip SignedCopies needs bash, openssl and osslsigncode; the kit carries the copies" \
        "it made (checks\\signing)"
    for program in tamsel Ironvale; do
        echo "skip DllSearch.$program needs bash and Wine's relay trace of the program's calls"
    done
} >"$stage/checks/plan.txt"
# Windows' own line ends for what a tester opens or cmd.exe reads.
sed 's/$/\r/' tests/kit/run-checks.cmd >"$stage/run-checks.cmd"
sed 's/$/\r/' tests/kit/README.txt >"$stage/README.txt"

zip="$out/vantoline-checks-$version.zip"
(cd "$stage" && zip -q -X -r "$ROOT/$zip" run-checks.cmd README.txt tamsel.exe Ironvale.exe checks)
echo "$zip"
