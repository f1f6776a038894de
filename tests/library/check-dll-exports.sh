#!/bin/sh
# check-dll-exports.sh OBJDUMP UNDNAME DLL
# The DLL's imports, and its export table: module name, ordinal base, exactly
# ten named exports in ordinal order, and what the nine decorated names decode to.
objdump=$1 undname=$2 dll=$3
table=$(mktemp) names=$(mktemp) expected=$(mktemp) decoded=$(mktemp)
trap 'rm -f "$table" "$names" "$expected" "$decoded"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
. "$(dirname "$0")/export-table.sh"

read_export_table "$objdump" "$dll"
check_module_and_base
check_imports
check_named_exports <<'NAMES'
0 ?getKeyName@Registry@@SGPAV_jstring@@PAUJNIEnv_@@PAV_jclass@@JPAV2@J@Z
1 ?getValueName@Registry@@SGPAV_jstring@@PAUJNIEnv_@@PAV_jclass@@JPAV2@J@Z
2 ?getValueString@Registry@@SGPAV_jstring@@PAUJNIEnv_@@PAV_jclass@@JPAV2@2@Z
3 ?nativeGenerateSeed@@YGXPAUJNIEnv_@@PAV_jobject@@1@Z
4 ?nativeGetCertificates@@YG_JPAUJNIEnv_@@PAV_jobject@@PAV_jstring@@1@Z
5 ?nativeIsCertificateInStore@@YG_JPAUJNIEnv_@@PAV_jobject@@PAV_jbyteArray@@PAV_jstring@@PAV_jbooleanArray@@@Z
6 ?nativeIsCspAvailable@@YG_JPAUJNIEnv_@@PAV_jobject@@PAV_jstring@@2PAV_jbooleanArray@@@Z
7 ?nativeUnwrapSecretKey@@YGPAV_jbyteArray@@PAUJNIEnv_@@PAV_jobject@@PAV1@2PAV_jstring@@@Z
8 ?nativeWrapDigest@@YG_JPAUJNIEnv_@@PAV_jobject@@PAV_jbyteArray@@J2PAV_jstring@@2J@Z
9 _JNI_OnLoad@8
NAMES
check_decoded_signatures "$undname" <<'SIGNATURES'
1 public: static class _jstring* __stdcall Registry::getKeyName(struct JNIEnv_*, class _jclass*, long, class _jstring*, long)
2 public: static class _jstring* __stdcall Registry::getValueName(struct JNIEnv_*, class _jclass*, long, class _jstring*, long)
3 public: static class _jstring* __stdcall Registry::getValueString(struct JNIEnv_*, class _jclass*, long, class _jstring*, class _jstring*)
4 void __stdcall nativeGenerateSeed(struct JNIEnv_*, class _jobject*, class _jobject*)
5 __int64 __stdcall nativeGetCertificates(struct JNIEnv_*, class _jobject*, class _jstring*, class _jobject*)
6 __int64 __stdcall nativeIsCertificateInStore(struct JNIEnv_*, class _jobject*, class _jbyteArray*, class _jstring*, class _jbooleanArray*)
7 __int64 __stdcall nativeIsCspAvailable(struct JNIEnv_*, class _jobject*, class _jstring*, class _jstring*, class _jbooleanArray*)
8 class _jbyteArray* __stdcall nativeUnwrapSecretKey(struct JNIEnv_*, class _jobject*, class _jbyteArray*, class _jbyteArray*, class _jstring*)
9 __int64 __stdcall nativeWrapDigest(struct JNIEnv_*, class _jobject*, class _jbyteArray*, long, class _jbyteArray*, class _jstring*, class _jbyteArray*, long)
SIGNATURES

[ $status -eq 0 ] && echo "PASS: ORVNative.dll exports"
exit $status
