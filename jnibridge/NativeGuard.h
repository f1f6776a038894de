// The last line of defence of every native entry function: no C++ exception
// may unwind into the Java VM. Each family catches its own exceptions inside
// the body and raises them its own way; whatever still escapes becomes a
// pending Java exception here and the native returns onFailure.
//
//   return guardNative<jint>(0, [&] { ...; return result; });
//   guardNative([&] { ... });
#ifndef ORV_JNIBRIDGE_NATIVEGUARD_H
#define ORV_JNIBRIDGE_NATIVEGUARD_H

#include "jnibridge/Exception.h"
#include "jnibridge/JavaExceptions.h"
#include "jnibridge/String.h"

#include <exception>
#include <new>
#include <utility>

namespace JNIBridge {

namespace NativeGuardDetail {

// Raises the Java exception that stands for the exception being handled.
// Called only from inside a catch block; building a message may itself throw.
inline void raiseForCurrentException()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        raiseJavaException("java/lang/OutOfMemoryError", "Native memory exhausted");
    } catch (const Exception& e) {
        raiseJavaException("java/lang/Error", String("Unhandled native failure - ") + e.getMessage());
    } catch (const std::exception& e) {
        raiseJavaException("java/lang/Error", String("Unhandled native failure - ") + e.what());
    } catch (...) {
        raiseJavaException("java/lang/Error", "Unhandled native failure - unknown exception");
    }
}

// When even the message cannot be built, memory is what ran out.
inline void raiseSafely() noexcept
{
    try {
        raiseForCurrentException();
    } catch (...) {
        try {
            raiseJavaException("java/lang/OutOfMemoryError", "Native memory exhausted");
        } catch (...) {
        }
    }
}

} // namespace NativeGuardDetail

template <class R, class F>
R guardNative(R onFailure, F&& body) noexcept
{
    try {
        return std::forward<F>(body)();
    } catch (...) {
        NativeGuardDetail::raiseSafely();
    }
    return onFailure;
}

template <class F>
void guardNative(F&& body) noexcept
{
    try {
        std::forward<F>(body)();
    } catch (...) {
        NativeGuardDetail::raiseSafely();
    }
}

} // namespace JNIBridge

#endif
