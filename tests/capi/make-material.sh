#!/bin/sh
# make-material.sh OUTDIR: the keys and certificates the CryptoAPI tests
# provision, made fresh by openssl for each build tree.
#   signer.blob      the signer's RSA key as a CryptoAPI PRIVATEKEYBLOB
#   signer-N.der     self-signed certificates over that key, serials 1..5
#   stranger.der     a certificate over another key, never provisioned
set -e
out=$1
mkdir -p "$out"
cd "$out"
openssl genrsa -out signer.pem 1024 2>/dev/null
openssl rsa -in signer.pem -outform MSBLOB -out signer.blob 2>/dev/null
for serial in 1 2 3 4 5; do
    openssl req -x509 -new -key signer.pem -subj "/CN=ORV CAPI Test Signer $serial" -set_serial "$serial" \
        -days 3650 -sha256 -outform DER -out "signer-$serial.der" 2>/dev/null
done
openssl genrsa -out stranger.pem 1024 2>/dev/null
openssl req -x509 -new -key stranger.pem -subj "/CN=ORV CAPI Test Stranger" -set_serial 99 \
    -days 3650 -sha256 -outform DER -out stranger.der 2>/dev/null
