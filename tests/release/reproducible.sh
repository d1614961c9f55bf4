#!/usr/bin/env bash
# The release of the checked-out commit is reproducible: scripts/release.sh in two fresh clones,
# in folders of different names, one after the other, under different time zones and umasks,
# gives the same zip byte for byte, also where the release build was last built by hand from an
# edited tree (the edit reverted since). Then its contents: the four files in order, README.txt
# with CR LF line ends and the project version, SHA256SUMS that matches the programs.
#   bash tests/release/reproducible.sh [KEEP]
# With KEEP, the first clone is made there (and kept, its release built): tests/release/signed.sh
# signs in it without building the programs once more. A build folder can't move.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
commit=$(git -C "$root" rev-parse HEAD)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build_in() { # folder, time zone, umask
    git clone -q --no-checkout "$root" "$1"
    git -C "$1" checkout -q "$commit"
    (cd "$1" && umask "$3" && TZ=$2 bash scripts/release.sh)
}
first_clone=${1:-"$work/first clone"}
build_in "$first_clone" UTC 0022

# The release build, built by hand from an edited tree, holds a program the commit doesn't build;
# the edit reverted, a release must not package it.
cd "$first_clone"
built=$(sha256sum <build/release-build/bin/Ironvale.exe)
printf 'STRINGTABLE\nBEGIN\n  64999 "not in the commit"\nEND\n' >>resources/ironvale.rc
cmake --build --preset release >/dev/null
[ "$(sha256sum <build/release-build/bin/Ironvale.exe)" != "$built" ]
git checkout -q -- resources/ironvale.rc
bash scripts/release.sh >/dev/null
cd "$root"

build_in "$work/second.clone" Pacific/Kiritimati 0077

first=("$first_clone"/build/release/*.zip)
second=("$work"/second.clone/build/release/*.zip)
cmp "${first[0]}" "${second[0]}"
echo "Both clones give the same zip"

version=$(git -C "$root" show "$commit:CMakeLists.txt" |
    sed -nE 's/^project\(vantoline VERSION ([0-9.]+).*/\1/p')
[ "$(basename "${first[0]}")" = "vantoline-tools-$version.zip" ]
[ "$(unzip -Z1 "${first[0]}" | tr '\n' ' ')" = "tamsel.exe Ironvale.exe README.txt SHA256SUMS " ]
mkdir "$work/unpacked"
unzip -q "${first[0]}" -d "$work/unpacked"
cd "$work/unpacked"
sha256sum --quiet -c SHA256SUMS
[ "$(grep -c $'\r$' README.txt)" = "$(wc -l <README.txt)" ]
grep -q "version $version"$'\r' README.txt
echo "Contents as expected"
