#!/usr/bin/env bash
# The programs against their floors: the least a program can do for the same job, measured in
# the same run on this machine, under Wine, and the programs' stripped sizes and DLL imports.
#
#   Ironvale.exe   whole run (registration, game-file test, start of hl2.exe, end) against
#                  spawn_floor.exe, which only starts the same hl2.exe minimized with the same
#                  command line; beside an empty hl2.exe (nothing started) against do_nothing.exe.
#   tamsel.exe     from the start of the process to the greeting box on screen, against
#                  greeting_floor.exe, which only shows the same box and carries the same manifest;
#                  and the whole first start (greeting, OK, selection, "Save!", main window shown).
#   memory         the peak working set of each program over its run, beside its floor's.
#
# bench/bench_driver.exe starts every program from a Wine process with CreateProcessW and
# watches it from outside (its end, or its windows, polled every millisecond). A program and its
# floor run alternately, round after round, so that both see the same load. Prints a table and
# writes build/bench/results.json. RUNS (default 30) rounds after WARMUP (default 3) that count
# for nothing. Builds nothing: build the windows preset first.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

install_packages

runs=${RUNS:-30}
warmup=${WARMUP:-3}
bin="$ROOT/build/windows/bin"
for exe in tamsel.exe Ironvale.exe hl2_standin.exe do_nothing.exe spawn_floor.exe \
    greeting_floor.exe bench_driver.exe session_keeper.exe; do
    if [ ! -f "$bin/$exe" ]; then
        echo "$bin/$exe is missing: build the windows preset first" >&2
        exit 1
    fi
done

out="$ROOT/build/bench"
game="$out/Iron Vale"
empty="$out/Empty Game"
tool="$out/Tamsel"
rm -rf "$out"
mkdir -p "$game" "$empty" "$tool"
cp "$bin/Ironvale.exe" "$bin/do_nothing.exe" "$bin/spawn_floor.exe" "$game/"
cp "$bin/hl2_standin.exe" "$game/hl2.exe"
cp "$bin/Ironvale.exe" "$empty/"
: >"$empty/hl2.exe"
cp "$bin/tamsel.exe" "$bin/greeting_floor.exe" "$tool/"

trap 'stop_wine; stop_virtual_display' EXIT
start_virtual_display
prepare_wine_prefix "$ROOT/build/wineprefix-bench"
# Wine's desktop process and COM service run for the whole benchmark, so that no timed run
# starts them.
start_session_keeper

# Output to files, never a pipe (see prepare_wine_prefix).
load_before=$(uptime)
rounds=$((runs + warmup))
wine "$bin/bench_driver.exe" starter "$(winepath -w "$game")" "$(winepath -w "$empty")" \
    "$rounds" >"$out/starter.tsv" 2>"$out/starter.err" ||
    { cat "$out/starter.err" >&2; exit 1; }
wine "$bin/bench_driver.exe" tool "$(winepath -w "$tool")" "$rounds" \
    >"$out/tool.tsv" 2>"$out/tool.err" || { cat "$out/tool.err" >&2; exit 1; }

for program in tamsel Ironvale; do
    x86_64-w64-mingw32-strip -o "$out/$program.stripped.exe" "$bin/$program.exe"
    x86_64-w64-mingw32-objdump -p "$bin/$program.exe" >"$out/$program.objdump.txt"
done

python3 - "$out" "$warmup" "$load_before" "$(uptime)" "$(wine --version)" <<'PY'
import json, os, platform, re, statistics, sys, time

out, warmup, wine = sys.argv[1], int(sys.argv[2]), sys.argv[5]
load = {"before": sys.argv[3].strip(), "after": sys.argv[4].strip()}
samples = {}
by_round = {}
for name in ("starter.tsv", "tool.tsv"):
    for line in open(os.path.join(out, name), encoding="utf-8", errors="replace"):
        kind, program, round_, value = line.rstrip("\n").split("\t")
        if kind == "ms" and int(round_) < warmup:
            continue
        samples.setdefault(kind, {}).setdefault(program, []).append(float(value))
        if kind == "ms":
            by_round.setdefault(program, {})[int(round_)] = float(value)

def summary(values):
    q = statistics.quantiles(values, n=4) if len(values) > 1 else values * 3
    return {"runs": len(values), "median": statistics.median(values), "p25": q[0], "p75": q[2],
            "min": min(values), "max": max(values)}

times = {p: summary(v) for p, v in samples["ms"].items()}
peaks = {p: max(v) for p, v in samples["peak"].items()}
comparisons = [
    ("Ironvale.exe", "spawn_floor.exe", "whole run, game started"),
    ("Ironvale.exe, empty hl2.exe", "do_nothing.exe", "whole run, nothing started"),
    ("tamsel.exe", "greeting_floor.exe", "start to greeting on screen"),
]
cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")),
           platform.machine())
result = {
    "date": time.strftime("%Y-%m-%d %H:%M %Z"),
    "machine": f"{cpu}, {os.cpu_count()} cores, {platform.system()} {platform.release()}",
    "wine": wine, "uptime": load,
    "times_ms": times, "peak_working_set_bytes": peaks,
    "ratios": {}, "sizes": {}, "imports": {},
}
print(f"{'program':30} {'floor':20} {'median ms':>10} {'p25-p75':>13} {'floor ms':>9}"
      f" {'ratio':>6} {'paired':>6} {'peak MiB':>9} {'floor MiB':>9}")
for program, floor, what in comparisons:
    t, f = times[program], times[floor]
    ratio = t["median"] / f["median"]
    # The same round ran both, one after the other: the median of those ratios.
    paired = statistics.median(by_round[program][r] / by_round[floor][r]
                               for r in by_round[program] if r in by_round[floor])
    mem_ratio = peaks[program] / peaks[floor]
    result["ratios"][program] = {"floor": floor, "what": what, "time": ratio,
                                 "time_paired": paired, "memory": mem_ratio}
    print(f"{program:30} {floor:20} {t['median']:10.1f} {t['p25']:6.1f}-{t['p75']:<6.1f}"
          f" {f['median']:9.1f} {ratio:6.3f} {paired:6.3f} {peaks[program] / 2**20:9.2f}"
          f" {peaks[floor] / 2**20:9.2f}")
t = times["tamsel.exe, first start"]
print(f"{'tamsel.exe, first start':30} {'':20} {t['median']:10.1f} {t['p25']:6.1f}-{t['p75']:<6.1f}"
      f" {'':9} {'':6} {'':6} {peaks['tamsel.exe, first start'] / 2**20:9.2f}")
print(f"(time: median of {t['runs']} runs, p25-p75 the middle half; ratio: of the medians;"
      f" paired: median of the ratios within a round; peak: the largest of the runs; goal: ratio"
      f" at most 1.05)")
limits = {"Ironvale": 300 * 1024, "tamsel": 400 * 1024}
for program, limit in limits.items():
    size = os.path.getsize(os.path.join(out, f"{program}.stripped.exe"))
    dlls = re.findall(r"DLL Name: (\S+)", open(os.path.join(out, f"{program}.objdump.txt")).read())
    result["sizes"][program] = {"stripped_bytes": size, "limit_bytes": limit}
    result["imports"][program] = dlls
    print(f"{program}.exe stripped: {size} bytes of {limit} allowed; imports: {' '.join(dlls)}")
print(f"{result['date']}; {result['machine']}; {wine}")
print(f"uptime before: {load['before']}\nuptime after:  {load['after']}")
json.dump(result, open(os.path.join(out, "results.json"), "w"), indent=2)
print(f"written: {os.path.join(out, 'results.json')}")
PY
echo "game starts recorded by the stand-in: $(wc -l <"$game/hl2-calls.txt")"
