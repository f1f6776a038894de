// Calls a registered native through a pointer of its exact C type, derived at
// compile time from its signature in the class tables: jint, jlong, jboolean
// and object arguments in order, and a void, jint, jlong, jboolean or object
// result. On win32 that is a stdcall call whose jlong result comes back in a
// register pair.
#ifndef ORV_TESTS_JNIHOST_NATIVEINVOKER_H
#define ORV_TESTS_JNIHOST_NATIVEINVOKER_H

#include <jni.h>

#include <string>
#include <vector>

struct NativeResult {
    char kind = 'V'; // 'V', 'I', 'J', 'Z' or 'L'
    jint i = 0;
    jlong j = 0;
    jboolean z = JNI_FALSE;
    jobject l = nullptr;
};

class NativeInvoker {
public:
    // The signature must be one of the class tables' own.
    static NativeResult invoke(const std::string& signature, void* function, JNIEnv* env, jobject receiver,
                               const std::vector<jvalue>& args);
};

#endif
