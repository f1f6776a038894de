#include "jnibridge/JavaExceptions.h"

#include <cstdio>

void throwJavaException(JNIEnv* env, const char* className, const char* message)
{
    jclass cls = env->FindClass(className);
    if (cls == nullptr) {
        std::fprintf(stderr, "Could not throw the exception: %s\n", message);
        return;
    }
    env->ThrowNew(cls, message);
}
