// Calls a registered native through a pointer of its exact C type.
#include "NativeInvoker.h"

#include <cstddef>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace {

template <typename T>
T argument(const jvalue& value)
{
    if constexpr (std::is_same_v<T, jint>) {
        return value.i;
    } else if constexpr (std::is_same_v<T, jboolean>) {
        return value.z;
    } else {
        return value.l;
    }
}

template <typename R, typename... A>
struct Call {
    using Function = R(JNICALL*)(JNIEnv*, jobject, A...);

    static NativeResult run(void* function, JNIEnv* env, jobject receiver, const std::vector<jvalue>& args)
    {
        return runWith(reinterpret_cast<Function>(function), env, receiver, args, std::index_sequence_for<A...>());
    }

    template <std::size_t... N>
    static NativeResult runWith(Function f, JNIEnv* env, jobject receiver, const std::vector<jvalue>& args,
                                std::index_sequence<N...>)
    {
        NativeResult result;
        if constexpr (std::is_void_v<R>) {
            f(env, receiver, argument<A>(args[N])...);
        } else if constexpr (std::is_same_v<R, jint>) {
            result.kind = 'I', result.i = f(env, receiver, argument<A>(args[N])...);
        } else if constexpr (std::is_same_v<R, jlong>) {
            result.kind = 'J', result.j = f(env, receiver, argument<A>(args[N])...);
        } else if constexpr (std::is_same_v<R, jboolean>) {
            result.kind = 'Z', result.z = f(env, receiver, argument<A>(args[N])...);
        } else {
            result.kind = 'L', result.l = f(env, receiver, argument<A>(args[N])...);
        }
        return result;
    }
};

using I = jint;
using Z = jboolean;
using L = jobject;

struct Shape {
    const char* shape;
    NativeResult (*run)(void*, JNIEnv*, jobject, const std::vector<jvalue>&);
};

// Every shape among the registered natives.
const Shape shapes[] = {
    {")V", &Call<void>::run},
    {"I)I", &Call<I, I>::run},
    {"I)J", &Call<jlong, I>::run},
    {"I)V", &Call<void, I>::run},
    {"L)I", &Call<I, L>::run},
    {"L)V", &Call<void, L>::run},
    {"LL)J", &Call<jlong, L, L>::run},
    {"LLL)J", &Call<jlong, L, L, L>::run},
    {"LLL)L", &Call<L, L, L, L>::run},
    {"LILLLI)J", &Call<jlong, L, I, L, L, L, I>::run},
    {"ILI)L", &Call<L, I, L, I>::run},
    {"ILL)L", &Call<L, I, L, L>::run},
    {"II)V", &Call<void, I, I>::run},
    {"II)Z", &Call<Z, I, I>::run},
    {"II)L", &Call<L, I, I>::run},
    {"IIZ)V", &Call<void, I, I, Z>::run},
    {"IIL)V", &Call<void, I, I, L>::run},
    {"III)V", &Call<void, I, I, I>::run},
    {"III)I", &Call<I, I, I, I>::run},
    {"III)Z", &Call<Z, I, I, I>::run},
    {"III)L", &Call<L, I, I, I>::run},
    {"IILI)V", &Call<void, I, I, L, I>::run},
    {"IILL)V", &Call<void, I, I, L, L>::run},
    {"IIII)L", &Call<L, I, I, I, I>::run},
    {"IILLL)V", &Call<void, I, I, L, L, L>::run},
    {"IILLI)L", &Call<L, I, I, L, L, I>::run},
    {"IIILZZ)Z", &Call<Z, I, I, I, L, Z, Z>::run},
    {"IILLLI)Z", &Call<Z, I, I, L, L, L, I>::run},
};

} // namespace

std::string NativeInvoker::shape(const std::string& signature)
{
    std::string out;
    std::size_t i = 1;
    auto kindAt = [&](std::size_t& at) {
        const char c = signature.at(at);
        while (signature.at(at) == '[') {
            ++at;
        }
        at = signature.at(at) == 'L' ? signature.find(';', at) + 1 : at + 1;
        return c == '[' || c == 'L' ? 'L' : c == 'I' || c == 'Z' || c == 'V' || c == 'J' ? c : '?';
    };
    while (signature.at(i) != ')') {
        out += kindAt(i);
    }
    ++i;
    out += ')';
    out += kindAt(i);
    return out;
}

NativeResult NativeInvoker::invoke(const std::string& signature, void* function, JNIEnv* env, jobject receiver,
                                   const std::vector<jvalue>& args)
{
    const std::string wanted = shape(signature);
    for (const Shape& s : shapes) {
        if (wanted == s.shape) {
            return s.run(function, env, receiver, args);
        }
    }
    throw std::logic_error("jnihost: no call shape for " + signature);
}
