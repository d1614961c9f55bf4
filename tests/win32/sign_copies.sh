#!/usr/bin/env bash
# Before the signature test (signature_test.cpp): copies of the programs in FOLDER, as built
# (NAME.exe), signed with a throwaway certificate (NAME.signed.exe) and signed with one byte
# changed in the middle (NAME.changed.exe), and the certificate's root in FOLDER/cert/ca.cer.
#   bash sign_copies.sh FOLDER PROGRAM.exe...
set -euo pipefail
out=$1
shift
rm -rf "$out"
bash "$(dirname "$0")/../release/throwaway_cert.sh" "$out/cert"
for program in "$@"; do
    name=$(basename "$program" .exe)
    cp "$program" "$out/$name.exe"
    osslsigncode sign -pkcs12 "$out/cert/code.p12" -readpass "$out/cert/password.txt" \
        -h sha256 -n "$name" -in "$program" -out "$out/$name.signed.exe" >/dev/null
    cp "$out/$name.signed.exe" "$out/$name.changed.exe"
    middle=$(($(stat -c %s "$program") / 2))
    byte=$(od -An -tu1 -j "$middle" -N 1 "$program")
    printf "\\$(printf %03o $((byte ^ 255)))" |
        dd of="$out/$name.changed.exe" bs=1 seek="$middle" conv=notrunc status=none
done
