// Natives of orvane/clapi/crypto/PKCS11Module; rows join as their entry functions land.
#include "jnibridge/NativeMethodTable.h"

const JNIBridge::NativeClassRows pkcs11ModuleNatives = {"orvane/clapi/crypto/PKCS11Module", nullptr, 0};
