#!/usr/bin/env bash
# Makes a throwaway code-signing certificate in FOLDER, for tests only: a self-signed CA
# (ca.pem, and ca.cer in DER for Windows' certificate stores) and a leaf it signed for code
# signing, with its key, in code.p12 under the password in password.txt, and a time-stamp
# authority's certificate from the same CA (tsa.pem, key in tsa.key). Valid for two days, so that
# a test run across midnight in any time zone still sees them valid, and `faketime '+3 days'`
# is past their end.
#
#   bash throwaway_cert.sh FOLDER [sha256]
# The CA signs the leaf with SHA-1: Wine 8's WinVerifyTrust reads the signer certificate's
# signature hash into 20 bytes before it checks the chain; for a certificate signed with SHA-256
# that read fails and Wine reports success without any check, whatever the root. The programs'
# own Authenticode digest stays SHA-256. With "sha256" the CA signs the leaf with SHA-256, and
# the names say so: a certificate that only Windows checks.
set -euo pipefail
out=$1
leaf_hash=${2:-sha1}
kind=""
[ "$leaf_hash" = sha1 ] || kind=" SHA-256"
mkdir -p "$out"
cd "$out"
printf 'throwaway password\n' >password.txt
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
    -subj "/CN=Vantoline Throwaway${kind} Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout code.key -out code.csr \
    -subj "/CN=Vantoline Throwaway${kind} Publisher" 2>/dev/null
printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >code.ext
openssl x509 -req -in code.csr -CA ca.pem -CAkey ca.key -set_serial 2 -days 2 "-$leaf_hash" \
    -extfile code.ext -out code.pem 2>/dev/null
# An EC key is made at once; the time-stamp authority signs with it.
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout tsa.key -out tsa.csr \
    -subj "/CN=Vantoline Throwaway Time Stamps" 2>/dev/null
printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\n' >tsa.ext
openssl x509 -req -in tsa.csr -CA ca.pem -CAkey ca.key -set_serial 3 -days 2 -sha256 \
    -extfile tsa.ext -out tsa.pem 2>/dev/null
openssl pkcs12 -export -inkey code.key -in code.pem -certfile ca.pem \
    -passout file:password.txt -out code.p12
openssl x509 -in ca.pem -outform DER -out ca.cer
rm -f ca.key code.key code.csr code.ext tsa.csr tsa.ext
