// Arguments of a constructor call, in order; the caller owns the values.
#ifndef ORV_JNIBRIDGE_JARGUMENTS_H
#define ORV_JNIBRIDGE_JARGUMENTS_H

#include <jni.h>
#include <vector>

namespace JNIBridge {

class JValue;

class JArguments {
public:
    // Room for the longest constructor the library calls, so that adding its
    // arguments allocates once.
    JArguments() { values_.reserve(8); }
    JArguments& add(JValue& value);
    std::vector<jvalue> toJValueArray() const;
    bool isEmpty() const noexcept { return values_.empty(); }

private:
    std::vector<JValue*> values_;
};

} // namespace JNIBridge

#endif
