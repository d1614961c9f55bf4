#!/usr/bin/env bash
# Before the signature test (signature_test.cpp): copies of the programs in FOLDER, as built
# (NAME.exe), signed with a throwaway certificate (NAME.signed.exe) and signed with one byte
# changed in the middle (NAME.changed.exe), and the certificate's root in FOLDER/cert/ca.cer.
# The same again with a throwaway certificate whose leaf its CA signed with SHA-256
# (NAME.sha256.exe, NAME.sha256-changed.exe; its root in FOLDER/cert-sha256/ca.cer), which only
# Windows checks (see throwaway_cert.sh).
#   bash sign_copies.sh FOLDER PROGRAM.exe...
set -euo pipefail
out=$1
shift
rm -rf "$out"
bash "$(dirname "$0")/../release/throwaway_cert.sh" "$out/cert"
bash "$(dirname "$0")/../release/throwaway_cert.sh" "$out/cert-sha256" sha256

# sign CERT_FOLDER PROGRAM SIGNED CHANGED: a signed copy, and one with a byte changed.
sign() {
    local cert=$1 program=$2 signed=$3 changed=$4
    osslsigncode sign -pkcs12 "$cert/code.p12" -readpass "$cert/password.txt" \
        -h sha256 -n "$(basename "$program" .exe)" -in "$program" -out "$signed" >/dev/null
    cp "$signed" "$changed"
    local middle byte
    middle=$(($(stat -c %s "$program") / 2))
    byte=$(od -An -tu1 -j "$middle" -N 1 "$program")
    printf "\\$(printf %03o $((byte ^ 255)))" |
        dd of="$changed" bs=1 seek="$middle" conv=notrunc status=none
}
for program in "$@"; do
    name=$(basename "$program" .exe)
    cp "$program" "$out/$name.exe"
    sign "$out/cert" "$program" "$out/$name.signed.exe" "$out/$name.changed.exe"
    sign "$out/cert-sha256" "$program" "$out/$name.sha256.exe" "$out/$name.sha256-changed.exe"
done
# No check signs anything with the second certificate: its key goes now.
find "$out/cert-sha256" -type f ! -name ca.cer -delete
