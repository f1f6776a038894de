// Calls a registered native through a pointer of its exact C type, derived
// from its JNI signature: jint, jboolean and object arguments in order, and a
// void, jint, jlong, jboolean or object result. On win32 that is a stdcall
// call whose jlong result comes back in a register pair.
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
    // Argument kinds of a JNI signature: one of 'I', 'Z' or 'L' per argument,
    // then ')' and the result kind.
    static std::string shape(const std::string& signature);
    static NativeResult invoke(const std::string& signature, void* function, JNIEnv* env, jobject receiver,
                               const std::vector<jvalue>& args);
};

#endif
