#!/usr/bin/env bash
# The kit for a real Windows, as a tester meets it, under Wine: unzipped into a prefix whose user
# has a Steam language and another program's ivl registration (in both halves of the classes),
# then run with `wine cmd /c run-checks.cmd`; once more with a broken Ironvale.exe. Each run has
# to put the seeded keys back exactly and leave nothing in %TEMP%. In between, the copy that a
# run ended hard leaves: one the kit can't trust stops the next run and stays as it is.
#   bash tests/kit/kit_test.sh runs KIT.zip CASES
# CASES: how many tests the Win32 and end-to-end layers of the test command have. WINEPREFIX: a
# fresh prefix of the test's own; DISPLAY: a display for it.
#   bash tests/kit/kit_test.sh programs KIT.zip RELEASE.zip
# The kit's two programs are those of the release zip, byte for byte.
# Each ends with "kit: N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() { # name, then the command that checks
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        echo "kit: FAILED: $name"
        failed=$((failed + 1))
    fi
}

if [ "$1" = programs ]; then
    same_programs() {
        unzip -q "$2" tamsel.exe Ironvale.exe -d "$work/kit" &&
            unzip -q "$3" tamsel.exe Ironvale.exe -d "$work/release" &&
            cmp "$work/release/tamsel.exe" "$work/kit/tamsel.exe" &&
            cmp "$work/release/Ironvale.exe" "$work/kit/Ironvale.exe"
    }
    check "the kit's programs are the release zip's" same_programs "$@"
    echo "kit: $passed passed, $failed failed"
    exit "$failed"
fi
kit_zip=$(realpath "$2") cases=$3

# Where a tester would unzip it, blanks in the path.
kit_win='C:\Tester kit\vantoline checks'
kit=$(winepath -u "$kit_win" 2>/dev/null)
temp=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)
mkdir -p "$kit" "$temp"
unzip -q "$kit_zip" -d "$kit"
sed 's/$/\r/' "$here/seed.reg" >"$work/seed.reg"
wine reg import "$(winepath -w "$work/seed.reg")" >"$work/import.log" 2>&1

keys=('HKCU\Software\Valve\Steam' 'HKCU\Software\Classes\ivl' 'HKLM\Software\Classes\ivl')
export_keys() { # to folder $1
    local i
    mkdir -p "$1"
    for i in "${!keys[@]}"; do
        wine reg export "${keys[$i]}" "$(winepath -w "$1")\\$i.reg" /y >/dev/null 2>&1 ||
            echo absent >"$1/$i.reg"
    done
    ls -A "$temp" >"$1/temp.txt"
}
export_keys "$work/seeded"
grep -q '"Language"="polish"' <(iconv -f utf-16 -t utf-8 "$work/seeded/0.reg") || {
    echo "kit: the seeded values are not in the prefix; reg import said:"
    cat "$work/import.log"
    exit 1
}

# The seeded keys and %TEMP% as before the run, and nothing of the run left in the kit.
as_before() { # after which run
    export_keys "$work/after-$1"
    local file ok=0
    for file in 0.reg 1.reg 2.reg temp.txt; do
        cmp -s "$work/seeded/$file" "$work/after-$1/$file" || {
            echo "kit: after the $1 run, $file differs from before:"
            diff <(iconv -f utf-16 -t utf-8 "$work/seeded/$file" 2>/dev/null || cat "$work/seeded/$file") \
                <(iconv -f utf-16 -t utf-8 "$work/after-$1/$file" 2>/dev/null || cat "$work/after-$1/$file")
            ok=1
        }
    done
    ! compgen -G "$kit/run-checks-*.saved" >/dev/null ||
        { echo "kit: a saved copy left after the $1 run"; ok=1; }
    return $ok
}

# The seeded keys and %TEMP% as in folder $1, exported before.
same_keys() { # folder, name of this state
    export_keys "$work/$2"
    local file ok=0
    for file in 0.reg 1.reg 2.reg temp.txt; do
        cmp -s "$1/$file" "$work/$2/$file" || { echo "kit: $2: $file changed"; ok=1; }
    done
    return $ok
}

contents() {
    local program ok=0
    for program in e2e_tests fault_driver hl2_standin Ironvale_faults run_checks \
        signature_tests tamsel_faults win32_tests signing/tamsel.signed signing/Ironvale.changed; do
        [ -f "$kit/checks/$program.exe" ] || { echo "kit: no checks/$program.exe"; ok=1; }
    done
    # The root's certificate only: the key that signed the copies stays on the build machine.
    [ "$(ls "$kit/checks/signing/cert")" = ca.cer ] || ok=1
    [ "$(grep -c $'\r$' "$kit/run-checks.cmd")" = "$(wc -l <"$kit/run-checks.cmd")" ] || ok=1
    return $ok
}
check "the test programs and the root's certificate in checks/" contents

# What Wine itself wrote on the Unix stderr during a run, apart from the kit's lines: any Wine
# process of the run writes there, whole lines or not ("wine client error:2d0: " of a process that
# was ended while it talked to the wineserver), and the kit's lines are read from stdout.
wine_said() { # which run
    [ ! -s "$work/$1.err" ] || sed "s/^/kit: Wine during the $1 run: /" "$work/$1.err"
}

# As a tester: in the kit's folder, no arguments.
tester_run() {
    local code=0 last ok=0 gtest
    (cd "$kit" && wine cmd /c run-checks.cmd) </dev/null >"$work/tester.log" 2>"$work/tester.err" ||
        code=$?
    cat "$work/tester.log"
    wine_said tester
    last=$(tail -n 1 "$work/tester.log" | tr -d '\r')
    [[ "$last" =~ ^([0-9]+)\ passed,\ 0\ failed,\ ([0-9]+)\ skipped$ ]] || ok=1
    [ "$code" -eq 0 ] || { echo "kit: exit code $code"; ok=1; }
    # Every test of those layers ran or is a SKIP with its reason; the fault runs come on top.
    gtest=$(tr -d '\r' <"$work/tester.log" |
        sed -nE 's/^(win32_tests|signature_tests|e2e_tests|build-machine): ([0-9]+) passed, [0-9]+ failed, ([0-9]+) skipped.*/\2 \3/p' |
        awk '{ n += $1 + $2 } END { print n + 0 }')
    [ "$gtest" -ge "$cases" ] || { echo "kit: $gtest checks of the Win32 and end-to-end layers, not $cases"; ok=1; }
    grep -q '^faults: [1-9][0-9]* passed, 0 failed' <(tr -d '\r' <"$work/tester.log") || ok=1
    grep -q '^Windows: .* build [0-9]' "$kit/report.txt" || { echo "kit: no report.txt"; ok=1; }
    # For the test command: the report, the layers' lines, the screenshots.
    cp "$kit/report.txt" "$here/../../build/logs/kit-report.txt" 2>/dev/null || true
    cp "$work/tester.log" "$here/../../build/logs/kit-tester.log"
    cp "$kit"/screenshots/*.bmp "$here/../../build/screenshots/" 2>/dev/null || true
    as_before tester || ok=1
    return $ok
}
check "a tester's run passes and leaves the machine as it was" tester_run

# The copy that a run ended hard leaves (as Task Manager ends it, once it has saved), kept aside.
killed_run() {
    local job i
    (cd "$kit" && wine cmd /c run-checks.cmd e2e_tests) </dev/null >"$work/killed.log" 2>&1 &
    job=$!
    for i in $(seq 600); do
        compgen -G "$kit/run-checks-*.saved" >/dev/null && break
        sleep 0.1
    done
    wine taskkill /f /im run_checks.exe >/dev/null 2>&1
    wait "$job"
    copy=$(compgen -G "$kit/run-checks-*.saved") && cp "$copy" "$work/left.saved" &&
        export_keys "$work/killed"
}
# A copy that the kit can't trust: the run stops and says so (exit code 2), the copy stays as it
# is, and so do the keys and %TEMP%.
untrusted_copy() { # name, what the run says, the command that makes it of the left copy
    local name=$1 said=$2 code=0 ok=0
    shift 2
    cp "$work/left.saved" "$copy" && "$@"
    cp "$copy" "$work/$name.saved"
    wine cmd /c "$kit_win\\run-checks.cmd" 'e2e_tests:Ironvale.WithoutArgument*' \
        </dev/null >"$work/$name.log" 2>"$work/$name.err" || code=$?
    wine_said "$name"
    grep -q "$said" "$work/$name.log" || { cat "$work/$name.log"; ok=1; }
    [ "$code" -eq 2 ] || { echo "kit: $name: exit code $code"; ok=1; }
    cmp -s "$copy" "$work/$name.saved" || { echo "kit: $name: the copy changed"; ok=1; }
    same_keys "$work/killed" "after-$name" || ok=1
    return $ok
}
empty() { : >"$copy"; }
other() { LC_ALL=C sed -i "s/^$1 .*/$1 $2/" "$copy"; } # field, its new value
# A copy that names a folder outside %TEMP% as its run's: put back, and that folder left alone.
outside_folder() {
    local outside_win='C:\Tester kit\outside' outside left ok=0
    outside=$(winepath -u "$outside_win" 2>/dev/null)
    mkdir -p "$outside" && echo keep >"$outside/file.txt"
    left=$(LC_ALL=C sed -n 's/^folder //p' "$work/left.saved")
    cp "$work/left.saved" "$copy" && other folder "${outside_win//\\/\\\\}"
    wine cmd /c "$kit_win\\run-checks.cmd" 'e2e_tests:Ironvale.WithoutArgument*' \
        </dev/null >"$work/outside.log" 2>"$work/outside.err" || true
    wine_said outside
    grep -q '^Put back the registry values' "$work/outside.log" || { cat "$work/outside.log"; ok=1; }
    [ "$(cat "$outside/file.txt")" = keep ] || { echo "kit: the folder outside %TEMP% changed"; ok=1; }
    # The stopped run's own folder, which that copy no longer names.
    rm -rf "$(winepath -u "$left" 2>/dev/null)" "$outside"
    as_before outside || ok=1
    return $ok
}
if check "a run ended hard leaves its saved copy" killed_run; then
    check "an empty saved copy stops the run and stays" untrusted_copy empty 'is empty' empty
    check "another computer's copy is refused and stays" untrusted_copy computer \
        'another user or on another computer' other computer ELSEWHERE
    check "another user's copy is refused and stays" untrusted_copy user \
        'another user or on another computer' other user S-1-5-21-1-2-3-1001
    check "a copy naming a folder outside %TEMP% leaves it alone" outside_folder
fi

# With a broken starter, from another folder, only the starter's end-to-end cases that need it.
broken_run() {
    local code=0 ok=0
    cp "$kit/checks/hl2_standin.exe" "$kit/Ironvale.exe"
    wine cmd /c "$kit_win\\run-checks.cmd" 'e2e_tests:Ironvale.WithoutArgument*:Ironvale.Registers*' \
        </dev/null >"$work/broken.log" 2>"$work/broken.err" || code=$?
    cat "$work/broken.log"
    wine_said broken
    grep -qE '^[0-9]+ passed, [1-9][0-9]* failed' <(tr -d '\r' <"$work/broken.log") || ok=1
    [ "$code" -ne 0 ] || { echo "kit: exit code 0 with a broken Ironvale.exe"; ok=1; }
    as_before broken || ok=1
    return $ok
}
check "a broken starter fails, and the machine is as it was all the same" broken_run

echo "kit: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
