// Natives of orvane/clapi/crypto/CapiToken; rows join as their entry functions land.
#include "jnibridge/NativeMethodTable.h"

const JNIBridge::NativeClassRows capiTokenNatives = {"orvane/clapi/crypto/CapiToken", nullptr, 0};
