#!/usr/bin/env bash
# For the releaser: signs the release of the committed tree once and keeps each program's
# signature in the tree, detached, so that anyone who rebuilds the commit gets the signed
# programs byte for byte (scripts/release.sh attaches them).
#
#   bash scripts/sign-release.sh PKCS12_FILE PASSWORD_FILE TIMESTAMP_URL
#   bash scripts/sign-release.sh PKCS12_FILE PASSWORD_FILE --no-timestamp
#
# Builds the unsigned programs with scripts/release.sh, signs each with the certificate in
# PKCS12_FILE (Authenticode, SHA-256, the program's description as its signed name, an RFC 3161
# time stamp from TIMESTAMP_URL) and writes its signature to
# release/signatures/<version>/<program>.pem. PASSWORD_FILE holds the password on one line.
#
# The time stamp keeps the signature valid after the certificate's end; each new one is checked
# (its signature, and its chain against RELEASE_CA_FILE when set, else the system's certificates)
# before any signature is written. --no-timestamp signs without one: the signatures then end
# with the certificate.
#
# The password is only ever read from its file, by openssl and osslsigncode; the key is never
# written anywhere. Whatever is made on the way goes to a temporary folder outside the tree,
# removed on every way out, Ctrl+C included; a refusal leaves the tree as it was.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

fail() {
    echo "sign-release: $*" >&2
    exit 1
}

[ $# -eq 3 ] && [ -n "$3" ] ||
    fail "usage: bash scripts/sign-release.sh PKCS12_FILE PASSWORD_FILE TIMESTAMP_URL" \
        "(or --no-timestamp in place of the URL, for signatures that end with the certificate)"
pkcs12=$(realpath -e -- "$1" 2>/dev/null) || fail "$1: no such file"
password=$(realpath -e -- "$2" 2>/dev/null) || fail "$2: no such file"
timestamp_url=$3
[ "$timestamp_url" = --no-timestamp ] && timestamp_url=""
ca=${RELEASE_CA_FILE:-/etc/ssl/certs/ca-certificates.crt}
for file in "$pkcs12" "$password"; do
    [ -f "$file" ] && [ -r "$file" ] || fail "$file: not a readable file"
done

if [ -n "$(git status --porcelain)" ]; then
    git status --short >&2
    fail "uncommitted changes: a release is signed from a clean tree only"
fi
version=$(sed -nE 's/^project\(vantoline VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
signatures="release/signatures/$version"
if [ -n "$(git ls-files -- "$signatures")" ]; then
    fail "signatures of version $version are committed already ($signatures/): change the" \
        "version in CMakeLists.txt to sign a new release"
fi

install_packages
work=$(mktemp -d)
created=""
# On any way out before the end: no temporary file stays, and no half set of signatures.
cleanup() {
    rm -rf "$work"
    if [ -n "$created" ]; then rm -rf "$created"; fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# The certificate alone (no key), to check it before anything is built. openssl 3 reads older
# PKCS#12 files only with its legacy algorithms.
certificate="$work/certificate.pem"
openssl pkcs12 -in "$pkcs12" -passin "file:$password" -clcerts -nokeys -out "$certificate" \
    2>/dev/null ||
    openssl pkcs12 -legacy -in "$pkcs12" -passin "file:$password" -clcerts -nokeys \
        -out "$certificate" 2>/dev/null ||
    fail "$1: can't be opened with the password in $2 (a wrong password, or not a PKCS#12 file)"
[ -s "$certificate" ] || fail "$1 holds no certificate of its own key"
openssl x509 -in "$certificate" -noout -ext extendedKeyUsage 2>/dev/null | grep -q 'Code Signing' ||
    fail "the certificate in $1 is not for code signing (no extended key usage codeSigning)"
openssl x509 -in "$certificate" -noout -checkend 0 >/dev/null ||
    fail "the certificate in $1 has expired ($(openssl x509 -in "$certificate" -noout -enddate))"
not_before=$(openssl x509 -in "$certificate" -noout -startdate | cut -d= -f2)
[ "$(date -d "$not_before" +%s)" -le "$(date +%s)" ] ||
    fail "the certificate in $1 is not valid yet (from $not_before)"
signer=$(openssl x509 -in "$certificate" -noout -subject -nameopt multiline |
    sed -nE 's/^ *commonName *= *//p')
if [ -z "$timestamp_url" ]; then
    end=$(date -u -d "$(openssl x509 -in "$certificate" -noout -enddate | cut -d= -f2)" +%F)
    echo "sign-release: no time stamp: the signatures end with the certificate. After $end," \
        "Windows rejects the signed programs as not validly signed; only a new version, signed" \
        "again, is signed then." >&2
fi

bash scripts/release.sh >/dev/null
bin=build/release-build/bin
mkdir -p "$work/signatures"
for program in tamsel Ironvale; do
    rc_file="resources/$(tr '[:upper:]' '[:lower:]' <<<"$program").rc"
    description=$(sed -nE 's/.*VALUE "FileDescription", "([^"]*)".*/\1/p' "$rc_file")
    [ -n "$description" ] || fail "$rc_file names no FileDescription"
    sign=(osslsigncode sign -pkcs12 "$pkcs12" -readpass "$password" -h sha256 -n "$description")
    if [ -n "$timestamp_url" ]; then sign+=(-ts "$timestamp_url"); fi
    "${sign[@]}" -in "$bin/$program.exe" -out "$work/$program.exe" >"$work/sign.log" 2>&1 || {
        cat "$work/sign.log" >&2
        fail "osslsigncode could not sign $program.exe"
    }
    osslsigncode extract-signature -pem -in "$work/$program.exe" \
        -out "$work/signatures/$program.exe.pem" >/dev/null
    # The detached signature must give back the signed program exactly, as release.sh makes it.
    # Only the bytes count here: whether the signer's chain is trusted, release.sh reports.
    osslsigncode attach-signature -sigin "$work/signatures/$program.exe.pem" \
        -CAfile /dev/null -in "$bin/$program.exe" -out "$work/$program.attached.exe" \
        >/dev/null 2>&1 || true
    cmp -s "$work/$program.exe" "$work/$program.attached.exe" ||
        fail "the signature of $program.exe, attached again, doesn't give the signed program"
    stamped=""
    if [ -n "$timestamp_url" ]; then
        # The time stamp is what keeps the signature valid later: it must be there, signed by
        # a chain that the certificates in $ca trust, and fit this signature.
        osslsigncode verify -ignore-crl -CAfile "$ca" -TSA-CAfile "$ca" -in "$work/$program.exe" \
            >"$work/verify.log" 2>&1 || true
        stamped=$(sed -nE 's/^[[:space:]]*Timestamp time: *//p' "$work/verify.log" | head -n 1)
        if [ -z "$stamped" ] ||
            ! grep -q '^Timestamp Server Signature verification: ok' "$work/verify.log"; then
            grep -E '^[[:space:]]*Error:' "$work/verify.log" >&2 || true
            fail "the time stamp from $timestamp_url on $program.exe doesn't verify against" \
                "$ca (RELEASE_CA_FILE names another certificate bundle)"
        fi
        stamped=", time-stamped $(date -u -d "$stamped" '+%F %T UTC')"
    fi
    echo "Signed $program.exe as \"$description\" by $signer$stamped"
done

mkdir -p release/signatures
created="$signatures"
cp -r "$work/signatures" "$signatures"
created=""
echo "Signatures of version $version: $signatures/"
echo "Next: git add $signatures && git commit -m \"Signatures of version $version\""
echo "      then bash scripts/release.sh (RELEASE_CA_FILE=CA.pem for a CA the system lacks)"
