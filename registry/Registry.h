// Entry functions of the natives of orvane.common.utils.WindowsRegistry.
// Exported by their C++ names: on Linux by visibility (JNIEXPORT), on
// Windows by the .def file alone.
#ifndef ORV_REGISTRY_REGISTRY_H
#define ORV_REGISTRY_REGISTRY_H

#include <jni.h>

class Registry {
public:
    // getRegistryKeyName(int keyId, String path, int index)
    JNIEXPORT static jstring JNICALL getKeyName(JNIEnv* env, jclass cls, jint keyId, jstring path, jint index);
    // getRegistryValueName(int keyId, String path, int index)
    JNIEXPORT static jstring JNICALL getValueName(JNIEnv* env, jclass cls, jint keyId, jstring path, jint index);
    // getRegistryValueString(int keyId, String path, String valueName)
    JNIEXPORT static jstring JNICALL getValueString(JNIEnv* env, jclass cls, jint keyId, jstring path,
                                                    jstring valueName);
};

#endif
