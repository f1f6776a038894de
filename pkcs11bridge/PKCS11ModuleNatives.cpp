// Natives of orvane/clapi/crypto/PKCS11Module.
#include "jnibridge/JString.h"
#include "jnibridge/NativeMethodTable.h"
#include "pkcs11bridge/PKCS11ModuleTable.h"
#include "pkcs11bridge/PKCS11Module.h"
#include "pkcs11bridge/PKCS11NativeGuard.h"

using namespace PKCS11Bridge;

namespace {

constexpr IndexFailure kIndexFailure = IndexFailure::raisedAsIndexOutOfBounds;

PKCS11Module& moduleOf(jint moduleId)
{
    return PKCS11Module::getModule(static_cast<unsigned int>(moduleId));
}

// PKCS11Module.loadLibrary(String path): int
// (Ljava/lang/String;)I, static
// path: the module file, as modified UTF-8; returns the new module's id
jint JNICALL PKCS11Module_loadLibrary(JNIEnv*, jclass, jstring path)
{
    return pkcs11Native<jint>(0, kIndexFailure, [&] {
        // The module table owns every module that loads; none is ever deleted.
        const PKCS11Module* module = new PKCS11Module(JNIBridge::JString(path).toString());
        return static_cast<jint>(module->getModuleId());
    });
}

// PKCS11Module.getNumberOfSlots(int moduleId): int
// (I)I, static
// moduleId: the module table's index; returns the slots with a token
jint JNICALL PKCS11Module_getNumberOfSlots(JNIEnv*, jclass, jint moduleId)
{
    return pkcs11Native<jint>(0, kIndexFailure,
                              [&] { return static_cast<jint>(moduleOf(moduleId).getNumberOfSlots()); });
}

// PKCS11Module.waitForSlotEvent(int moduleId): long
// (I)J, static
// moduleId: the module; returns C_WaitForSlotEvent's CK_SLOT_ID
jlong JNICALL PKCS11Module_waitForSlotEvent(JNIEnv*, jclass, jint moduleId)
{
    return pkcs11Native<jlong>(0, kIndexFailure, [&] {
        // CK_SLOT_ID is unsigned, so the id reaches Java zero-extended.
        return static_cast<jlong>(moduleOf(moduleId).waitForSlotEvent());
    });
}

// PKCS11Module.refresh(int moduleId): void
// (I)V, static
// moduleId: the module
void JNICALL PKCS11Module_refresh(JNIEnv*, jclass, jint moduleId)
{
    pkcs11Native(kIndexFailure, [&] { moduleOf(moduleId).refresh(); });
}

const JNIBridge::NativeMethodRow rows[] = {ORV_PKCS11_MODULE_NATIVES(ORV_REGISTRATION_ROW)};

} // namespace

const JNIBridge::NativeClassRows pkcs11ModuleNatives = {ORV_PKCS11_MODULE_CLASS, rows, sizeof rows / sizeof rows[0]};
