// A Java throwable, readable as the text of its own toString().
#ifndef ORV_JNIBRIDGE_JTHROWABLE_H
#define ORV_JNIBRIDGE_JTHROWABLE_H

#include "jnibridge/JObject.h"

namespace JNIBridge {

class String;

class JThrowable : public JObject {
public:
    explicit JThrowable(jthrowable throwable);
    explicit JThrowable(const JObject& object);
    JThrowable(const JThrowable& other) = default;
    JThrowable& operator=(const JThrowable& other) = default;

    JClass& typeClass() const override;

    String toString();
};

} // namespace JNIBridge

#endif
