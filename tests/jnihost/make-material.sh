#!/bin/sh
# make-material.sh OUTDIR: what the host's CryptoAPI cases use, made by openssl.
#   signer.pem/.blob/.p12  the signer's RSA-1024 key (PEM, PRIVATEKEYBLOB, PKCS#12 with its certificate)
#   signer.der             the signer's self-signed certificate, stored in MY with the key
#   stranger.der           a certificate over another key, never stored
#   document.sha1/.md5     digests of document.txt
#   document.sha1.sig/.md5.sig  openssl's PKCS#1 signatures of those digests, in
#                          CryptoAPI's little-endian order
#   session.key            16 random bytes; session.wrapped: them encrypted to the
#                          signer with PKCS#1 v1.5, big-endian as Java's Cipher writes it
#   many-NN.der            24 distinct certificates for the store ORVHOSTMANY
set -e
out=$1
mkdir -p "$out"
cd "$out"
openssl genrsa -out signer.pem 1024 2>/dev/null
openssl rsa -in signer.pem -outform MSBLOB -out signer.blob 2>/dev/null
openssl req -x509 -new -key signer.pem -subj "/CN=ORV JNI host signer" -set_serial 1 -days 3650 -sha256 \
    -outform DER -out signer.der 2>/dev/null
openssl x509 -inform DER -in signer.der -out signer.crt
openssl pkcs12 -export -inkey signer.pem -in signer.crt -passout pass:orv -out signer.p12
openssl genrsa -out stranger.pem 1024 2>/dev/null
openssl req -x509 -new -key stranger.pem -subj "/CN=ORV JNI host stranger" -set_serial 2 -days 3650 \
    -outform DER -out stranger.der 2>/dev/null

printf 'The host signs this document.' >document.txt
for alg in sha1 md5; do
    openssl dgst -$alg -binary document.txt >document.$alg
    openssl pkeyutl -sign -inkey signer.pem -pkeyopt digest:$alg -in document.$alg -out document.$alg.be
    python3 -c 'import sys; open(sys.argv[2], "wb").write(open(sys.argv[1], "rb").read()[::-1])' \
        document.$alg.be document.$alg.sig
    rm document.$alg.be
done
openssl rand -out session.key 16
openssl pkeyutl -encrypt -inkey signer.pem -pkeyopt rsa_padding_mode:pkcs1 -in session.key -out session.wrapped

# Distinct certificates without signing each: one template whose 8-byte serial
# number is rewritten; nothing here checks their signatures.
openssl req -x509 -new -key signer.pem -subj "/CN=ORV JNI host many" -set_serial 0x7e57c0de7e57c0de \
    -days 3650 -outform DER -out many.template 2>/dev/null
python3 - <<'PY'
template = open("many.template", "rb").read()
marker = bytes.fromhex("7e57c0de7e57c0de")
assert template.count(marker) == 1
for i in range(1, 25):
    der = template.replace(marker, (0x7e57000000000000 + i).to_bytes(8, "big"))
    open("many-%02d.der" % i, "wb").write(der)
PY
rm many.template
