// A Java string; converts to and from the library's String.
#ifndef ORV_JNIBRIDGE_JSTRING_H
#define ORV_JNIBRIDGE_JSTRING_H

#include "jnibridge/JObject.h"

namespace JNIBridge {

class String;

class JString : public JObject {
public:
    explicit JString(jstring text);
    explicit JString(const String& text);
    JString(const JString& other) = default;
    JString& operator=(const JString& other) = default;

    JClass& typeClass() const override;

    // A new local reference to a Java copy of text, which may be standard
    // UTF-8 (from a module) or modified UTF-8 (from Java); it ends at the
    // first NUL byte.
    static jstring createString(const String& text);
    // The Java string's modified UTF-8 bytes; a null string reads as empty.
    String toString() const;
    // The same for a native's argument, without a global reference of its own.
    static String copyOf(jstring text);
    // The same with the env the native was given: nothing asked of the VM
    // recorded at load, and a Java exception the copy raises stays pending
    // (a JNIException without a throwable is thrown beside it).
    static String copyOf(JNIEnv* env, jstring text);
};

} // namespace JNIBridge

#endif
