// One native's line in the diagnostic log: its Java name, its arguments as
// far as they are no secret, its outcome and its duration.
//
//   native PKCS11Slot.signData(0, 1, byte[812], byte[20], 64) = byte[256] (3.214 ms)
//   native PKCS11Slot.login(0, 1, '****', 1) threw orvane.clapi.crypto.PKCS11Exception: ... (0.912 ms)
#ifndef ORV_JNIBRIDGE_NATIVELINE_H
#define ORV_JNIBRIDGE_NATIVELINE_H

#include "jnibridge/DiagnosticLog.h"

#include <jni.h>

#include <string>

namespace JNIBridge {

// Whether a native's string arguments may be shown: PINs and labels may not,
// module paths, store names and registry paths may.
enum class NativeText { hidden, shown };

// Filled in as the native is bound, from its registration row.
struct NativeName {
    const char* className = nullptr;
    const char* method = nullptr;
};

class NativeLine {
public:
    // Starts the clock. May throw std::bad_alloc.
    NativeLine(JNIEnv* env, const NativeName& name, NativeText text);

    void argument(jint value);
    void argument(jlong value);
    void argument(jboolean value);
    void argument(jbyteArray value);
    void argument(jbooleanArray value);
    void argument(jstring value);
    void argument(jobject value);

    // Ends the line with the Java exception left pending, or else with what
    // the native returned, and writes it.
    void returned() noexcept;
    void returned(jint value) noexcept;
    void returned(jlong value) noexcept;
    void returned(jboolean value) noexcept;
    void returned(jbyteArray value) noexcept;
    void returned(jstring value) noexcept;
    void returned(jobject value) noexcept;

private:
    void next();
    void arrayLength(const char* elementType, jarray value);
    // The outcome, unless an exception is pending: then that is the outcome.
    void finish(const std::string& outcome) noexcept;

    JNIEnv* env_;
    NativeText text_;
    std::string line_;
    DiagnosticLog::Clock::time_point start_;
    bool first_ = true;
};

} // namespace JNIBridge

#endif
