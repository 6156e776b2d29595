#!/usr/bin/env bash
# A throw-away code-signing certificate for the tests: a CA of its own and a
# signer it issued, so that checking a signature against this CA means the
# build signed with the key it was given.
#   throwaway-cert.sh DIR   -> DIR/ca.pem, DIR/signer.pfx, DIR/password
set -euo pipefail
dir=$1
mkdir -p "$dir" && chmod 700 "$dir" && cd "$dir"
openssl rand -hex 16 >password
subject="/C=BR/O=Bootloader Wizard test"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 \
    -subj "$subject/CN=Throw-away test CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "$subject/CN=Throw-away test signer" 2>/dev/null
printf '%s\n' basicConstraints=CA:FALSE keyUsage=critical,digitalSignature extendedKeyUsage=codeSigning >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 -extfile signer.ext \
    -out signer.pem 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout file:password -out signer.pfx
rm -f ca.key signer.key signer.csr signer.ext ca.srl
