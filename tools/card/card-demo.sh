#!/bin/sh
# card-demo.sh [BUILD_DIR]: the token tool against a virtual smart card
# (libcacard behind vpcd and pcscd) through OpenSC's PKCS#11 module, the card
# pulled and put back half-way. Every result is checked independently (the NSS
# database's certificate, Java's provider, openssl). Exits non-zero if any check
# fails; stops the card's processes and leaves nothing behind on every path.
set -eu

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build/linux}" && pwd)
module=/usr/lib/x86_64-linux-gnu/opensc-pkcs11.so
relay=$build/tools/card/orvcard-relay
tool_jar=$build/java/tool/orvtool.jar
card="sh $repo/tools/card/card.sh"

for f in "$tool_jar" "$build/java/orvnative.jar" "$build/libORVNative.so" "$relay" "$module"; do
    [ -f "$f" ] || { echo "card-demo: $f is missing; run the build first (sh tools/install-deps.sh)" >&2; exit 1; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/orv-card-demo.XXXXXX")
trap '$card stop "$tmp/card"; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

step() { printf '\n== %s ==\n' "$*"; }
fail() { echo "card-demo: FAILED: $*" >&2; exit 1; }
tool() { ORV_BUILD_DIR=$build sh "$repo/tools/orvtool" --module "$module" "$@"; }
# expect_slots N: the tool lists N slots with a token.
expect_slots() {
    tool slots >"$tmp/slots.txt" || { cat "$tmp/slots.txt"; fail "slots failed"; }
    cat "$tmp/slots.txt"
    grep -qx "Slots with a token: $1" "$tmp/slots.txt" || fail "expected $1 slot(s) with a token"
}
sign_and_check() {
    tool --slot 0 --pin-env ORV_PIN sign "$1"
    java -cp "$tool_jar" orvane.tool.JavaVerify "$tmp/card/cert.pem" "$1" "$1.sig" sha256 ||
        fail "Java does not accept the card's signature"
    openssl dgst -sha256 -verify "$tmp/pub.pem" -signature "$1.sig" "$1" || fail "openssl does not accept it"
}

step "Starting pcscd with a vpcd reader, and a soft CAC card from a new NSS database"
$card start "$tmp/card" "$relay"
ORV_PIN=$(cat "$tmp/card/pin")
export ORV_PIN
openssl x509 -in "$tmp/card/cert.pem" -pubkey -noout >"$tmp/pub.pem"
cd "$tmp"

step "Slots"
expect_slots 1
grep -q "Label: *ORV card signer$" slots.txt || fail "the token's label is not the certificate's common name"
grep -q "Manufacturer: *Common Access Card$" slots.txt || fail "the token is not OpenSC's CAC emulation"

step "Certificates on the card, compared with the NSS database's"
tool --slot 0 certs >certs.txt || { cat certs.txt; fail "certs failed"; }
cat certs.txt
expected=$(openssl x509 -in card/cert.pem -noout -fingerprint -sha256 | sed 's/.*=//')
grep -q "SHA-256: $expected" certs.txt || fail "no certificate with the database's fingerprint ($expected)"
echo "Fingerprint matches the NSS database's certificate."

step "Signing document.txt on the card (SHA256withRSA), checked by Java and openssl"
printf 'ORVNative card demo document, %s\n' "$(date -u)" >document.txt
sign_and_check document.txt

step "Verifying on the card"
tool --slot 0 verify document.txt document.txt.sig
cp document.txt tampered.txt
echo "one more line" >>tampered.txt
printf 'tampered copy: '
status=0
tool --slot 0 verify tampered.txt document.txt.sig || status=$?
[ "$status" -eq 1 ] || fail "the tampered copy gave exit status $status, expected 1"

step "A wrong PIN is refused (this card answers CKR_GENERAL_ERROR)"
ORV_WRONG_PIN=13572468
export ORV_WRONG_PIN
status=0
tool --slot 0 --pin-env ORV_WRONG_PIN sign document.txt 2>wrong-pin.txt || status=$?
cat wrong-pin.txt
[ "$status" -eq 3 ] && grep -q "C_Login('\*\*\*\*', '1') - CKR_GENERAL_ERROR" wrong-pin.txt ||
    fail "a wrong PIN was not refused as expected"

step "Pulling the card"
$card remove "$tmp/card"
expect_slots 0
status=0
tool --slot 0 certs 2>gone.txt || status=$?
cat gone.txt
[ "$status" -eq 3 ] && grep -q "no slot with a token" gone.txt || fail "the tool still found a token"

step "Putting the card back"
$card insert "$tmp/card"
expect_slots 1

step "Signing again after the card came back"
printf 'second document, %s\n' "$(date -u)" >second.txt
sign_and_check second.txt

printf '\nCard demo finished: every check passed.\n'
