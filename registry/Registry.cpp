// The three registry natives: convert the arguments, ask RegistryAccessor, convert the answer.
#include "registry/Registry.h"

#include "registry/JavaStringCopy.h"
#include "registry/JavaText.h"
#include "registry/RegistryAccessor.h"
#include "registry/RegistryGuard.h"

using Common::JavaStringCopy;
using Common::JavaText;

jstring JNICALL Registry::getKeyName(JNIEnv* env, jclass, jint keyId, jstring path, jint index)
{
    return RegistryGuard::run(env, [&] {
        const JavaStringCopy nativePath(env, path);
        return JavaText::toJava(env, RegistryAccessor::getKeyName(keyId, nativePath.c_str(), index));
    });
}

jstring JNICALL Registry::getValueName(JNIEnv* env, jclass, jint keyId, jstring path, jint index)
{
    return RegistryGuard::run(env, [&] {
        const JavaStringCopy nativePath(env, path);
        return JavaText::toJava(env, RegistryAccessor::getValueName(keyId, nativePath.c_str(), index));
    });
}

jstring JNICALL Registry::getValueString(JNIEnv* env, jclass, jint keyId, jstring path, jstring valueName)
{
    return RegistryGuard::run(env, [&] {
        const JavaStringCopy nativePath(env, path);
        const JavaStringCopy nativeValueName(env, valueName);
        return JavaText::toJava(env,
                                RegistryAccessor::getValueString(keyId, nativePath.c_str(), nativeValueName.c_str()));
    });
}
