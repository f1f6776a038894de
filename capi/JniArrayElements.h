// The elements of a Java primitive array, released in mode 0 (copied back
// and freed) when the holder goes, on every path.
#ifndef ORV_CAPI_JNIARRAYELEMENTS_H
#define ORV_CAPI_JNIARRAYELEMENTS_H

#include <jni.h>

struct JBooleanArrayTraits {
    using Array = jbooleanArray;
    using Element = jboolean;
    static Element* get(JNIEnv* env, Array array) { return env->GetBooleanArrayElements(array, nullptr); }
    static void release(JNIEnv* env, Array array, Element* elements)
    {
        env->ReleaseBooleanArrayElements(array, elements, 0);
    }
};

struct JByteArrayTraits {
    using Array = jbyteArray;
    using Element = jbyte;
    static Element* get(JNIEnv* env, Array array) { return env->GetByteArrayElements(array, nullptr); }
    static void release(JNIEnv* env, Array array, Element* elements)
    {
        env->ReleaseByteArrayElements(array, elements, 0);
    }
};

template <typename Traits>
class JniArrayElements {
public:
    using Element = typename Traits::Element;

    JniArrayElements(JNIEnv* env, typename Traits::Array array)
        : env_(env), array_(array), elements_(Traits::get(env, array))
    {
    }
    ~JniArrayElements()
    {
        if (elements_ != nullptr) {
            Traits::release(env_, array_, elements_);
        }
    }
    JniArrayElements(const JniArrayElements&) = delete;
    JniArrayElements& operator=(const JniArrayElements&) = delete;

    Element* get() const noexcept { return elements_; }
    explicit operator bool() const noexcept { return elements_ != nullptr; }

private:
    JNIEnv* env_;
    typename Traits::Array array_;
    Element* elements_;
};

using JBooleanArrayElements = JniArrayElements<JBooleanArrayTraits>;
using JByteArrayElements = JniArrayElements<JByteArrayTraits>;

#endif
