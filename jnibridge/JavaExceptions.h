// Moving failures across the Java boundary, in both directions.
#ifndef ORV_JNIBRIDGE_JAVAEXCEPTIONS_H
#define ORV_JNIBRIDGE_JAVAEXCEPTIONS_H

#include <jni.h>

// Raises className(message) with the caller's environment; when the class
// cannot be found, reports that on stderr and leaves NoClassDefFoundError pending.
void throwJavaException(JNIEnv* env, const char* className, const char* message);

#endif
