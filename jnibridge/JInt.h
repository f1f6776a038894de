// A Java int argument.
#ifndef ORV_JNIBRIDGE_JINT_H
#define ORV_JNIBRIDGE_JINT_H

#include "jnibridge/JValue.h"

namespace JNIBridge {

class JInt : public JValue {
public:
    explicit JInt(int value) noexcept;
    JClass& typeClass() const override;
};

} // namespace JNIBridge

#endif
