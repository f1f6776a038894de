#!/bin/sh
# sign.sh FILE...: an Authenticode signature (SHA-256, osslsigncode) on each
# PE file, in place. SIGN_CERT is the certificate chain (PEM, the signer's
# certificate first); SIGN_KEY the key: a PEM file, or a pkcs11: URI of a key
# on a token, reached through OpenSSL's PKCS#11 engine and the module
# SIGN_PKCS11_MODULE. The token's PIN (or a PEM key's passphrase) comes from
# SIGN_PIN alone and reaches osslsigncode through a pipe: never a command line,
# never a child's environment, never printed. SIGN_TIMESTAMP_URL adds an
# RFC 3161 timestamp from that server; without it the same key and the same
# SOURCE_DATE_EPOCH (the signing time) give the same bytes. A file whose signing fails is left as it was.
set -eu
fail() {
    echo "sign: $*" >&2
    exit 1
}
pin=${SIGN_PIN-}
unset SIGN_PIN
cert=${SIGN_CERT-} key=${SIGN_KEY-} module=${SIGN_PKCS11_MODULE-}
[ -n "$cert" ] && [ -n "$key" ] || fail "SIGN_CERT and SIGN_KEY go together"
[ -r "$cert" ] || fail "cannot read the certificate chain SIGN_CERT=$cert"
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (make deps)"
case $key in
pkcs11:*)
    case $key in *pin-value=*) fail "SIGN_KEY carries a pin-value; give the PIN in SIGN_PIN instead" ;; esac
    [ -n "$module" ] || fail "SIGN_KEY is a pkcs11: URI; SIGN_PKCS11_MODULE names the token's PKCS#11 module"
    [ -r "$module" ] || fail "cannot read the PKCS#11 module SIGN_PKCS11_MODULE=$module"
    [ -n "$pin" ] || fail "SIGN_KEY is on a token; put its PIN in the environment variable SIGN_PIN"
    ;;
*)
    [ -r "$key" ] || fail "cannot read the key SIGN_KEY=$key"
    module=""
    ;;
esac

osslsign() { # IN OUT
    set -- -certs "$cert" -key "$key" -h sha256 -n ORVNative -in "$1" -out "$2"
    # osslsigncode puts the clock's time in a signing-time attribute unless told one.
    [ -n "${SOURCE_DATE_EPOCH-}" ] && set -- -time "$SOURCE_DATE_EPOCH" "$@"
    [ -n "${SIGN_TIMESTAMP_URL-}" ] && set -- -ts "$SIGN_TIMESTAMP_URL" "$@"
    [ -n "$module" ] && set -- -pkcs11module "$module" "$@"
    if [ -n "$pin" ]; then
        printf '%s' "$pin" | osslsigncode sign -readpass - "$@"
    else
        osslsigncode sign "$@" </dev/null
    fi
}

log=$(mktemp)
trap 'rm -f "$log"' EXIT
for file; do
    rm -f "$file.signed"
    if ! osslsign "$file" "$file.signed" >"$log" 2>&1; then
        rm -f "$file.signed"
        # libp11's reason, as in "...:PIN incorrect:p11_slot.c:208:".
        reason=$(sed -n 's/.*:\(PIN [a-z ]*\):.*/\1/p' "$log" | head -1)
        [ -z "$reason" ] || fail "the token refused the PIN in SIGN_PIN ($reason); $file is not signed"
        sed 's/^/    /' "$log" >&2
        fail "osslsigncode could not sign $file with $key"
    fi
    mv "$file.signed" "$file"
done
