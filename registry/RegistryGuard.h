// How registry failures reach Java: the one catch helper of the registry
// natives. Each Common kind has its Java class; anything else is reported
// with a fixed text.
#ifndef ORV_REGISTRY_REGISTRYGUARD_H
#define ORV_REGISTRY_REGISTRYGUARD_H

#include "common/Exception.h"
#include "jnibridge/NativeGuard.h"

#include <jni.h>

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
                raise(env, "java/io/EOFException", e.getDescription());
            } catch (const Common::IllegalArguementException& e) {
                raise(env, "java/lang/IllegalArgumentException", e.getDescription());
            } catch (const Common::RegistryAccessException& e) {
                raise(env, "java/io/FileNotFoundException", e.getDescription());
            } catch (...) {
                raiseUnexpected(env);
            }
            return nullptr;
        });
    }

private:
    // FindClass + ThrowNew; a class that cannot be found leaves its
    // NoClassDefFoundError pending and nothing more is done.
    static void raise(JNIEnv* env, const char* className, const char* description) noexcept;
    static void raiseUnexpected(JNIEnv* env) noexcept;
};

#endif
