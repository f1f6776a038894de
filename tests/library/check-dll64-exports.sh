#!/bin/sh
# check-dll64-exports.sh OBJDUMP NM UNDNAME DLL
# The x64 DLL: a PE32+ image that imports only system DLLs; its export table
# with module name, ordinal base, exactly ten named exports in ordinal order,
# what the nine decorated names decode to, and the function each leads to.
objdump=$1 nm=$2 undname=$3 dll=$4
table=$(mktemp) names=$(mktemp) expected=$(mktemp) decoded=$(mktemp) actual=$(mktemp) symbols=$(mktemp)
trap 'rm -f "$table" "$names" "$expected" "$decoded" "$actual" "$symbols"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
. "$(dirname "$0")/export-table.sh"

read_export_table "$objdump" "$dll"
check_imports

grep -q 'file format pei-x86-64' "$table" || fail "not an x86-64 image"
grep -q '^Magic[[:space:]]\{1,\}020b[[:space:]]\{1,\}(PE32+)' "$table" || fail "optional header is not PE32+"

# The C++ runtime is linked in: a JVM loads the DLL with nothing of mingw's beside it.
runtime=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$table" | grep -i -e 'libstdc++' -e 'libgcc' -e 'libwinpthread' | sort -u | tr '\n' ' ')
[ -z "$runtime" ] || fail "imports mingw runtime DLLs: $runtime"

check_module_and_base
check_named_exports <<'NAMES'
0 ?getKeyName@Registry@@SAPEAV_jstring@@PEAUJNIEnv_@@PEAV_jclass@@JPEAV2@J@Z
1 ?getValueName@Registry@@SAPEAV_jstring@@PEAUJNIEnv_@@PEAV_jclass@@JPEAV2@J@Z
2 ?getValueString@Registry@@SAPEAV_jstring@@PEAUJNIEnv_@@PEAV_jclass@@JPEAV2@2@Z
3 ?nativeGenerateSeed@@YAXPEAUJNIEnv_@@PEAV_jobject@@1@Z
4 ?nativeGetCertificates@@YA_JPEAUJNIEnv_@@PEAV_jobject@@PEAV_jstring@@1@Z
5 ?nativeIsCertificateInStore@@YA_JPEAUJNIEnv_@@PEAV_jobject@@PEAV_jbyteArray@@PEAV_jstring@@PEAV_jbooleanArray@@@Z
6 ?nativeIsCspAvailable@@YA_JPEAUJNIEnv_@@PEAV_jobject@@PEAV_jstring@@2PEAV_jbooleanArray@@@Z
7 ?nativeUnwrapSecretKey@@YAPEAV_jbyteArray@@PEAUJNIEnv_@@PEAV_jobject@@PEAV1@2PEAV_jstring@@@Z
8 ?nativeWrapDigest@@YA_JPEAUJNIEnv_@@PEAV_jobject@@PEAV_jbyteArray@@J2PEAV_jstring@@2J@Z
9 JNI_OnLoad
NAMES
check_decoded_signatures "$undname" <<'SIGNATURES'
1 public: static class _jstring* __cdecl Registry::getKeyName(struct JNIEnv_*, class _jclass*, long, class _jstring*, long)
2 public: static class _jstring* __cdecl Registry::getValueName(struct JNIEnv_*, class _jclass*, long, class _jstring*, long)
3 public: static class _jstring* __cdecl Registry::getValueString(struct JNIEnv_*, class _jclass*, long, class _jstring*, class _jstring*)
4 void __cdecl nativeGenerateSeed(struct JNIEnv_*, class _jobject*, class _jobject*)
5 __int64 __cdecl nativeGetCertificates(struct JNIEnv_*, class _jobject*, class _jstring*, class _jobject*)
6 __int64 __cdecl nativeIsCertificateInStore(struct JNIEnv_*, class _jobject*, class _jbyteArray*, class _jstring*, class _jbooleanArray*)
7 __int64 __cdecl nativeIsCspAvailable(struct JNIEnv_*, class _jobject*, class _jstring*, class _jstring*, class _jbooleanArray*)
8 class _jbyteArray* __cdecl nativeUnwrapSecretKey(struct JNIEnv_*, class _jobject*, class _jbyteArray*, class _jbyteArray*, class _jstring*)
9 __int64 __cdecl nativeWrapDigest(struct JNIEnv_*, class _jobject*, class _jbyteArray*, long, class _jbyteArray*, class _jstring*, class _jbyteArray*, long)
SIGNATURES

# Each ordinal's address against the DLL's own symbol table, which the
# shipped DLL keeps in its debug file: an export that names the right
# function but leads to another would pass every check above.
image=$(sed -n 's/^ImageBase[[:space:]]\{1,\}\([0-9a-fA-F]\{1,\}\)$/\1/p' "$table" | head -n 1)
"$nm" "$dll.debug" | awk '$2 == "T" { print $3, $1 }' >"$symbols"
sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]\{1,\}\][[:space:]]\{1,\}+base\[[[:space:]]*\([0-9]\{1,\}\)\][[:space:]]\{1,\}\([0-9a-fA-F]\{1,\}\)[[:space:]]\{1,\}Export RVA$/\1 \2/p' "$table" |
while read -r ordinal rva; do
    address=$(printf '%016x' $((0x$image + 0x$rva)))
    printf '%s %s\n' "$ordinal" "$(awk -v a="$address" '$2 == a { print $1 }' "$symbols" | sort | head -n 1)"
done >"$actual"
cat >"$expected" <<'ENTRIES'
1 _ZN8Registry10getKeyNameEP7JNIEnv_P7_jclasslP8_jstringl
2 _ZN8Registry12getValueNameEP7JNIEnv_P7_jclasslP8_jstringl
3 _ZN8Registry14getValueStringEP7JNIEnv_P7_jclasslP8_jstringS5_
4 _Z18nativeGenerateSeedP7JNIEnv_P8_jobjectS2_
5 _Z21nativeGetCertificatesP7JNIEnv_P8_jobjectP8_jstringS2_
6 _Z26nativeIsCertificateInStoreP7JNIEnv_P8_jobjectP11_jbyteArrayP8_jstringP14_jbooleanArray
7 _Z20nativeIsCspAvailableP7JNIEnv_P8_jobjectP8_jstringS4_P14_jbooleanArray
8 _Z21nativeUnwrapSecretKeyP7JNIEnv_P8_jobjectP11_jbyteArrayS4_P8_jstring
9 _Z16nativeWrapDigestP7JNIEnv_P8_jobjectP11_jbyteArraylS4_P8_jstringS4_l
10 JNI_OnLoad
ENTRIES
if ! diff -u "$expected" "$actual"; then
    fail "exports lead to other functions (- expected, + actual)"
fi

[ $status -eq 0 ] && echo "PASS: ORVNative.dll (x64) exports"
exit $status
