// A Java string; converts to and from the library's String as modified UTF-8.
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

    // A new local reference to a Java copy of text.
    static jstring createString(const String& text);
    // The Java string's modified UTF-8 bytes; a null string reads as empty.
    String toString() const;
};

} // namespace JNIBridge

#endif
