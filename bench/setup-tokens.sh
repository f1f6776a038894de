#!/bin/sh
# setup-tokens.sh WORK "SIZES": SoftHSM2 tokens for the benchmark, under
# WORK/tokens (SOFTHSM2_CONF must point at WORK/softhsm2.conf, the PIN is in
# ORV_BENCH_PIN). Token orv-bench gets an RSA-2048 key pair and its
# certificate; orv-bench-N, for each N above 1 in SIZES, N certificates of the
# same key, each with a private key object of its own CKA_ID (the JDK's key
# store shows a certificate only beside its key). Also writes the inputs and the
# openssl-made expectations the driver checks results against.
set -eu
work=$1
sizes=$2
module=${ORV_BENCH_MODULE:-/usr/lib/softhsm/libsofthsm2.so}
cd "$work"
mkdir -p tokens
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$work" >softhsm2.conf
so_pin=$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')
: >slots.txt

# Slot ids are random; the driver finds tokens by the ids recorded here.
new_token() {
    out=$(softhsm2-util --init-token --free --label "$1" --so-pin "$so_pin" --pin "$ORV_BENCH_PIN")
    echo "$1 ${out##* }" >>slots.txt
}

store() { # label file type id object-label
    pkcs11-tool --module "$module" --token-label "$1" --login --pin "$ORV_BENCH_PIN" \
                --write-object "$2" --type "$3" --id "$4" --label "$5" >/dev/null 2>&1 \
        || { echo "setup-tokens: pkcs11-tool could not store $2 on $1" >&2; exit 1; }
}

new_token orv-bench
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
        -subj "/CN=ORV bench signer" 2>/dev/null
openssl pkcs8 -topk8 -nocrypt -in key.pem -outform DER -out key.der
openssl pkey -in key.pem -pubout -out pub.pem
openssl pkey -in key.pem -pubout -outform DER -out pub.der
openssl x509 -in cert.pem -outform DER -out cert.der
store orv-bench key.der privkey 01 bench
store orv-bench pub.der pubkey 01 bench
store orv-bench cert.der cert 01 bench

head -c 1024 /dev/urandom >data-1k.bin
head -c 1048576 /dev/urandom >data-1m.bin
openssl dgst -sha1 -r data-1k.bin >data-1k.sha1
openssl dgst -sha1 -r data-1m.bin >data-1m.sha1
openssl dgst -sha256 -sign key.pem -out data-1k.sha256.sig data-1k.bin
head -c 32 /dev/urandom >secret.bin
openssl pkeyutl -encrypt -pubin -inkey pub.pem -in secret.bin -out secret.enc

list_token() {
    label=orv-bench-$1
    mkdir -p "$label"
    i=1
    while [ "$i" -le "$1" ]; do
        openssl req -x509 -key key.pem -out "$label/cert-$i.pem" -days 2 -set_serial "$i" \
                -subj "/CN=ORV bench listing $i of $1" 2>/dev/null
        openssl x509 -in "$label/cert-$i.pem" -outform DER -out "$label/cert-$i.der"
        id=$(printf '%04x' "$i")
        store "$label" "$label/cert-$i.der" cert "$id" "cert-$i"
        store "$label" key.der privkey "$id" "cert-$i"
        i=$((i + 1))
    done
}

# One writer at a time: SoftHSM2's file store is not made for two.
for n in $sizes; do
    if [ "$n" -gt 1 ]; then
        new_token "orv-bench-$n"
        list_token "$n"
    fi
done
