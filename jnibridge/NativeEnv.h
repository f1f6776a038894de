// The JNI calls the other rooms' natives make with the JNIEnv* they were
// given, so that JNI is spoken in jnibridge alone. Each one reports a failure
// by its result and leaves the VM's exception, if any, pending.
#ifndef ORV_JNIBRIDGE_NATIVEENV_H
#define ORV_JNIBRIDGE_NATIVEENV_H

#include <jni.h>

#include <cstddef>

namespace JNIBridge {

// The array's length; a null array has none.
jsize arrayLength(JNIEnv* env, jarray array);

// The string's length in modified UTF-8 bytes, without a terminator; a null string has none.
jsize modifiedUtf8Length(JNIEnv* env, jstring string);

// Writes the whole string in modified UTF-8 (modifiedUtf8Length bytes, no
// terminator) into out; false when the VM refused.
bool copyModifiedUtf8(JNIEnv* env, jstring string, char* out);

// Copies length bytes from the start of array into out; false when the VM refused.
bool copyBytes(JNIEnv* env, jbyteArray array, jsize length, void* out);

// A new local byte[] of length zeros; null, with the VM's exception pending, when it cannot be made.
jbyteArray newByteArray(JNIEnv* env, jsize length);

// A new local byte[] holding a copy of the bytes; null, with the VM's
// exception pending, when it cannot be made or filled.
jbyteArray newByteArray(JNIEnv* env, const void* bytes, jsize length);

// A new local Java string from modified UTF-8 ending at its NUL, or from
// UTF-16 code units; null, with the VM's exception pending, on failure.
jstring newStringModifiedUtf8(JNIEnv* env, const char* text);
jstring newStringUtf16(JNIEnv* env, const char16_t* units, jsize length);

// A new local reference to the object's own class.
jclass objectClass(JNIEnv* env, jobject object);

// The class's instance method; null, with NoSuchMethodError pending, when it has none.
jmethodID methodId(JNIEnv* env, jclass cls, const char* name, const char* signature);

// Calls a method returning boolean; false when it threw, the exception then
// cleared, so the caller can report the failure its own way.
bool callBooleanMethodClearing(JNIEnv* env, jobject object, jmethodID method, jobject argument);

// A direct buffer's memory and capacity; a null address or a negative
// capacity when the object is not a direct buffer.
struct DirectBuffer {
    void* address;
    jlong capacity;
};
DirectBuffer directBuffer(JNIEnv* env, jobject buffer);

// True when a Java exception is pending on env's thread.
bool exceptionPending(JNIEnv* env);

} // namespace JNIBridge

#endif
