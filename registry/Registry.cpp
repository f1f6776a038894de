// The three registry natives: convert the arguments, ask RegistryAccessor, convert the answer.
#include "registry/Registry.h"

#include "jnibridge/JString.h"
#include "registry/JavaText.h"
#include "registry/RegistryAccessor.h"
#include "registry/RegistryGuard.h"

using JNIBridge::JString;
using JNIBridge::String;
using RegistryBridge::JavaText;
using RegistryBridge::RegistryAccessor;
using RegistryBridge::RegistryGuard;

namespace {

// RegistryAccessor names a missing argument in its message, so a null Java
// string reaches it as null rather than as empty text.
const char* orNull(jstring text, const String& copy)
{
    return text != nullptr ? copy.c_str() : nullptr;
}

} // namespace

// WindowsRegistry.getRegistryKeyName(int keyId, String path, int index): String
// (ILjava/lang/String;I)Ljava/lang/String;, static
// keyId: 1 HKCR to 5 HKDD; path: modified UTF-8, null refused; returns the index-th sub-key name
jstring JNICALL Registry::getKeyName(JNIEnv* env, jclass, jint keyId, jstring path, jint index)
{
    return RegistryGuard::run(env, [&] {
        const String nativePath = JString::copyOf(env, path);
        return JavaText::toJava(env, RegistryAccessor::getKeyName(keyId, orNull(path, nativePath), index));
    });
}

// WindowsRegistry.getRegistryValueName(int keyId, String path, int index): String
// (ILjava/lang/String;I)Ljava/lang/String;, static
// keyId: 1 HKCR to 5 HKDD; path: modified UTF-8, null refused; returns the index-th value name
jstring JNICALL Registry::getValueName(JNIEnv* env, jclass, jint keyId, jstring path, jint index)
{
    return RegistryGuard::run(env, [&] {
        const String nativePath = JString::copyOf(env, path);
        return JavaText::toJava(env, RegistryAccessor::getValueName(keyId, orNull(path, nativePath), index));
    });
}

// WindowsRegistry.getRegistryValueString(int keyId, String path, String valueName): String
// (ILjava/lang/String;Ljava/lang/String;)Ljava/lang/String;, static
// keyId: 1 HKCR to 5 HKDD; path, valueName: modified UTF-8, null refused; returns the data to its first zero
jstring JNICALL Registry::getValueString(JNIEnv* env, jclass, jint keyId, jstring path, jstring valueName)
{
    return RegistryGuard::run(env, [&] {
        const String nativePath = JString::copyOf(env, path);
        const String nativeValueName = JString::copyOf(env, valueName);
        return JavaText::toJava(
            env, RegistryAccessor::getValueString(keyId, orNull(path, nativePath), orNull(valueName, nativeValueName)));
    });
}
