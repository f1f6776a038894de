#!/bin/sh
# check-so-exports.sh NM LIBRARY
# The shared library's dynamic symbols: exactly the load hook and the nine
# registry and CryptoAPI entry functions (compared by demangled name).
nm=$1 library=$2
actual=$(mktemp) expected=$(mktemp)
trap 'rm -f "$actual" "$expected"' EXIT
"$nm" -D --defined-only -C "$library" | sed 's/^[0-9a-fA-F]* [A-Za-z] //; s/(.*$//' | sort >"$actual" ||
    { echo "FAIL: $nm -D $library"; exit 1; }
sort >"$expected" <<'NAMES'
JNI_OnLoad
Registry::getKeyName
Registry::getValueName
Registry::getValueString
nativeGenerateSeed
nativeGetCertificates
nativeIsCertificateInStore
nativeIsCspAvailable
nativeUnwrapSecretKey
nativeWrapDigest
NAMES
if diff -u "$expected" "$actual"; then
    echo "PASS: libORVNative.so exports"
    exit 0
fi
echo "FAIL: dynamic symbols differ (- expected, + actual)"
exit 1
