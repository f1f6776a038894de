// The logged twin of an entry function: bound instead of it when the
// diagnostic log is on, so that with the log off the natives run exactly as
// they would without it. It calls the entry function once, whatever the log
// does, and writes the native's line after it.
#ifndef ORV_JNIBRIDGE_LOGGEDNATIVE_H
#define ORV_JNIBRIDGE_LOGGEDNATIVE_H

#include "jnibridge/NativeLine.h"

#include <jni.h>

#include <optional>
#include <type_traits>

namespace JNIBridge {

template <auto function, NativeText text, class R, class Self, class... A>
struct LoggedNative {
    static inline NativeName name{};
    // Called through a variable, so the entry function is never inlined
    // here: inlined, it would compile differently where it is bound unlogged.
    static inline R(JNICALL* target)(JNIEnv*, Self, A...) = function;

    static R JNICALL call(JNIEnv* env, Self self, A... args)
    {
        std::optional<NativeLine> line;
        try {
            line.emplace(env, name, text);
            (line->argument(args), ...);
        } catch (...) {
            line.reset();
        }
        DiagnosticLog::clearRaised();
        if constexpr (std::is_void_v<R>) {
            target(env, self, args...);
            if (line) {
                line->returned();
            }
        } else {
            const R result = target(env, self, args...);
            if (line) {
                line->returned(result);
            }
            return result;
        }
    }
};

} // namespace JNIBridge

#endif
