// The void return type, as a tag for signatures and methods.
#ifndef ORV_JNIBRIDGE_JVOID_H
#define ORV_JNIBRIDGE_JVOID_H

namespace JNIBridge {

class JVoid {};

} // namespace JNIBridge

#endif
