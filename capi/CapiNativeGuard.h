// How the CapiToken natives report the Common family: the four natives that
// return a long answer with the exception's code, the other two raise a Java
// exception carrying its description. Anything else is left to guardNative.
#ifndef ORV_CAPI_CAPINATIVEGUARD_H
#define ORV_CAPI_CAPINATIVEGUARD_H

#include "common/Exception.h"
#include "jnibridge/JavaExceptions.h"
#include "jnibridge/NativeGuard.h"

#include <jni.h>

namespace CAPIBridge {

template <typename Body>
jlong resultCodeNative(Body&& body) noexcept
{
    return JNIBridge::guardNative<jlong>(0, [&]() -> jlong {
        try {
            return body();
        } catch (const Common::Exception& e) {
            return e.getErrorCode();
        }
    });
}

// The Java classes one raising native maps the family to.
struct JavaExceptionRoute {
    const char* cancelledClass; // Common::UserCancelledException
    const char* failedClass;    // every other Common::Exception, and the unexpected
    const char* unexpectedMessage;
};

template <typename Body>
void raisingNative(JNIEnv* env, const JavaExceptionRoute& route, Body&& body) noexcept
{
    JNIBridge::guardNative([&] {
        try {
            body();
        } catch (const Common::UserCancelledException& e) {
            JNIBridge::throwUnlessPending(env, route.cancelledClass, e.getDescription());
        } catch (const Common::Exception& e) {
            JNIBridge::throwUnlessPending(env, route.failedClass, e.getDescription());
        } catch (...) {
            JNIBridge::throwUnlessPending(env, route.failedClass, route.unexpectedMessage);
        }
    });
}

} // namespace CAPIBridge

#endif
