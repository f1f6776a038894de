// A Java boolean argument.
#ifndef ORV_JNIBRIDGE_JBOOLEAN_H
#define ORV_JNIBRIDGE_JBOOLEAN_H

#include "jnibridge/JValue.h"

namespace JNIBridge {

class JBoolean : public JValue {
public:
    explicit JBoolean(bool value) noexcept;
    JClass& typeClass() const override;
};

} // namespace JNIBridge

#endif
