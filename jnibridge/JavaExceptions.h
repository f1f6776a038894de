// Moving failures across the Java boundary, in both directions.
#ifndef ORV_JNIBRIDGE_JAVAEXCEPTIONS_H
#define ORV_JNIBRIDGE_JAVAEXCEPTIONS_H

#include <jni.h>

namespace JNIBridge {

class String;

// Raises className(message) with the caller's environment; when the class
// cannot be found, reports that on stderr and leaves NoClassDefFoundError pending.
void throwJavaException(JNIEnv* env, const char* className, const char* message);

// throwJavaException, unless a Java exception is already pending: one left by
// a failed JNI call is the better report, and JNI allows no class lookup over it.
void throwUnlessPending(JNIEnv* env, const char* className, const char* message);

// When a Java exception is pending on this thread: clears it and throws
// JNIBridge::JNIException "context - <its toString()>detail" holding it.
void checkJavaException(const JNIBridge::String& context, const JNIBridge::String& detail);

// Leaves className(message) pending on this thread, replacing any exception
// already pending. Never throws: when the class cannot be found or the thread
// has no environment it reports that on stderr as throwJavaException does,
// and the lookup's own Java exception (if any) is what stays pending.
void raiseJavaException(const JNIBridge::String& className, const JNIBridge::String& message) noexcept;

} // namespace JNIBridge

#endif
