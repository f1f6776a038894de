#!/bin/sh
# make-material.sh OUTDIR: what the host's CryptoAPI cases use, made by openssl.
#   signer.key/.blob/.p12  the signer's RSA-1024 key (PEM, PRIVATEKEYBLOB, PKCS#12 with its certificate)
#   signer.der             the signer's self-signed certificate, stored in MY with the key
#   stranger.der           a certificate over another key, never stored
#   document.sha1/.md5     digests of document.txt
#   document.sha1.sig/.md5.sig  openssl's PKCS#1 signatures of those digests, in
#                          CryptoAPI's little-endian order
#   session.key            16 random bytes; session.wrapped: them encrypted to the
#                          signer with PKCS#1 v1.5, big-endian as Java's Cipher writes it
#   many-NN.der            24 distinct certificates for the store ORVHOSTMANY
set -e
material="sh $(cd "$(dirname "$0")/../.." && pwd)/tools/material.sh"
$material keypair "$1" signer 1024
$material keypair "$1" stranger 1024
$material pfx "$1" signer signer
# Distinct certificates without signing each: one template whose 8-byte serial
# number is rewritten; nothing here checks their signatures.
$material cert "$1" signer template 0x7e57c0de7e57c0de
cd "$1"
openssl rsa -in signer.key -outform MSBLOB -out signer.blob 2>/dev/null

printf 'The host signs this document.' >document.txt
for alg in sha1 md5; do
    openssl dgst -$alg -binary document.txt >document.$alg
    openssl pkeyutl -sign -inkey signer.key -pkeyopt digest:$alg -in document.$alg -out document.$alg.be
    python3 -c 'import sys; open(sys.argv[2], "wb").write(open(sys.argv[1], "rb").read()[::-1])' \
        document.$alg.be document.$alg.sig
    rm document.$alg.be
done
openssl rand -out session.key 16
openssl pkeyutl -encrypt -inkey signer.key -pkeyopt rsa_padding_mode:pkcs1 -in session.key -out session.wrapped

python3 - <<'PY'
template = open("template.der", "rb").read()
marker = bytes.fromhex("7e57c0de7e57c0de")
assert template.count(marker) == 1
for i in range(1, 25):
    der = template.replace(marker, (0x7e57000000000000 + i).to_bytes(8, "big"))
    open("many-%02d.der" % i, "wb").write(der)
PY
rm template.der
