#!/bin/sh
# provision-linux.sh ORVWIN ROOT MATERIAL REGFILE: a fresh stand-in state for
# both Linux runners of the host's cases, made as an administrator would with
# orvwin: the signer's key and certificate in MY (container ORV_JNIHOST), the
# many-NN certificates in ORVHOSTMANY, and the registry values of REGFILE.
set -e
orvwin=$1 root=$2 material=$3 reg=$4
rm -rf "$root"
mkdir -p "$root"
export ORV_WIN32_ROOT="$root"
"$orvwin" import-pfx --store MY --container ORV_JNIHOST --keyspec 1 --password orv "$material/signer.p12" >/dev/null
for cert in "$material"/many-*.der; do
    "$orvwin" add-cert --store ORVHOSTMANY "$cert" >/dev/null
done
"$orvwin" import-reg "$reg" >/dev/null
