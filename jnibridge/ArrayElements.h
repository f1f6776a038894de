// The elements of a Java primitive array, released in mode 0 (copied back
// and freed) when the holder goes, on every path. For writing into an array
// Java handed in; copies in and out in one call go through JByteArray.
#ifndef ORV_JNIBRIDGE_ARRAYELEMENTS_H
#define ORV_JNIBRIDGE_ARRAYELEMENTS_H

#include <jni.h>

namespace JNIBridge {

struct BooleanArrayTraits {
    using Array = jbooleanArray;
    using Element = jboolean;
    static Element* get(JNIEnv* env, Array array) { return env->GetBooleanArrayElements(array, nullptr); }
    static void release(JNIEnv* env, Array array, Element* elements)
    {
        env->ReleaseBooleanArrayElements(array, elements, 0);
    }
};

struct ByteArrayTraits {
    using Array = jbyteArray;
    using Element = jbyte;
    static Element* get(JNIEnv* env, Array array) { return env->GetByteArrayElements(array, nullptr); }
    static void release(JNIEnv* env, Array array, Element* elements)
    {
        env->ReleaseByteArrayElements(array, elements, 0);
    }
};

template <typename Traits>
class ArrayElements {
public:
    using Element = typename Traits::Element;

    ArrayElements(JNIEnv* env, typename Traits::Array array)
        : env_(env), array_(array), elements_(Traits::get(env, array))
    {
    }
    ~ArrayElements()
    {
        if (elements_ != nullptr) {
            Traits::release(env_, array_, elements_);
        }
    }
    ArrayElements(const ArrayElements&) = delete;
    ArrayElements& operator=(const ArrayElements&) = delete;

    Element* get() const noexcept { return elements_; }
    explicit operator bool() const noexcept { return elements_ != nullptr; }

private:
    JNIEnv* env_;
    typename Traits::Array array_;
    Element* elements_;
};

using BooleanArrayElements = ArrayElements<BooleanArrayTraits>;
using ByteArrayElements = ArrayElements<ByteArrayTraits>;

} // namespace JNIBridge

#endif
