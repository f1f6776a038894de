// Whether a JNI method descriptor describes an entry function's C++ type, at
// compile time: a row whose descriptor disagrees with its function would bind
// and then read its arguments wrongly, seen only under -Xcheck:jni.
#ifndef ORV_JNIBRIDGE_NATIVESIGNATURE_H
#define ORV_JNIBRIDGE_NATIVESIGNATURE_H

#include <jni.h>

#include <cstddef>
#include <type_traits>

namespace JNIBridge {
namespace NativeSignature {

// The one descriptor a C++ type stands for; jobject stands for any class
// without a type of its own, so it has none here.
template <class T>
constexpr const char* descriptorOf()
{
    const char* found = nullptr;
    if constexpr (std::is_void_v<T>) {
        found = "V";
    } else if constexpr (std::is_same_v<T, jboolean>) {
        found = "Z";
    } else if constexpr (std::is_same_v<T, jbyte>) {
        found = "B";
    } else if constexpr (std::is_same_v<T, jchar>) {
        found = "C";
    } else if constexpr (std::is_same_v<T, jshort>) {
        found = "S";
    } else if constexpr (std::is_same_v<T, jint>) {
        found = "I";
    } else if constexpr (std::is_same_v<T, jlong>) {
        found = "J";
    } else if constexpr (std::is_same_v<T, jfloat>) {
        found = "F";
    } else if constexpr (std::is_same_v<T, jdouble>) {
        found = "D";
    } else if constexpr (std::is_same_v<T, jstring>) {
        found = "Ljava/lang/String;";
    } else if constexpr (std::is_same_v<T, jclass>) {
        found = "Ljava/lang/Class;";
    } else if constexpr (std::is_same_v<T, jthrowable>) {
        found = "Ljava/lang/Throwable;";
    } else if constexpr (std::is_same_v<T, jbooleanArray>) {
        found = "[Z";
    } else if constexpr (std::is_same_v<T, jbyteArray>) {
        found = "[B";
    } else if constexpr (std::is_same_v<T, jcharArray>) {
        found = "[C";
    } else if constexpr (std::is_same_v<T, jshortArray>) {
        found = "[S";
    } else if constexpr (std::is_same_v<T, jintArray>) {
        found = "[I";
    } else if constexpr (std::is_same_v<T, jlongArray>) {
        found = "[J";
    } else if constexpr (std::is_same_v<T, jfloatArray>) {
        found = "[F";
    } else if constexpr (std::is_same_v<T, jdoubleArray>) {
        found = "[D";
    } else {
        static_assert(std::is_same_v<T, jobject> || std::is_same_v<T, jobjectArray>,
                      "an entry function takes or returns a type JNI does not pass");
    }
    return found;
}

// The end of the field descriptor starting at from, or 0 where none starts.
constexpr std::size_t fieldEnd(const char* text, std::size_t from)
{
    std::size_t at = from;
    while (text[at] == '[') {
        ++at;
    }
    if (text[at] != 'L') {
        const char kind = text[at];
        const bool primitive = kind == 'Z' || kind == 'B' || kind == 'C' || kind == 'S' || kind == 'I' || kind == 'J' ||
                               kind == 'F' || kind == 'D';
        return primitive ? at + 1 : 0;
    }
    while (text[at] != ';') {
        if (text[at] == '\0') {
            return 0;
        }
        ++at;
    }
    return at + 1;
}

constexpr bool sameText(const char* text, std::size_t from, std::size_t to, const char* wanted)
{
    std::size_t i = 0;
    for (; from + i < to; ++i) {
        if (wanted[i] != text[from + i]) {
            return false;
        }
    }
    return wanted[i] == '\0';
}

// A class descriptor that one of JNI's own reference types stands for.
constexpr bool hasOwnType(const char* text, std::size_t from, std::size_t to)
{
    return sameText(text, from, to, descriptorOf<jstring>()) || sameText(text, from, to, descriptorOf<jclass>()) ||
           sameText(text, from, to, descriptorOf<jthrowable>());
}

// Whether the descriptor at position at describes T; moves at past it.
template <class T>
constexpr bool describes(const char* text, std::size_t& at)
{
    const std::size_t from = at;
    const std::size_t to = std::is_void_v<T> ? (text[at] == 'V' ? at + 1 : 0) : fieldEnd(text, at);
    if (to == 0) {
        return false;
    }
    at = to;
    if constexpr (std::is_same_v<T, jobject>) {
        return text[from] == 'L' && !hasOwnType(text, from, to);
    } else if constexpr (std::is_same_v<T, jobjectArray>) {
        return text[from] == '[' && to - from > 2;
    } else {
        return sameText(text, from, to, descriptorOf<T>());
    }
}

// (JNIEnv*, jclass or jobject, arguments...) against "(arguments)result".
template <class R, class Self, class... A>
constexpr bool matches(R(JNICALL*)(JNIEnv*, Self, A...), const char* signature)
{
    static_assert(std::is_same_v<Self, jclass> || std::is_same_v<Self, jobject>,
                  "an entry function's second parameter is its class or its object");
    std::size_t at = 1;
    const bool arguments = signature[0] == '(' && (describes<A>(signature, at) && ...);
    if (!arguments || signature[at] != ')') {
        return false;
    }
    ++at;
    return describes<R>(signature, at) && signature[at] == '\0';
}

} // namespace NativeSignature
} // namespace JNIBridge

#endif
