#!/bin/sh
# run-example.sh JAR LIBRARY_DIR WORK: the guide's example, built and run as an
# application would. docs/java-api.md must quote java/examples/SignWithToken.java
# as it is; the example is compiled for Java 8 against the jar and run on a
# SoftHSM2 token made in WORK. PKCS#1 v1.5 makes its two signatures equal, and
# openssl must verify them; a wrong PIN must fail with the login's message.
set -eu
jar=$1 libdir=$2 work=$3
top=$(cd "$(dirname "$0")/../.." && pwd)
example=$top/java/examples/SignWithToken.java
material=$top/tools/material.sh
fail() {
    echo "run-example: $*" >&2
    exit 1
}

rm -rf "$work" && mkdir -p "$work/classes"
awk '/^<!-- java\/examples\/SignWithToken.java -->$/ { m = 1; next }
     m == 1 && /^```java$/ { m = 2; next }
     m == 2 && /^```$/ { exit }
     m == 2' "$top/docs/java-api.md" >"$work/quoted.java"
diff -u "$work/quoted.java" "$example" || fail "docs/java-api.md does not quote $example as it is"

sh "$material" keypair "$work" signer >/dev/null 2>&1
sh "$material" token "$work" "Example Token" 87654321 1234 signer >/dev/null
SOFTHSM2_CONF=$work/softhsm2.conf
export SOFTHSM2_CONF
javac --release 8 -Xlint:all -Werror -cp "$jar" -d "$work/classes" "$example"
printf 'An order for 12 crates.\n' >"$work/order.txt"
run() { # PIN
    TOKEN_PIN=$1 java -Xcheck:jni -Djava.library.path="$libdir" -cp "$jar:$work/classes" \
        orvane.example.SignWithToken "$(sh "$material" softhsm-path)" "Example Token" "$work/order.txt"
}
run 1234 >"$work/out.txt" 2>&1 || { cat "$work/out.txt"; fail "the example failed"; }
cat "$work/out.txt"
! grep -E "WARNING in native method|WARNING: JNI local refs|JNI DETECTED ERROR" "$work/out.txt" || fail "JNI misuse"
field() { sed -n "s/^$1: //p" "$work/out.txt"; }
[ "$(field 'token verifies the hash signature')" = true ] || fail "the token did not verify"
[ "$(field 'Java verifies the signature')" = true ] || fail "Java did not verify"
[ "$(field signature)" = "$(field 'hash signature')" ] || fail "the two signatures differ"
field signature | perl -ne 'chomp; print pack("H*", $_)' >"$work/order.sig"
openssl x509 -inform DER -in "$work/signer.der" -pubkey -noout >"$work/signer.pem"
openssl dgst -sha256 -verify "$work/signer.pem" -signature "$work/order.sig" "$work/order.txt"

! run 0000 >"$work/wrong-pin.txt" 2>&1 || fail "a wrong PIN signed"
grep -F "PKCS11Exception: PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to C_Login('****', '1') - CKR_PIN_INCORRECT" \
    "$work/wrong-pin.txt" || { cat "$work/wrong-pin.txt"; fail "a wrong PIN gave another failure"; }
