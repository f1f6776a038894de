// A Java object together with the class it was built from.
#ifndef ORV_JNIBRIDGE_JPROXY_H
#define ORV_JNIBRIDGE_JPROXY_H

#include "jnibridge/JClass.h"
#include "jnibridge/JObject.h"

namespace JNIBridge {

class JProxy : public JObject {
public:
    JProxy(jobject object, const JClass& cls);
    JProxy(const JProxy& other);
    JProxy& operator=(const JProxy&) = delete;

    // Its own class, not a process-wide descriptor.
    JClass& typeClass() const override;

private:
    mutable JClass class_;
};

} // namespace JNIBridge

#endif
