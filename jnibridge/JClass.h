// A Java class named by its JNI internal name, with the signature it has in
// method descriptors. The class reference is found once, on first need.
#ifndef ORV_JNIBRIDGE_JCLASS_H
#define ORV_JNIBRIDGE_JCLASS_H

#include "jnibridge/String.h"

#include <atomic>
#include <jni.h>

namespace JNIBridge {

class JClass {
public:
    // Signature "L" + name + ";".
    explicit JClass(const String& name);
    JClass(const String& name, const String& signature);
    // The copy finds its own class reference when it needs one.
    JClass(const JClass& other);
    JClass& operator=(const JClass&) = delete;
    ~JClass();

    const String& getName() const noexcept { return name_; }
    const String& getSignature() const noexcept { return signature_; }

    jclass getClass();
    void setClass();

    // Building blocks of other descriptors: "byte"/"B" and "void"/"V".
    static const JClass& byteType();
    static const JClass& voidType();

private:
    // Shared descriptors are reached from many threads: the first reference
    // installed wins and a late duplicate is released.
    std::atomic<jclass> class_{nullptr};
    String name_;
    String signature_;
};

} // namespace JNIBridge

#endif
