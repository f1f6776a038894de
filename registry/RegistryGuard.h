// How registry failures reach Java: the one catch helper of the registry
// natives. Each Common kind has its Java class; anything else is reported
// with a fixed text.
#ifndef ORV_REGISTRY_REGISTRYGUARD_H
#define ORV_REGISTRY_REGISTRYGUARD_H

#include "common/Exception.h"
#include "jnibridge/JavaExceptions.h"
#include "jnibridge/NativeGuard.h"

#include <jni.h>

namespace RegistryBridge {

class RegistryGuard {
public:
    // Runs body (returning a jstring); on failure leaves a Java exception
    // pending and returns null.
    template <class Body>
    static jstring run(JNIEnv* env, Body&& body) noexcept
    {
        return JNIBridge::guardNative<jstring>(nullptr, [&]() -> jstring {
            try {
                return body();
            } catch (const Common::NoMoreElementsException& e) {
                JNIBridge::throwUnlessPending(env, "java/io/EOFException", e.getDescription());
            } catch (const Common::IllegalArguementException& e) {
                JNIBridge::throwUnlessPending(env, "java/lang/IllegalArgumentException", e.getDescription());
            } catch (const Common::RegistryAccessException& e) {
                JNIBridge::throwUnlessPending(env, "java/io/FileNotFoundException", e.getDescription());
            } catch (...) {
                raiseUnexpected(env);
            }
            return nullptr;
        });
    }

private:
    static void raiseUnexpected(JNIEnv* env);
};

} // namespace RegistryBridge

#endif
