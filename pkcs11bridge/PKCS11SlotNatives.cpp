// Natives of orvane/clapi/crypto/PKCS11Slot; rows join as their entry functions land.
#include "jnibridge/NativeMethodTable.h"

const JNIBridge::NativeClassRows pkcs11SlotNatives = {"orvane/clapi/crypto/PKCS11Slot", nullptr, 0};
