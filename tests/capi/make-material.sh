#!/bin/sh
# make-material.sh OUTDIR: the keys and certificates the CryptoAPI tests
# provision, made fresh by openssl for each build tree.
#   signer.blob      the signer's RSA key as a CryptoAPI PRIVATEKEYBLOB
#   signer-N.der     self-signed certificates over that key, serials 1..5
#   stranger.der     a certificate over another key, never provisioned
set -e
material="sh $(cd "$(dirname "$0")/../.." && pwd)/tools/material.sh"
$material keypair "$1" signer 1024
$material keypair "$1" stranger 1024
for serial in 1 2 3 4 5; do
    $material cert "$1" signer "signer-$serial" "$serial"
done
openssl rsa -in "$1/signer.key" -outform MSBLOB -out "$1/signer.blob" 2>/dev/null
