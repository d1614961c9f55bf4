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

# A CA and a leaf as throwaway_cert.sh makes them, the leaf signed with SHA-256.
sha256_cert() (
    mkdir -p "$1" && cd "$1"
    printf 'throwaway password\n' >password.txt
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -sha256 \
        -subj "/CN=Vantoline Throwaway SHA-256 Test CA" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -keyout code.key -out code.csr \
        -subj "/CN=Vantoline Throwaway SHA-256 Publisher" 2>/dev/null
    printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >code.ext
    openssl x509 -req -in code.csr -CA ca.pem -CAkey ca.key -set_serial 2 -days 2 -sha256 \
        -extfile code.ext -out code.pem 2>/dev/null
    openssl pkcs12 -export -inkey code.key -in code.pem -certfile ca.pem \
        -passout file:password.txt -out code.p12
    openssl x509 -in ca.pem -outform DER -out ca.cer
    rm -f ca.key code.key code.csr code.ext
)
sha256_cert "$out/cert-sha256"

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
