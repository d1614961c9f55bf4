#!/usr/bin/env bash
# Usage: dll_search.sh PROGRAM.exe
# Runs the program under Wine, from a folder of its own with an empty hl2.exe beside it, with a
# relay trace of the kernel32 functions by which a program looks at its folder or loads a DLL.
# Passes when the program's own first such call restricts the DLL search to System32
# (SetDefaultDllDirectories with LOAD_LIBRARY_SEARCH_SYSTEM32, 0x800) and its later loads ask
# for nothing else. A planted DLL can't show this under Wine, whose loader searches the
# program's folder for its own DLLs' imports whatever the program asks for.
set -uo pipefail
program=$1
traced=(SetDefaultDllDirectories GetModuleFileNameW GetModuleFileNameA LoadLibraryA LoadLibraryW
        LoadLibraryExA LoadLibraryExW GetFileAttributesExW CreateFileW GetPrivateProfileStringA)
include=$(printf 'KERNEL32.%s;' "${traced[@]}")
folder=$(mktemp -d)
trap 'rm -rf "$folder"; wine reg delete "HKCU\\Software\\Wine\\Debug" /v RelayInclude /f >/dev/null 2>&1' EXIT
cp "$program" "$folder/" && : >"$folder/hl2.exe" || exit 1
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "${include%;}" /f \
    >/dev/null 2>&1 || exit 1

# The program's own calls return into its image, which MinGW links at 0x140000000.
own_calls() { grep -E '^[0-9a-f]+:[0-9a-f]+:Call KERNEL32\..* ret=140[0-9a-f]{6}$' "$folder/trace.txt"; }

WINEDEBUG=-all,+pid,+relay wine "$folder/$(basename "$program")" </dev/null >/dev/null \
    2>"$folder/trace.txt" &
pid=$!
# The starter ends by itself beside an empty game; the tool waits in its greeting, after it has
# read its settings.
for _ in $(seq 150); do
    kill -0 "$pid" 2>/dev/null || break
    own_calls | grep -q GetPrivateProfileStringA && break
    sleep 0.1
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null

calls=$(own_calls | sed -E 's/^[0-9a-f]+:[0-9a-f]+:Call KERNEL32\.//; s/ ret=.*//')
echo "The program's own calls, first ten:"
head -n 10 <<<"$calls"
first=$(head -n 1 <<<"$calls")
if [ "$first" != "SetDefaultDllDirectories(00000800)" ]; then
    echo "FAIL: the first call is '${first:-none}', not SetDefaultDllDirectories(00000800)"
    exit 1
fi
if [ "$(grep -c . <<<"$calls")" -lt 2 ]; then
    echo "FAIL: no call after it: the trace did not follow the program"
    exit 1
fi
# Nothing widens the search again: no other directories, no folder of a DLL's own.
if grep '^SetDefaultDllDirectories(' <<<"$calls" | grep -qv '(00000800)$' ||
    grep -E '^LoadLibraryEx[AW]\(' <<<"$calls" | grep -qvE ',(00000000|00000800)\)$'; then
    echo "FAIL: a later call widens the search"
    exit 1
fi
echo "PASS"
