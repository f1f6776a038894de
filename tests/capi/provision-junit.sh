#!/bin/sh
# provision-junit.sh ORVWIN ROOT: a fresh stand-in state directory for the
# CapiToken JUnit suite, made with openssl and orvwin as an administrator would.
#   MY     signer.p12 in container ORV_JUNIT (Enhanced provider, key spec 1) and
#          base.p12 over the same key naming the Base provider, and nokey.der
#          whose container ORV_JUNIT_EMPTY holds no key
#          ksp.p12 over the same key held by the smart card key storage provider
#          (key ORV_JUNIT_KSP), kspcancel.p12 whose key refuses its use as a
#          cancelled PIN prompt does, and kspnokey.der naming a missing key;
#          kspdsa.p12 over a DSA-1024 key that provider holds (ORV_JUNIT_KSP_DSA)
#   MANY   2000 certificates, to list through one native call
# ROOT/material keeps the DER certificates (and the stranger's, never stored)
# for the tests to read.
set -e
orvwin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$2
material="sh $(cd "$(dirname "$0")/../.." && pwd)/tools/material.sh"
rm -rf "$root"
mkdir -p "$root/material"
export ORV_WIN32_ROOT="$root"
cd "$root/material"

$material keypair . signer 1024
$material keypair . stranger 1024
for name in base ksp kspcancel nokey kspnokey; do
    $material cert . signer $name
done
for name in signer base ksp kspcancel; do
    $material pfx . signer $name
done
"$orvwin" import-pfx --store MY --container ORV_JUNIT --keyspec 1 --password orv signer.p12 >/dev/null
"$orvwin" import-pfx --store MY --container ORV_JUNIT --keyspec 1 --password orv \
    --provider "Microsoft Base Cryptographic Provider v1.0" base.p12 >/dev/null

ksp="Microsoft Smart Card Key Storage Provider"
"$orvwin" import-pfx --store MY --container ORV_JUNIT_KSP --keyspec 1 --password orv --ksp "$ksp" ksp.p12 >/dev/null
"$orvwin" import-pfx --store MY --container ORV_JUNIT_KSP_CANCEL --keyspec 1 --password orv --ksp "$ksp" \
    kspcancel.p12 >/dev/null
"$orvwin" refuse-key --ksp "$ksp" --container ORV_JUNIT_KSP_CANCEL --status 0x8010006E >/dev/null
openssl genpkey -genparam -algorithm DSA -pkeyopt dsa_paramgen_bits:1024 -pkeyopt dsa_paramgen_q_bits:160 \
    -out dsa-params.pem 2>/dev/null
openssl genpkey -paramfile dsa-params.pem -out kspdsa.key
openssl req -x509 -new -key kspdsa.key -subj "/CN=ORV JUnit kspdsa" -days 3650 -out kspdsa.crt 2>/dev/null
openssl x509 -in kspdsa.crt -outform DER -out kspdsa.der
openssl pkcs12 -export -inkey kspdsa.key -in kspdsa.crt -passout pass:orv -out kspdsa.p12
"$orvwin" import-pfx --store MY --container ORV_JUNIT_KSP_DSA --keyspec 2 --password orv --ksp "$ksp" kspdsa.p12 \
    >/dev/null

# Many distinct certificates without signing each: copies of one template
# whose 8-byte serial number is rewritten (nothing here checks signatures),
# written straight into the store's documented layout, stores/<NAME>/<sha1>.der,
# since one orvwin run per certificate takes minutes.
$material cert . signer many 0x7e57c0de7e57c0de
"$orvwin" add-cert --store MANY many.der >/dev/null
python3 - "$root/stores/MANY" <<'PY'
import hashlib, sys
template = open("many.der", "rb").read()
marker = bytes.fromhex("7e57c0de7e57c0de")
assert template.count(marker) == 1
for i in range(1, 2000):
    der = template.replace(marker, (0x7e57000000000000 + i).to_bytes(8, "big"))
    with open("%s/%s.der" % (sys.argv[1], hashlib.sha1(der).hexdigest()), "wb") as out:
        out.write(der)
PY

# A certificate whose key-provider information names a container without keys.
"$orvwin" add-cert --store MY nokey.der >/dev/null
mkdir -p "$root/containers/ORV_JUNIT_EMPTY"
printf 'container=ORV_JUNIT_EMPTY\nprovider=Microsoft%%20Enhanced%%20Cryptographic%%20Provider%%20v1.0\nprovtype=1\nflags=0\nkeyspec=1\n' \
    >"$root/stores/MY/$(openssl dgst -sha1 -r nokey.der | cut -c1-40).keyprov"

# A certificate whose key-provider information names a key the provider lacks.
"$orvwin" add-cert --store MY kspnokey.der >/dev/null
printf 'container=ORV_JUNIT_KSP_MISSING\nprovider=Microsoft%%20Smart%%20Card%%20Key%%20Storage%%20Provider\nprovtype=0\nflags=0\nkeyspec=1\n' \
    >"$root/stores/MY/$(openssl dgst -sha1 -r kspnokey.der | cut -c1-40).keyprov"
