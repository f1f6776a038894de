#!/bin/sh
# setup-tokens.sh WORK "SIZES" [DIGESTERS]: SoftHSM2 tokens for the benchmark, under
# WORK/tokens (SOFTHSM2_CONF must point at WORK/softhsm2.conf, the PIN is in
# ORV_BENCH_PIN). Token orv-bench gets an RSA-2048 key pair and its
# certificate; orv-bench-N, for each N above 1 in SIZES, N certificates of the
# same key, each with a private key object of its own CKA_ID (the JDK's key
# store shows a certificate only beside its key); empty tokens orv-bench-d1 to
# orv-bench-dDIGESTERS, one per digesting thread of the contention run. Also
# writes the inputs and the openssl-made expectations the driver checks
# results against.
set -eu
work=$(cd "$1" && pwd)
sizes=$2
digesters=${3:-0}
material="sh $(cd "$(dirname "$0")/.." && pwd)/tools/material.sh"
so_pin=$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')
: >"$work/slots.txt"

# Slot ids are random; the driver finds tokens by the ids recorded here.
new_token() {
    echo "$1 $($material token "$work" "$@")" >>"$work/slots.txt"
}

# The driver reads cert.der; SunPKCS11 finds the key by its label, bench.
$material keypair "$work" bench
new_token orv-bench "$so_pin" "$ORV_BENCH_PIN" bench
cd "$work"
cp bench.der cert.der

head -c 1024 /dev/urandom >data-1k.bin
head -c 1048576 /dev/urandom >data-1m.bin
openssl dgst -sha1 -r data-1k.bin >data-1k.sha1
openssl dgst -sha1 -r data-1m.bin >data-1m.sha1
openssl dgst -sha256 -sign bench.key -out data-1k.sha256.sig data-1k.bin
head -c 32 /dev/urandom >secret.bin
openssl pkeyutl -encrypt -pubin -keyform DER -inkey bench.pub -in secret.bin -out secret.enc

# One writer at a time: SoftHSM2's file store is not made for two.
for n in $sizes; do
    [ "$n" -gt 1 ] || continue
    label=orv-bench-$n
    new_token "$label" "$so_pin" "$ORV_BENCH_PIN"
    mkdir -p "$label"
    i=1
    while [ "$i" -le "$n" ]; do
        $material cert "$work" bench "$label/cert-$i" "$i"
        $material store "$work" "$label" "$ORV_BENCH_PIN" "$(printf '%04x' "$i")" "$label/cert-$i.der" bench.p8
        i=$((i + 1))
    done
done

i=1
while [ "$i" -le "$digesters" ]; do
    new_token "orv-bench-d$i" "$so_pin" "$ORV_BENCH_PIN"
    i=$((i + 1))
done
