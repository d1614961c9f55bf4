#!/usr/bin/env bash
# For anyone: is ZIP the release of the checked-out commit, and who signed its programs?
#
#   bash scripts/verify-release.sh ZIP [CA_FILE]
#
# Rebuilds the release of the current commit in a temporary clean clone (scripts/release.sh,
# which attaches the commit's signatures) and compares it with ZIP byte for byte. Bytes decide:
# exit code 0 when ZIP is the rebuild, whoever signed it and whenever. Trust informs: the rebuild's
# line for each signed program (signer, time stamp, verdict; checked offline, at the time stamp's
# time, against the certificates in CA_FILE, else the system's) is printed, and says what
# Windows makes of the signature, also after the certificate's end.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

fail() {
    echo "verify-release: $*" >&2
    exit 1
}

[ $# -eq 1 ] || [ $# -eq 2 ] || fail "usage: bash scripts/verify-release.sh ZIP [CA_FILE]"
zip=$(realpath -e -- "$1" 2>/dev/null) || fail "$1: no such file"
ca=/etc/ssl/certs/ca-certificates.crt
if [ $# -eq 2 ]; then ca=$(realpath -e -- "$2" 2>/dev/null) || fail "$2: no such file"; fi
unzip -tq "$zip" >/dev/null 2>&1 || fail "$1 is not a zip file"

install_packages
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# A signed program with a changed byte is refused at once, before the rebuild: its signature no
# longer fits it. Only the digest counts here (a bundle that trusts nothing keeps it offline).
mkdir "$work/unpacked"
unzip -q "$zip" -d "$work/unpacked"
signed=0
[ -e "$work/unpacked/SHA256SUMS.unsigned" ] && signed=1
if [ "$signed" -eq 1 ]; then
    for program in tamsel.exe Ironvale.exe; do
        [ -e "$work/unpacked/$program" ] || fail "$1 has no $program"
        osslsigncode verify -ignore-crl -CAfile /dev/null -TSA-CAfile /dev/null \
            -in "$work/unpacked/$program" >"$work/verify.log" 2>&1 || true
        if grep -q MISMATCH "$work/verify.log"; then
            fail "$program in $1 CHANGED since it was signed: its signature doesn't fit it"
        fi
        grep -q '^Calculated message digest' "$work/verify.log" ||
            fail "$program in $1 has no signature that can be read"
    done
fi

commit=$(git rev-parse HEAD)
echo "Rebuilding the release of commit $commit in a clean clone..."
git clone -q --no-checkout "$ROOT" "$work/clone"
git -C "$work/clone" checkout -q "$commit"
(cd "$work/clone" && RELEASE_CA_FILE=$ca bash scripts/release.sh >"$work/release.log" 2>&1) || {
    cat "$work/release.log" >&2
    fail "the release of commit $commit could not be rebuilt"
}
rebuilt=("$work/clone"/build/release/*.zip)
rebuilt=${rebuilt[0]}
unsigned="$work/clone/build/release-build/bin"

if ! cmp -s "$zip" "$rebuilt"; then
    # Why not: the first difference a reader can act on.
    mkdir "$work/ours"
    unzip -q "$rebuilt" -d "$work/ours"
    version=$(cat "$work/clone/build/release-build/release/VERSION")
    cmp -s "$work/unpacked/README.txt" "$work/ours/README.txt" ||
        fail "$1 is not the release of this commit (version $version): a zip of another" \
            "version or commit"
    for program in tamsel.exe Ironvale.exe; do
        cmp -s "$work/unpacked/$program" "$work/ours/$program" && continue
        if [ -e "$work/ours/SHA256SUMS.unsigned" ] &&
            cmp -s "$work/unpacked/$program" "$unsigned/$program"; then
            fail "$program in $1 has no signature, but this commit has signatures"
        fi
        fail "$program in $1 differs from the rebuild: a changed program, or a zip of another" \
            "commit"
    done
    fail "$1 differs from the rebuild of this commit outside the programs:" \
        "$(diff -rq "$work/unpacked" "$work/ours" | head -n 1)"
fi
echo "$1 is the release of commit $commit, byte for byte" \
    "(SHA-256 $(sha256sum "$zip" | cut -d' ' -f1))"
if [ "$signed" -eq 0 ]; then
    echo "Its programs are not signed: this commit has no signatures."
else
    # The rebuild's programs are ZIP's, byte for byte: its trust lines are theirs.
    sed -nE '/^Signatures, checked offline/p; /^(tamsel|Ironvale)\.exe: signer /p' "$work/release.log"
fi
