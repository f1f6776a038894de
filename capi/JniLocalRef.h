// A JNI local reference deleted when the holder goes, so loops over many
// Java objects do not exhaust the native frame's local references.
#ifndef ORV_CAPI_JNILOCALREF_H
#define ORV_CAPI_JNILOCALREF_H

#include <jni.h>

template <typename Ref>
class JniLocalRef {
public:
    JniLocalRef(JNIEnv* env, Ref ref) noexcept : env_(env), ref_(ref) {}
    ~JniLocalRef()
    {
        if (ref_ != nullptr) {
            env_->DeleteLocalRef(ref_);
        }
    }
    JniLocalRef(const JniLocalRef&) = delete;
    JniLocalRef& operator=(const JniLocalRef&) = delete;

    Ref get() const noexcept { return ref_; }
    explicit operator bool() const noexcept { return ref_ != nullptr; }

private:
    JNIEnv* env_;
    Ref ref_;
};

#endif
