// The JNI descriptor of a method: argument types in order, then the return type.
#ifndef ORV_JNIBRIDGE_JSIGNATURE_H
#define ORV_JNIBRIDGE_JSIGNATURE_H

#include "jnibridge/JVoid.h"
#include "jnibridge/String.h"

#include <vector>

namespace JNIBridge {

class JClass;

template <typename R>
class JSignature;

template <>
class JSignature<JVoid> {
public:
    JSignature() = default;
    // The descriptor is kept by pointer: the caller keeps it alive.
    JSignature& add(const JClass& type);
    // "(" + each argument's signature + ")V".
    String getSignature() const;

private:
    std::vector<const JClass*> arguments_;
};

} // namespace JNIBridge

#endif
