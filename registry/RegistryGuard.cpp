// Raising the Java exception that stands for a registry failure.
#include "registry/RegistryGuard.h"

#include "jnibridge/JavaExceptions.h"

namespace RegistryBridge {

namespace {

const char kUnexpectedFailure[] =
    "An unexpected error occured in the native method Java_orvane_registry_WindowsRegistry_getRegistryValueString().\n";

} // namespace

void RegistryGuard::raiseUnexpected(JNIEnv* env)
{
    JNIBridge::throwUnlessPending(env, "java/io/FileNotFoundException", kUnexpectedFailure);
}

} // namespace RegistryBridge
