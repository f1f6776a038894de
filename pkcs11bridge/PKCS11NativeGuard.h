// How every native of PKCS11Module and PKCS11Slot ends: the family's three
// exception kinds become Java exceptions by one set of rules, and whatever
// else escapes is left to the last-line guard of the JNI frame.
//
//   return pkcs11Native<jint>(0, IndexFailure::raisedAsIndexOutOfBounds, [&] { ...; return n; });
#ifndef ORV_PKCS11BRIDGE_PKCS11NATIVEGUARD_H
#define ORV_PKCS11BRIDGE_PKCS11NATIVEGUARD_H

#include "jnibridge/NativeGuard.h"
#include "pkcs11bridge/PKCS11SlotCall.h"

#include <jni.h>

#include <utility>

namespace PKCS11Bridge {

// Which Java class a bad index becomes: most natives raise
// java.lang.IndexOutOfBoundsException, a few raise PKCS11Exception instead.
enum class IndexFailure { raisedAsIndexOutOfBounds, raisedAsPKCS11Exception };

// Called from a catch-all: raises the exception being handled when it is one
// of the family's kinds; any other kind is rethrown.
void raiseCaughtPKCS11Failure(IndexFailure indexFailure);

// The slot a Java call names, with its module's call lock held until the
// returned object goes. A negative index arrives out of range.
inline PKCS11SlotCall slotCall(jint moduleId, jint slotIndex)
{
    return PKCS11SlotCall(static_cast<unsigned int>(moduleId), static_cast<unsigned int>(slotIndex));
}

template <class R, class F>
R pkcs11Native(R onFailure, IndexFailure indexFailure, F&& body) noexcept
{
    return JNIBridge::guardNative<R>(onFailure, [&]() -> R {
        try {
            return std::forward<F>(body)();
        } catch (...) {
            raiseCaughtPKCS11Failure(indexFailure);
        }
        return onFailure;
    });
}

template <class F>
void pkcs11Native(IndexFailure indexFailure, F&& body) noexcept
{
    JNIBridge::guardNative([&] {
        try {
            std::forward<F>(body)();
        } catch (...) {
            raiseCaughtPKCS11Failure(indexFailure);
        }
    });
}

} // namespace PKCS11Bridge

#endif
