// The natives of orvane/clapi/crypto/CapiToken in registration order, each
// written only here. A row: Java name, JNI signature, entry function, whether
// the diagnostic log may show its string arguments, and the decorated names
// the DLL exports it under on x86 and x64 (empty where it exports none).
#ifndef ORV_CAPI_CAPITOKENTABLE_H
#define ORV_CAPI_CAPITOKENTABLE_H

#define ORV_CAPI_TOKEN_CLASS "orvane/clapi/crypto/CapiToken"

// clang-format off
#define ORV_CAPI_TOKEN_NATIVES(ROW) \
    ROW(nativeIsCspAvailable, "(Ljava/lang/String;Ljava/lang/String;[Z)J", nativeIsCspAvailable, shown, \
        "?nativeIsCspAvailable@@YG_JPAUJNIEnv_@@PAV_jobject@@PAV_jstring@@2PAV_jbooleanArray@@@Z", \
        "?nativeIsCspAvailable@@YA_JPEAUJNIEnv_@@PEAV_jobject@@PEAV_jstring@@2PEAV_jbooleanArray@@@Z") \
    ROW(nativeIsCertificateInStore, "([BLjava/lang/String;[Z)J", nativeIsCertificateInStore, shown, \
        "?nativeIsCertificateInStore@@YG_JPAUJNIEnv_@@PAV_jobject@@PAV_jbyteArray@@PAV_jstring@@PAV_jbooleanArray@@@Z", \
        "?nativeIsCertificateInStore@@YA_JPEAUJNIEnv_@@PEAV_jobject@@PEAV_jbyteArray@@PEAV_jstring@@PEAV_jbooleanArray@@@Z") \
    ROW(nativeWrapDigest, "([BI[BLjava/lang/String;[BI)J", nativeWrapDigest, shown, \
        "?nativeWrapDigest@@YG_JPAUJNIEnv_@@PAV_jobject@@PAV_jbyteArray@@J2PAV_jstring@@2J@Z", \
        "?nativeWrapDigest@@YA_JPEAUJNIEnv_@@PEAV_jobject@@PEAV_jbyteArray@@J2PEAV_jstring@@2J@Z") \
    ROW(nativeGetCertificates, "(Ljava/lang/String;Ljava/util/LinkedList;)J", nativeGetCertificates, shown, \
        "?nativeGetCertificates@@YG_JPAUJNIEnv_@@PAV_jobject@@PAV_jstring@@1@Z", \
        "?nativeGetCertificates@@YA_JPEAUJNIEnv_@@PEAV_jobject@@PEAV_jstring@@1@Z") \
    ROW(nativeUnwrapSecretKey, "([B[BLjava/lang/String;)[B", nativeUnwrapSecretKey, shown, \
        "?nativeUnwrapSecretKey@@YGPAV_jbyteArray@@PAUJNIEnv_@@PAV_jobject@@PAV1@2PAV_jstring@@@Z", \
        "?nativeUnwrapSecretKey@@YAPEAV_jbyteArray@@PEAUJNIEnv_@@PEAV_jobject@@PEAV1@2PEAV_jstring@@@Z") \
    ROW(nativeGenerateSeed, "(Ljava/nio/ByteBuffer;)V", nativeGenerateSeed, shown, \
        "?nativeGenerateSeed@@YGXPAUJNIEnv_@@PAV_jobject@@1@Z", \
        "?nativeGenerateSeed@@YAXPEAUJNIEnv_@@PEAV_jobject@@1@Z")
// clang-format on

#endif
