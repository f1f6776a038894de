// A JNI local reference deleted when the holder goes, so loops over many
// Java objects do not exhaust the native frame's local references.
#ifndef ORV_JNIBRIDGE_LOCALREF_H
#define ORV_JNIBRIDGE_LOCALREF_H

#include <jni.h>

namespace JNIBridge {

template <typename Ref>
class LocalRef {
public:
    LocalRef(JNIEnv* env, Ref ref) noexcept : env_(env), ref_(ref) {}
    ~LocalRef()
    {
        if (ref_ != nullptr) {
            env_->DeleteLocalRef(ref_);
        }
    }
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;

    Ref get() const noexcept { return ref_; }
    explicit operator bool() const noexcept { return ref_ != nullptr; }

private:
    JNIEnv* env_;
    Ref ref_;
};

} // namespace JNIBridge

#endif
