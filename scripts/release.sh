#!/usr/bin/env bash
# Builds the release from the committed tree: build/release/vantoline-tools-<version>.zip with
# tamsel.exe and Ironvale.exe (stripped), README.txt for players and SHA256SUMS of the two
# programs; prints the zip's SHA-256. The version is the CMake project version.
#
# When release/signatures/<version>/ holds the programs' signatures (scripts/sign-release.sh),
# they are attached to the programs built here: the zip then holds the signed programs,
# SHA256SUMS names the signed ones and SHA256SUMS.unsigned the builds before signing. Attaching
# is deterministic, so a signed release is as reproducible as an unsigned one. Bytes decide: the
# release fails only when a committed signature can't be read or doesn't fit the program built
# here. Trust only informs: each signed program gets one line with its signer, its time stamp and
# a verdict, checked without the network (so no revocation list is looked at), at the time
# stamp's time, against the certificates in RELEASE_CA_FILE when set, else the system's, for
# both the signer's and the time stamp's chain.
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
# The programs come from the sources alone: the build tool always brings the release build up to
# date with the checked-out tree, whatever built there before (by hand, from an edited tree). The
# stamp only says whether the folder may be kept for that: a build of this same source tree (the
# signatures in release/ aside), in the same folder (CMake's cache holds its path), with the same
# toolchain and configuration, as after scripts/sign-release.sh. Anything else starts from an
# empty folder. The build tool tracks neither the compiler nor the static runtime and libraries
# it links in: the toolchain packages' versions stand for them.
TOOLCHAIN_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
                    gcc-mingw-w64-x86-64-posix-runtime gcc-mingw-w64-base binutils-mingw-w64-x86-64
                    mingw-w64-x86-64-dev mingw-w64-common)
stamp_of_build() {
    pwd
    git ls-tree HEAD | grep -v $'\trelease$'
    x86_64-w64-mingw32-g++-posix --version | head -n 1
    # A package that is missing says so, and that is part of the stamp too.
    dpkg-query -W -f='${Package} ${Version}\n' "${TOOLCHAIN_PACKAGES[@]}" 2>&1 || true
    [ ! -e "$build/CMakeCache.txt" ] || sha256sum <"$build/CMakeCache.txt"
}
if [ "$(cat "$build/source-stamp" 2>/dev/null)" != "$(stamp_of_build)" ]; then
    rm -rf "$build"
    cmake --preset release >/dev/null
fi
# Configures again by itself where the tree's CMake files changed.
cmake --build --preset release -j "$(nproc)" >/dev/null
stamp_of_build >"$build/source-stamp"
rm -rf build/release "$build/zip"

# One line on a signed program's trust, from the output of osslsigncode verify (LOG) and its
# exit code: "PROGRAM: signer NAME; time stamp NAME, TIME (or none); VERDICT". osslsigncode checks
# a time-stamped signature's chains at the time stamp's time, so a signature time-stamped while
# its certificate was valid stays valid after the certificate's end, as on Windows; without a
# time stamp it is checked now, and Windows rejects it once the certificate has ended.
trust_line() { # program, log, exit code of the check
    local fields signer end tsa ts_time errors verdict
    # The first "Signer #0" is the signer's certificate; the one between the countersignature
    # and its verdict is the time-stamp authority's, trusted or not.
    fields=$(awk '
        /^Signer.s certificate:/ { section = "signer" }
        /^Countersignatures:/ { section = "tsa" }
        /^Timestamp Server Signature verification/ { section = "" }
        /Signer #0:/ { want = section }
        want == "signer" && /Subject:/ && signer == "" { signer = $0 }
        want == "signer" && /notAfter/ && end == "" { end = $0; want = "" }
        want == "tsa" && /Subject:/ && tsa == "" { tsa = $0; want = "" }
        /^[ \t]*Timestamp time:/ && ts == "" { ts = $0 }
        /^[ \t]*Error:/ && !seen[$0]++ { errors = errors (errors == "" ? "" : ";") $0 }
        END { print signer; print end; print tsa; print ts; print errors }' "$2" |
        sed -E 's/^[^:]*: *//; s/;[ \t]*Error: */; /g')
    mapfile -t fields <<<"$fields"
    signer=${fields[0]:-} end=${fields[1]:-} tsa=${fields[2]:-} ts_time=${fields[3]:-}
    errors=${fields[4]:-}
    end=$(date -u -d "$end" +%F 2>/dev/null || echo "$end")
    if [ -n "$ts_time" ]; then
        ts_time=$(date -u -d "$ts_time" '+%F %T UTC' 2>/dev/null || echo "$ts_time")
    fi
    if [ "$3" -ne 0 ]; then
        verdict="not trusted: ${errors:-the check failed}"
        [ -n "$ts_time" ] || verdict+="; no time stamp: Windows rejects it after $end"
    elif [ -n "$ts_time" ]; then
        verdict="valid, time-stamped ${ts_time%% *} (revocation not checked)"
    else
        verdict="no time stamp: Windows rejects it after $end"
    fi
    echo "$1: signer ${signer:-unknown}; time stamp ${ts_time:+${tsa:-unknown}, }${ts_time:-none};" \
        "$verdict"
}

version=$(cat "$build/release/VERSION")
zip="$ROOT/build/release/vantoline-tools-$version.zip"
files=(tamsel.exe Ironvale.exe README.txt SHA256SUMS)
stage="$build/zip"
mkdir -p "$stage" build/release
cp "$build/release/README.txt" "$stage/"
signatures="release/signatures/$version"
if [ -d "$signatures" ]; then
    ca=${RELEASE_CA_FILE:-/etc/ssl/certs/ca-certificates.crt}
    echo "Signatures, checked offline against $ca:"
    for program in tamsel.exe Ironvale.exe; do
        signature="$signatures/$program.pem"
        [ -f "$signature" ] || {
            echo "$signatures/ has no signature of $program: sign the release again." >&2
            exit 1
        }
        # attach-signature checks its result too, and would fetch the CRL of a trusted chain:
        # against a bundle that trusts nothing its check stays offline. It decides nothing here.
        rm -f "$stage/$program"
        osslsigncode attach-signature -sigin "$signature" -CAfile /dev/null \
            -in "$build/bin/$program" -out "$stage/$program" >"$build/attach.log" 2>&1 || true
        code=0
        if [ -s "$stage/$program" ]; then
            osslsigncode verify -ignore-crl -CAfile "$ca" -TSA-CAfile "$ca" \
                -in "$stage/$program" >"$build/verify.log" 2>&1 || code=$?
        fi
        if [ ! -s "$stage/$program" ] || ! grep -q '^Calculated message digest' "$build/verify.log"
        then
            cat "$build/attach.log" >&2
            echo "The committed signature $signature can't be read: sign the release again" \
                "(scripts/sign-release.sh)." >&2
            exit 1
        fi
        if grep -q MISMATCH "$build/verify.log"; then
            echo "The committed signature $signature doesn't fit this build of $program: the" \
                "program changed since it was signed, under the same version $version. Change" \
                "the version in CMakeLists.txt, or remove $signatures and sign again" \
                "(scripts/sign-release.sh)." >&2
            exit 1
        fi
        trust_line "$program" "$build/verify.log" "$code"
    done
    (cd "$build/bin" && sha256sum tamsel.exe Ironvale.exe) >"$stage/SHA256SUMS.unsigned"
    files+=(SHA256SUMS.unsigned)
else
    cp "$build/bin/tamsel.exe" "$build/bin/Ironvale.exe" "$stage/"
fi
(cd "$stage" && sha256sum tamsel.exe Ironvale.exe >SHA256SUMS)
chmod 0644 "${files[@]/#/$stage/}"
# A zip keeps local times: in UTC they are the same on every machine.
TZ=UTC touch -d "@$SOURCE_DATE_EPOCH" "${files[@]/#/$stage/}"
(cd "$stage" && TZ=UTC zip -q -X -9 "$zip" "${files[@]}")

echo "${zip#"$ROOT"/}: $(stat -c %s "$zip") bytes"
echo "SHA-256: $(sha256sum "$zip" | cut -d' ' -f1)"
