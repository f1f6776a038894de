#!/bin/sh
# check-release.sh SOURCE BUILD OBJDUMP: `make dist` from the trees in BUILD
# (linux and win32 beside this win64 tree) unsigned, signed with a throwaway
# PEM key, signed with that key on a SoftHSM2 token, and with a wrong PIN.
set -u
source=$1 build=$2 objdump=$3 status=0
fail() { echo "FAIL: $*"; status=1; }
unset SIGN_CERT SIGN_KEY SIGN_PKCS11_MODULE SIGN_PIN SIGN_TIMESTAMP_URL SOURCE_ARCHIVE SOURCE_DATE_EPOCH
for f in linux/libORVNative.so linux/java/tool/orvtool.jar win32/bin/ORVNative.dll; do
    [ -f "$build/$f" ] || { echo "SKIP: $build/$f is not built (make test builds it before this tree)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
key=$work/key pin=73519864 version=$(cat "$source/VERSION")
sh "$source/tools/material.sh" codesign "$key" cs >/dev/null
mkdir "$work/hsm" && cp "$key/cs.p8" "$key/cs.der" "$key/cs.pub" "$work/hsm/"
sh "$source/tools/material.sh" token "$work/hsm" signing 87654321 $pin cs >/dev/null
export SOFTHSM2_CONF="$work/hsm/softhsm2.conf" SIGN_CERT="$key/cs-chain.pem"
# osslsigncode's own environment, and every command line while it runs.
mkdir "$work/bin" && printf '#!/bin/sh\nps -eo args >%s/ps\ntr "\\0" "\\n" </proc/$$/environ >%s/env\nexec %s "$@"\n' \
    "$work" "$work" "$(command -v osslsigncode)" >"$work/bin/osslsigncode" && chmod +x "$work/bin/osslsigncode"
dist() { (cd "$source" && PATH=$work/bin:$PATH sh tools/dist.sh "$build" "$work/$1") >"$work/$1.log" 2>&1; }
token() { SIGN_KEY="pkcs11:token=signing;object=cs;type=private" SIGN_PIN=$1 \
    SIGN_PKCS11_MODULE=$(sh "$source/tools/material.sh" softhsm-path) dist token; }
SIGN_CERT="" dist plain || fail "unsigned: $(cat "$work/plain.log")"
SIGN_KEY=$key/cs.key dist pem || fail "PEM key: $(cat "$work/pem.log")"
token $pin || fail "token: $(cat "$work/token.log")"
[ -s "$work/ps" ] && ! grep -q $pin "$work/ps" "$work/env" || fail "the PIN shows in a command line or osslsigncode's environment"

for dll in windows-x86/ORVNative.dll windows-x64/ORVNative.dll; do
    osslsigncode verify -CAfile "$key/cs-ca.pem" -in "$work/plain/$dll" >/dev/null 2>&1 && fail "unsigned $dll verifies"
    osslsigncode verify -CAfile "$key/cs-ca.pem" -in "$work/pem/$dll" >"$work/verify" 2>&1 || fail "$dll: $(cat "$work/verify")"
    for view in "$objdump -p" "${objdump%objdump}windres -O rc -i"; do
        [ "$($view "$work/plain/$dll" | sed -n '/^The Import Tables/,$p; /VERSIONINFO/,$p')" = \
            "$($view "$work/pem/$dll" | sed -n '/^The Import Tables/,$p; /VERSIONINFO/,$p')" ] ||
            fail "$dll: signing changed the imports, exports or version resource ($view)"
    done
done
[ "$(grep -v 'dll$\|json$' "$work/plain/SHA256SUMS")" = "$(grep -v 'dll$\|json$' "$work/pem/SHA256SUMS")" ] ||
    fail "signing changed more than the DLLs: $(diff "$work/plain/SHA256SUMS" "$work/pem/SHA256SUMS")"
diff -r "$work/pem" "$work/token" >/dev/null || fail "the token's signatures differ from the PEM key's"
(cd "$work/pem" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS"
# Debian's python3, whose python3-jsonschema install-deps.sh installs; a python3 earlier on PATH may lack it.
/usr/bin/python3 "$(dirname "$0")/check-sbom.py" "$(dirname "$0")/cyclonedx" "$work/pem" || status=1

token 46820391 && fail "a wrong PIN signed"
grep -qx "sign: the token refused the PIN in SIGN_PIN (PIN incorrect); windows-x86/ORVNative.dll is not signed" \
    "$work/token.log" && ! grep -q 46820391 "$work/token.log" || fail "wrong PIN: $(cat "$work/token.log")"
diff -r "$work/pem" "$work/token" >/dev/null && ! ls -A "$work" | grep -q '^\.dist' ||
    fail "a failed signing left $work/token changed or a staging directory behind"

if git -C "$source" rev-parse HEAD >/dev/null 2>&1; then
    src=$work/pem/orvnative-$version-src.tar.gz
    [ "$(tar tzf "$src" | grep -v '/$')" = "$(git -C "$source" ls-tree -r --name-only HEAD | sed "s|^|orvnative-$version/|")" ] &&
        [ "$(tar xzOf "$src" "orvnative-$version/tools/archive-commit")" = "$(git -C "$source" log -1 --format='%H %ct')" ] ||
        fail "the source archive lacks a tracked file or the commit's id and time"
fi
[ $status -eq 0 ] && echo "PASS: make dist unsigned, signed with a PEM key and a token key, refuses a wrong PIN"
exit $status
