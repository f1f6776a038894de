// Natives of orvane/clapi/crypto/PKCS11Slot that list and delete certificates
// and objects and describe the token.
#ifndef ORV_PKCS11BRIDGE_PKCS11SLOTOBJECTNATIVES_H
#define ORV_PKCS11BRIDGE_PKCS11SLOTOBJECTNATIVES_H

#include <jni.h>

namespace PKCS11Bridge {

jobject JNICALL PKCS11Slot_getTokenInfo(JNIEnv*, jclass, jint moduleId, jint slotIndex);
jint JNICALL PKCS11Slot_getNumberOfCertificates(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint certificateType);
jbyteArray JNICALL PKCS11Slot_getCertificate(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint certificateType,
                                             jint index);
jboolean JNICALL PKCS11Slot_deleteCertificate(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint certificateType,
                                              jbyteArray certificate, jboolean deletePublicKey,
                                              jboolean deletePrivateKey);
jint JNICALL PKCS11Slot_getNumberOfObjects(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint objectClass);
jobject JNICALL PKCS11Slot_getObject(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint objectClass, jint index);
jboolean JNICALL PKCS11Slot_deleteObject(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint handle);

} // namespace PKCS11Bridge

#endif
