#!/usr/bin/env bash
# Builds the release from the committed tree: build/release/vantoline-tools-<version>.zip with
# tamsel.exe and Ironvale.exe (stripped), README.txt for players and SHA256SUMS of the two
# programs; prints the zip's SHA-256. The version is the CMake project version.
#
# The same commit gives the same bytes in any folder, at any time: the programs carry no build
# path and no time stamp (see CMakeLists.txt), and the zip's entries come in a fixed order, with
# fixed modes, the commit's time (SOURCE_DATE_EPOCH when set) and no extra fields.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

if [ -n "$(git status --porcelain)" ]; then
    echo "Uncommitted changes: a release is built from a clean tree only." >&2
    git status --short >&2
    exit 1
fi
install_packages
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

build=build/release-build
rm -rf "$build" build/release
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null

version=$(cat "$build/release/VERSION")
zip="$ROOT/build/release/vantoline-tools-$version.zip"
files=(tamsel.exe Ironvale.exe README.txt SHA256SUMS)
stage="$build/zip"
mkdir -p "$stage" build/release
cp "$build/bin/tamsel.exe" "$build/bin/Ironvale.exe" "$build/release/README.txt" "$stage/"
(cd "$stage" && sha256sum tamsel.exe Ironvale.exe >SHA256SUMS)
chmod 0644 "${files[@]/#/$stage/}"
# A zip keeps local times: in UTC they are the same on every machine.
TZ=UTC touch -d "@$SOURCE_DATE_EPOCH" "${files[@]/#/$stage/}"
(cd "$stage" && TZ=UTC zip -q -X -9 "$zip" "${files[@]}")

echo "${zip#"$ROOT"/}: $(stat -c %s "$zip") bytes"
echo "SHA-256: $(sha256sum "$zip" | cut -d' ' -f1)"
