// Natives of orvane/clapi/crypto/PKCS11Slot that encrypt, decrypt, sign,
// verify and unwrap with the keys of a certificate given by its encoding.
#ifndef ORV_PKCS11BRIDGE_PKCS11SLOTCRYPTONATIVES_H
#define ORV_PKCS11BRIDGE_PKCS11SLOTCRYPTONATIVES_H

#include <jni.h>

namespace PKCS11Bridge {

void JNICALL PKCS11Slot_setCall2ndInit(JNIEnv*, jclass, jint moduleId, jint slotIndex, jboolean call2ndInit);
jbyteArray JNICALL PKCS11Slot_encryptData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                          jbyteArray data, jint mechanism);
jbyteArray JNICALL PKCS11Slot_decryptData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                          jbyteArray cipherText, jint mechanism);
jbyteArray JNICALL PKCS11Slot_signData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                       jbyteArray data, jint mechanism);
jboolean JNICALL PKCS11Slot_verifyData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                       jbyteArray data, jbyteArray signature, jint mechanism);
jbyteArray JNICALL PKCS11Slot_unwrapKey(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                        jbyteArray wrappedKey, jint mechanism);

} // namespace PKCS11Bridge

#endif
