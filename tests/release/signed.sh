#!/usr/bin/env bash
# A signed release stays reproducible, also after its certificate's end, with a throwaway
# certificate and a time-stamp authority on 127.0.0.1 (no network): a wrong password is refused
# and leaves the tree clean; scripts/sign-release.sh in one clean clone, time-stamped, its
# signatures committed there, scripts/release.sh gives the signed zip; three days later (past
# the certificate's end, faketime), scripts/verify-release.sh, which rebuilds it in a second
# clone, finds the same zip byte for byte and both signatures valid and time-stamped; a zip with
# one changed byte in a program is refused.
#   bash tests/release/signed.sh [CLONE]
# CLONE, when given, is a clean clone of this commit with its release built, as
# tests/release/reproducible.sh leaves one: the signing takes place there, and is removed after.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
commit=$(git -C "$root" rev-parse HEAD)
work=$(mktemp -d)
signer=${1:-}
tsa_pid=""
trap '[ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null; rm -rf "$work" ${signer:+"$signer"}' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

bash "$root/tests/release/throwaway_cert.sh" "$work/cert"
export RELEASE_CA_FILE="$work/cert/ca.pem"
python3 "$root/tests/release/time_stamp_authority.py" "$work/cert" "$work/tsa.port" &
tsa_pid=$!
for _ in $(seq 100); do
    [ -s "$work/tsa.port" ] || ! kill -0 "$tsa_pid" 2>/dev/null && break
    sleep 0.1
done
[ -s "$work/tsa.port" ] || { echo "The time-stamp authority did not start" >&2; exit 1; }
tsa_url="http://127.0.0.1:$(cat "$work/tsa.port")"
if [ -z "$signer" ] || [ "$(git -C "$signer" rev-parse HEAD 2>/dev/null)" != "$commit" ]; then
    signer="$work/signer clone"
    git clone -q --no-checkout "$root" "$signer"
    git -C "$signer" checkout -q "$commit"
fi
cd "$signer"

printf 'not the password\n' >"$work/wrong.txt"
if bash scripts/sign-release.sh "$work/cert/code.p12" "$work/wrong.txt" "$tsa_url" \
    >"$work/wrong.log" 2>&1; then
    cat "$work/wrong.log"
    echo "A wrong password was accepted" >&2
    exit 1
fi
grep -q "can't be opened with the password" "$work/wrong.log"
[ -z "$(git status --porcelain)" ] && [ ! -e release ]
echo "A wrong password is refused; the tree stays clean"

bash scripts/sign-release.sh "$work/cert/code.p12" "$work/cert/password.txt" "$tsa_url" \
    >"$work/sign.log"
stamped=$(date -u +%F)
cat "$work/sign.log"
if grep -qF "$(cat "$work/cert/password.txt")" "$work/sign.log"; then
    echo "The password was printed" >&2
    exit 1
fi
version=$(cat build/release-build/release/VERSION)
git add release/signatures
git -c user.name=Test -c user.email=test@example.invalid commit -q -m "Signatures of $version"
bash scripts/release.sh
signed=("$signer"/build/release/*.zip)
cd "$work"

mkdir unpacked
unzip -q "${signed[0]}" -d unpacked
[ "$(unzip -Z1 "${signed[0]}" | tr '\n' ' ')" = \
    "tamsel.exe Ironvale.exe README.txt SHA256SUMS SHA256SUMS.unsigned " ]
(cd unpacked && sha256sum --quiet -c SHA256SUMS)
(cd "$signer/build/release-build/bin" && sha256sum --quiet -c "$work/unpacked/SHA256SUMS.unsigned")

# The verifier works from the signed commit, as anyone who cloned it would, after the end of
# every certificate involved: the time stamp keeps the signatures valid.
(cd "$signer" && faketime '+3 days' bash scripts/verify-release.sh "${signed[0]}" \
    "$RELEASE_CA_FILE") | tee verify.log
trusted="signer /CN=Vantoline Throwaway Publisher; time stamp /CN=Vantoline Throwaway Time Stamps,"
trusted+=" $stamped [0-9:]* UTC; valid, time-stamped $stamped \\(revocation not checked\\)"
[ "$(grep -cE "^(tamsel|Ironvale)\.exe: $trusted\$" verify.log)" = 2 ]

# One byte changed in the middle of a program, packed again as a well-formed zip.
cp -r unpacked changed
middle=$(($(stat -c %s changed/tamsel.exe) / 2))
byte=$(od -An -tu1 -j "$middle" -N 1 changed/tamsel.exe)
printf "\\$(printf %03o $((byte ^ 255)))" |
    dd of=changed/tamsel.exe bs=1 seek="$middle" conv=notrunc status=none
(cd changed && zip -q -X "$work/changed.zip" tamsel.exe Ironvale.exe README.txt SHA256SUMS \
    SHA256SUMS.unsigned)
if (cd "$signer" && bash scripts/verify-release.sh "$work/changed.zip" "$RELEASE_CA_FILE"); then
    echo "A zip with a changed program was accepted" >&2
    exit 1
fi
echo "A zip with one changed byte is refused"
