#!/usr/bin/env bash
# The programs' sizes and imports, and the game starter's speed.
#
# Times one whole run of Ironvale.exe without arguments (registration, game-file test, start of
# the game, end) against a Windows program that does nothing, both under Wine, on this machine,
# in the same run. Prints both medians and their ratio, and the stripped size and DLL imports of
# both programs. For comparison it also times a run beside an empty hl2.exe, which ends
# after the registration without starting anything. Builds nothing: build the windows preset first
# ("cmake --preset windows && cmake --build --preset windows").
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

PACKAGES+=(hyperfine)
install_packages

bin="$ROOT/build/windows/bin"
for exe in tamsel.exe Ironvale.exe hl2_standin.exe do_nothing.exe; do
    if [ ! -f "$bin/$exe" ]; then
        echo "$bin/$exe is missing: build the windows preset first" >&2
        exit 1
    fi
done

out="$ROOT/build/bench"
game="$out/Iron Vale"
empty="$out/Empty Game"
rm -rf "$out"
mkdir -p "$game" "$empty"
cp "$bin/Ironvale.exe" "$bin/do_nothing.exe" "$game/"
cp "$bin/hl2_standin.exe" "$game/hl2.exe"
cp "$bin/Ironvale.exe" "$empty/"
: >"$empty/hl2.exe"

trap 'stop_wine; stop_virtual_display' EXIT
start_virtual_display
prepare_wine_prefix "$ROOT/build/wineprefix-bench"

# Output to files, never a pipe (see prepare_wine_prefix).
cd "$game"
hyperfine --warmup 3 --runs "${RUNS:-30}" --export-json "$out/times.json" \
    --command-name do_nothing.exe 'wine do_nothing.exe' \
    --command-name Ironvale.exe 'wine Ironvale.exe' \
    --command-name 'Ironvale.exe, empty hl2.exe' "wine '$empty/Ironvale.exe'" \
    >"$out/hyperfine.txt" 2>&1
cd "$ROOT"
cat "$out/hyperfine.txt"

python3 - "$out/times.json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
base = results["do_nothing.exe"]["median"]
starter = results["Ironvale.exe"]["median"]
print(f"median do_nothing.exe: {base * 1000:.1f} ms")
print(f"median Ironvale.exe:   {starter * 1000:.1f} ms")
print(f"ratio: {starter / base:.3f} (target at most 1.3)")
empty = results["Ironvale.exe, empty hl2.exe"]["median"]
print(f"median Ironvale.exe beside an empty hl2.exe (nothing started): {empty * 1000:.1f} ms,"
      f" ratio {empty / base:.3f}")
PY
echo "game starts recorded by the stand-in: $(wc -l <"$game/hl2-calls.txt")"

for program in tamsel Ironvale; do
    x86_64-w64-mingw32-strip -o "$out/$program.stripped.exe" "$bin/$program.exe"
    echo "$program.exe stripped: $(stat -c %s "$out/$program.stripped.exe") bytes; DLL imports:"
    x86_64-w64-mingw32-objdump -p "$bin/$program.exe" >"$out/$program.objdump.txt"
    grep 'DLL Name' "$out/$program.objdump.txt"
done
