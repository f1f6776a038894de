#!/bin/sh
# material.sh: the RSA keys, self-signed certificates and SoftHSM2 tokens the
# tests, the bench and the demo work on, made by openssl, softhsm2-util and
# pkcs11-tool. Names and files are relative to DIR, which is made if missing.
#
#   softhsm-path                 the SoftHSM2 module's path
#   keypair DIR NAME [BITS|ec]   an RSA key (2048 bits unless BITS; ec: an EC
#                                P-256 key instead) and its certificate:
#                                NAME.key (PEM), NAME.p8 (PKCS#8 DER),
#                                NAME.pub (SubjectPublicKeyInfo DER), NAME.der
#   cert DIR KEY NAME [SERIAL]   NAME.der, one more certificate over KEY.key,
#                                subject CN=NAME (the part after the last /)
#   pfx DIR KEY NAME             NAME.p12: KEY.key with NAME.der, password "orv"
#   token DIR LABEL SO_PIN PIN [NAME...]
#                                DIR/softhsm2.conf (tokens in DIR/tokens) and a new
#                                token holding each NAME's .p8, .pub and .der
#                                under CKA_ID 01, 02, ...; prints its slot id
#   store DIR LABEL PIN ID FILE...
#                                FILEs onto the token under CKA_ID ID (none if
#                                empty), labelled by the first FILE's name: .p8 a
#                                private key, .pub a public key, .der a
#                                certificate, anything else a data object
#   labels DIR                   the token labels in slot order, one a line
#                                (empty for the free slot)
set -eu

fail() {
    echo "material: $*" >&2
    exit 1
}

usage() {
    sed -n '6,24s/^# \{0,1\}//p' "$0" >&2
    exit 2
}

softhsm_path() {
    for f in /usr/lib/softhsm/libsofthsm2.so "/usr/lib/$(uname -m)-linux-gnu/softhsm/libsofthsm2.so" \
             /usr/local/lib/softhsm/libsofthsm2.so; do
        [ -f "$f" ] && { echo "$f"; return; }
    done
    fail "libsofthsm2.so is not installed (apt-get install softhsm2)"
}

cert() { # KEY NAME [SERIAL]
    openssl req -x509 -new -key "$1.key" -subj "/CN=${2##*/}/O=ORVNative" -days 3650 ${3:+-set_serial "$3"} \
        -outform DER -out "$2.der"
}

# SoftHSM2 finds its token directory through this file alone.
use_tokens() {
    mkdir -p tokens
    printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$PWD" >softhsm2.conf
    SOFTHSM2_CONF=$PWD/softhsm2.conf
    export SOFTHSM2_CONF
}

store() { # LABEL PIN ID FILE...
    token_label=$1 pin=$2 id=$3
    shift 3
    object_label=$(basename "${1%.*}")
    module=$(softhsm_path)
    for f; do
        case $f in
            *.p8) type=privkey ;;
            *.pub) type=pubkey ;;
            *.der) type=cert ;;
            *) type=data ;;
        esac
        out=$(pkcs11-tool --module "$module" --token-label "$token_label" --login --pin "$pin" --write-object "$f" \
                  --type "$type" --label "$object_label" ${id:+--id "$id"} 2>&1) \
            || fail "pkcs11-tool could not store $f on $token_label: $out"
    done
}

[ $# -ge 1 ] || usage
command=$1
shift
case $command in
    softhsm-path | keypair | cert | pfx | token | store | labels) ;;
    *) usage ;;
esac
if [ "$command" != softhsm-path ]; then
    [ $# -ge 1 ] || usage
    mkdir -p "$1"
    cd "$1"
    shift
fi
case $command in
    softhsm-path)
        softhsm_path
        ;;
    keypair)
        [ $# -ge 1 ] || usage
        if [ "${2:-}" = ec ]; then
            openssl genpkey -quiet -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -pkeyopt ec_param_enc:named_curve \
                -out "$1.key"
        else
            openssl genpkey -quiet -algorithm RSA -pkeyopt "rsa_keygen_bits:${2:-2048}" -out "$1.key"
        fi
        openssl pkcs8 -topk8 -nocrypt -in "$1.key" -outform DER -out "$1.p8"
        openssl pkey -in "$1.key" -pubout -outform DER -out "$1.pub"
        cert "$1" "$1"
        ;;
    cert)
        [ $# -ge 2 ] || usage
        cert "$@"
        ;;
    pfx)
        [ $# -eq 2 ] || usage
        openssl pkcs12 -export -inkey "$1.key" -in "$2.der" -passout pass:orv -out "$2.p12"
        ;;
    token)
        [ $# -ge 3 ] || usage
        label=$1 so_pin=$2 pin=$3
        shift 3
        use_tokens
        out=$(softhsm2-util --init-token --free --label "$label" --so-pin "$so_pin" --pin "$pin" 2>&1) \
            || fail "softhsm2-util could not make token $label: $out"
        slot=${out##* }
        i=0
        for name; do
            i=$((i + 1))
            store "$label" "$pin" "$(printf %02x "$i")" "$name.der" "$name.p8" "$name.pub"
        done
        echo "$slot"
        ;;
    store)
        [ $# -ge 4 ] || usage
        use_tokens
        store "$@"
        ;;
    labels)
        use_tokens
        out=$(softhsm2-util --show-slots) || fail "softhsm2-util could not list the slots"
        printf '%s\n' "$out" | awk '/^Slot / { if (n++) print label; label = "" }
                                    /^ *Label:/ { sub(/^ *Label: */, ""); sub(/ *$/, ""); label = $0 }
                                    END { if (n) print label }'
        ;;
esac
