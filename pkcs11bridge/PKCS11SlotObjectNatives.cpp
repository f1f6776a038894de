// Natives that count, read and delete a token's certificates and objects and
// describe the token, building PKCS11TokenInfo and PKCS11Object for Java.
#include "pkcs11bridge/PKCS11SlotObjectNatives.h"

#include "jnibridge/JArguments.h"
#include "jnibridge/JBoolean.h"
#include "jnibridge/JClass.h"
#include "jnibridge/JConstructor.h"
#include "jnibridge/JInt.h"
#include "jnibridge/JProxy.h"
#include "jnibridge/JSignature.h"
#include "jnibridge/JString.h"
#include "pkcs11bridge/PKCS11Attribute.h"
#include "pkcs11bridge/PKCS11JavaValues.h"
#include "pkcs11bridge/PKCS11NativeGuard.h"
#include "pkcs11bridge/PKCS11TokenInfo.h"

#include <functional>
#include <initializer_list>

using JNIBridge::ByteArray;
using JNIBridge::JValue;
using JNIBridge::SmartPointer;

namespace PKCS11Bridge {

namespace {

constexpr IndexFailure kAsIndexOutOfBounds = IndexFailure::raisedAsIndexOutOfBounds;

using JavaValues = std::initializer_list<std::reference_wrapper<JValue>>;

// The constructor whose parameter types are those of the values, in order.
// Callers keep it for the life of the process, like the type descriptors: the
// class and its constructor do not change while the VM runs, so each is
// looked up once instead of on every call.
JNIBridge::JConstructor* constructorFor(const char* className, JavaValues values)
{
    JNIBridge::JSignature<JNIBridge::JVoid> signature;
    for (JValue& value : values) {
        signature.add(value.typeClass());
    }
    return new JNIBridge::JConstructor(JNIBridge::JClass(className), signature);
}

// A new Java object built by that constructor from the values.
jobject newJavaObject(JNIBridge::JConstructor& constructor, JavaValues values)
{
    JNIBridge::JArguments arguments;
    for (JValue& value : values) {
        arguments.add(value);
    }
    return constructor.invoke(arguments).getLocalReference();
}

} // namespace

// PKCS11Slot.getTokenInfo(int moduleId, int slotIndex): PKCS11TokenInfo
// (II)Lorvane/clapi/crypto/PKCS11TokenInfo;, static
// moduleId, slotIndex: the slot; returns C_GetTokenInfo's fields as a new object
jobject JNICALL PKCS11Slot_getTokenInfo(JNIEnv*, jclass, jint moduleId, jint slotIndex)
{
    return pkcs11Native<jobject>(nullptr, kAsIndexOutOfBounds, [&] {
        const PKCS11TokenInfo info(*slotCall(moduleId, slotIndex));
        JNIBridge::JString label(info.getLabel());
        JNIBridge::JString manufacturerID(info.getManufacturerID());
        JNIBridge::JString model(info.getModel());
        JNIBridge::JString serialNumber(info.getSerialNumber());
        JNIBridge::JInt sessionCount(javaIntOf(info.getSessionCount()));
        JNIBridge::JBoolean hasRNG(info.getHasRNG());
        JNIBridge::JBoolean loginRequired(info.getLoginRequired());
        const JavaValues values = {label, manufacturerID, model, serialNumber, sessionCount, hasRNG, loginRequired};
        static JNIBridge::JConstructor* const constructor =
            constructorFor("orvane/clapi/crypto/PKCS11TokenInfo", values);
        return newJavaObject(*constructor, values);
    });
}

// PKCS11Slot.getNumberOfCertificates(int moduleId, int slotIndex, int certificateType): int
// (III)I, static
// moduleId, slotIndex: the slot; certificateType: CK_CERTIFICATE_TYPE
jint JNICALL PKCS11Slot_getNumberOfCertificates(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint certificateType)
{
    return pkcs11Native<jint>(0, kAsIndexOutOfBounds, [&] {
        return static_cast<jint>(slotCall(moduleId, slotIndex)->getCertificates(ckULongOf(certificateType)).size());
    });
}

// PKCS11Slot.getCertificate(int moduleId, int slotIndex, int certificateType, int index): byte[]
// (IIII)[B, static
// moduleId, slotIndex: the slot; certificateType, index: which one; returns its CKA_VALUE
jbyteArray JNICALL PKCS11Slot_getCertificate(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint certificateType,
                                             jint index)
{
    return pkcs11Native<jbyteArray>(nullptr, kAsIndexOutOfBounds, [&] {
        const Certificates certificates = slotCall(moduleId, slotIndex)->getCertificates(ckULongOf(certificateType));
        return javaBytesOf(certificates.getCertificate(static_cast<unsigned int>(index)).getValue());
    });
}

// PKCS11Slot.deleteCertificate(int moduleId, int slotIndex, int certificateType, byte[] certificate,
//                              boolean deletePublicKey, boolean deletePrivateKey): boolean
// (III[BZZ)Z, static
// moduleId, slotIndex: the slot; certificate: its encoding; the flags: its keys go too; returns whether found
//
// Certificate bytes that are not on the token are no failure: nothing is deleted.
jboolean JNICALL PKCS11Slot_deleteCertificate(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint certificateType,
                                              jbyteArray certificate, jboolean deletePublicKey,
                                              jboolean deletePrivateKey)
{
    return pkcs11Native<jboolean>(JNI_FALSE, kAsIndexOutOfBounds, [&] {
        const ByteArray certificateBytes = bytesOf(certificate);
        const PKCS11SlotCall slot = slotCall(moduleId, slotIndex);
        const SmartPointer<Certificate> found = slot->findCertificate(ckULongOf(certificateType), certificateBytes);
        if (!found) {
            return JNI_FALSE;
        }
        slot->deleteCertificate(*found, deletePublicKey != JNI_FALSE, deletePrivateKey != JNI_FALSE);
        return JNI_TRUE;
    });
}

// PKCS11Slot.getNumberOfObjects(int moduleId, int slotIndex, int objectClass): int
// (III)I, static
// moduleId, slotIndex: the slot; objectClass: CK_OBJECT_CLASS
jint JNICALL PKCS11Slot_getNumberOfObjects(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint objectClass)
{
    return pkcs11Native<jint>(0, kAsIndexOutOfBounds, [&] {
        return static_cast<jint>(slotCall(moduleId, slotIndex)->findObjectsByClass(ckULongOf(objectClass)).length());
    });
}

// PKCS11Slot.getObject(int moduleId, int slotIndex, int objectClass, int index): PKCS11Object
// (IIII)Lorvane/clapi/crypto/PKCS11Object;, static
// moduleId, slotIndex: the slot; objectClass, index: which one; returns its handle and CKA_ID
jobject JNICALL PKCS11Slot_getObject(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint objectClass, jint index)
{
    return pkcs11Native<jobject>(nullptr, kAsIndexOutOfBounds, [&] {
        CK_OBJECT_HANDLE handle = 0;
        ByteArray id;
        {
            const PKCS11SlotCall slot = slotCall(moduleId, slotIndex);
            const JNIBridge::LongArray handles = slot->findObjectsByClass(ckULongOf(objectClass));
            handle = handles[static_cast<unsigned int>(index)];
            id = PKCS11Attribute<ByteArray>::getAttribute(&*slot, handle, CKA_ID);
        }
        JNIBridge::JInt javaHandle(javaIntOf(handle));
        JNIBridge::JByteArray javaId(id);
        const JavaValues values = {javaHandle, javaId};
        static JNIBridge::JConstructor* const constructor = constructorFor("orvane/clapi/crypto/PKCS11Object", values);
        return newJavaObject(*constructor, values);
    });
}

// PKCS11Slot.deleteObject(int moduleId, int slotIndex, int handle): boolean
// (III)Z, static
// moduleId, slotIndex: the slot; handle: CK_OBJECT_HANDLE; returns true
jboolean JNICALL PKCS11Slot_deleteObject(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint handle)
{
    return pkcs11Native<jboolean>(JNI_FALSE, kAsIndexOutOfBounds, [&] {
        slotCall(moduleId, slotIndex)->deleteObject(ckULongOf(handle));
        return JNI_TRUE;
    });
}

} // namespace PKCS11Bridge
