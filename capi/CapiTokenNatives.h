// Entry functions of the CapiToken natives. They are exported (on Linux by
// visibility, on Windows through the .def file made from CapiTokenTable.h,
// which gives them the decorated names of nativeWrapDigest and the others) so
// the DLL keeps the export table Java applications already link against.
#ifndef ORV_CAPI_CAPITOKENNATIVES_H
#define ORV_CAPI_CAPITOKENNATIVES_H

#include <jni.h>

JNIEXPORT jlong JNICALL nativeIsCspAvailable(JNIEnv* env, jobject self, jstring providerName, jstring providerTypeName,
                                             jbooleanArray available);
JNIEXPORT jlong JNICALL nativeIsCertificateInStore(JNIEnv* env, jobject self, jbyteArray certificate, jstring storeName,
                                                   jbooleanArray found);
JNIEXPORT jlong JNICALL nativeWrapDigest(JNIEnv* env, jobject self, jbyteArray digest, jint hashType,
                                         jbyteArray certificate, jstring storeName, jbyteArray signature, jint keySpec);
JNIEXPORT jlong JNICALL nativeGetCertificates(JNIEnv* env, jobject self, jstring storeName, jobject list);
JNIEXPORT jbyteArray JNICALL nativeUnwrapSecretKey(JNIEnv* env, jobject self, jbyteArray wrappedKey,
                                                   jbyteArray certificate, jstring storeName);
JNIEXPORT void JNICALL nativeGenerateSeed(JNIEnv* env, jobject self, jobject buffer);

#endif
