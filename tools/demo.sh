#!/bin/sh
# demo.sh [BUILD_DIR]: a short tour of the token tool against a throwaway
# SoftHSM2 token, with independent checks (Java's provider, openssl) of what the
# token produced. Exits non-zero if any check fails; leaves nothing behind.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build/linux}" && pwd)
label=orv-demo
tool_jar=$build/java/tool/orvtool.jar

material() { sh "$repo/tools/material.sh" "$@"; }
module=${ORV_DEMO_MODULE:-$(material softhsm-path)}
for f in "$tool_jar" "$build/java/orvnative.jar" "$build/libORVNative.so" "$module"; do
    [ -f "$f" ] || { echo "demo: $f is missing; run the build first" >&2; exit 1; }
done
for c in java openssl softhsm2-util pkcs11-tool; do
    command -v "$c" >/dev/null || { echo "demo: $c is not installed (make deps)" >&2; exit 1; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/orv-demo.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

step() { printf '\n== %s ==\n' "$*"; }
fail() { echo "demo: FAILED: $*" >&2; exit 1; }
tool() { ORV_BUILD_DIR=$build sh "$repo/tools/orvtool" --module "$module" "$@"; }
random_hex() { od -An -N"$1" -tx1 /dev/urandom | tr -d ' \n'; }

# A token of our own, in the throwaway directory; the tool reads the PIN from
# this variable, never from its command line.
ORV_PIN=$(random_hex 6)
export ORV_PIN SOFTHSM2_CONF="$tmp/softhsm2.conf"

step "Creating throwaway token '$label' and an RSA-2048 key with a self-signed certificate"
material keypair "$tmp" signer
material token "$tmp" "$label" "$(random_hex 6)" "$ORV_PIN" signer >/dev/null
cd "$tmp"
echo "Stored private key, public key and certificate under CKA_ID 01."

step "Slots"
tool slots

step "Certificates on '$label'"
tool --token "$label" certs >certs.txt || { cat certs.txt; fail "certs failed"; }
cat certs.txt
expected=$(openssl x509 -in signer.der -noout -fingerprint -sha256 | sed 's/.*=//')
grep -q "SHA-256: $expected" certs.txt || fail "fingerprint differs from openssl's ($expected)"
echo "Fingerprint matches openssl's."

step "Signing document.txt on the token (SHA256withRSA)"
printf 'ORVNative demo document, %s\n' "$(date -u)" >document.txt
tool --token "$label" --pin-env ORV_PIN sign document.txt

step "Checking that signature without the token"
java -cp "$tool_jar" orvane.tool.JavaVerify signer.der document.txt document.txt.sig sha256
openssl dgst -sha256 -verify signer.pub -signature document.txt.sig document.txt

step "Verifying on the token"
tool --token "$label" verify document.txt document.txt.sig
cp document.txt tampered.txt
echo "one more line" >>tampered.txt
printf 'tampered copy: '
status=0
tool --token "$label" verify tampered.txt document.txt.sig || status=$?
[ "$status" -eq 1 ] || fail "the tampered copy gave exit status $status, expected 1"

step "SHA-1 digest on the token, compared with openssl"
token_sum=$(tool --token "$label" --alg sha1 digest document.txt | cut -d' ' -f1)
openssl_sum=$(openssl dgst -sha1 -r document.txt | cut -d' ' -f1)
echo "token:   $token_sum"
echo "openssl: $openssl_sum"
[ "$token_sum" = "$openssl_sum" ] || fail "the digests differ"

step "16 random bytes from the token"
tool --token "$label" random 16

step "A wrong PIN is refused"
ORV_WRONG_PIN=$(random_hex 6)
export ORV_WRONG_PIN
status=0
tool --token "$label" --pin-env ORV_WRONG_PIN sign document.txt 2>wrong-pin.txt || status=$?
cat wrong-pin.txt
[ "$status" -eq 3 ] && grep -q CKR_PIN_INCORRECT wrong-pin.txt || fail "a wrong PIN was not refused as expected"

printf '\nDemo finished: every check passed.\n'
