// Calls a registered native through a pointer of its exact C type.
#include "NativeInvoker.h"

#include "../library/ExpectedNatives.h"

#include <array>
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
    } else if constexpr (std::is_same_v<T, jlong>) {
        return value.j;
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

// The kind of the descriptor at position at, 'L' for any array or class; moves at past it.
constexpr char kindAt(const char* signature, std::size_t& at)
{
    const char first = signature[at];
    while (signature[at] == '[') {
        ++at;
    }
    if (signature[at] == 'L') {
        while (signature[at] != ';') {
            ++at;
        }
    }
    ++at;
    return first == '[' ? 'L' : first;
}

constexpr std::size_t argumentCount(const char* signature)
{
    std::size_t count = 0;
    for (std::size_t at = 1; signature[at] != ')'; ++count) {
        kindAt(signature, at);
    }
    return count;
}

// The kind of argument n, or of the result where n is the argument count.
constexpr char kindOf(const char* signature, std::size_t n)
{
    std::size_t at = 1;
    for (std::size_t i = 0; i < n; ++i) {
        kindAt(signature, at);
    }
    at += signature[at] == ')' ? 1 : 0;
    return kindAt(signature, at);
}

constexpr bool callable(char kind)
{
    return kind == 'I' || kind == 'J' || kind == 'Z' || kind == 'L';
}

template <char kind>
using KindType = std::conditional_t<
    kind == 'I', jint,
    std::conditional_t<kind == 'J', jlong,
                       std::conditional_t<kind == 'Z', jboolean, std::conditional_t<kind == 'L', jobject, void>>>>;

using Runner = NativeResult (*)(void*, JNIEnv*, jobject, const std::vector<jvalue>&);

// Each native's call, typed from its signature in the class tables.
template <std::size_t row, std::size_t... N>
constexpr Runner runnerOf(std::index_sequence<N...>)
{
    constexpr const char* signature = ExpectedNatives::rows[row].signature;
    static_assert((callable(kindOf(signature, N)) && ...) &&
                      (callable(kindOf(signature, sizeof...(N))) || kindOf(signature, sizeof...(N)) == 'V'),
                  "a native takes or returns a kind the host cannot call it with");
    return &Call<KindType<kindOf(signature, sizeof...(N))>, KindType<kindOf(signature, N)>...>::run;
}

template <std::size_t... row>
constexpr std::array<Runner, sizeof...(row)> runnersOf(std::index_sequence<row...>)
{
    return {runnerOf<row>(std::make_index_sequence<argumentCount(ExpectedNatives::rows[row].signature)>())...};
}

constexpr auto kRunners = runnersOf(std::make_index_sequence<ExpectedNatives::rowCount>());

} // namespace

NativeResult NativeInvoker::invoke(const std::string& signature, void* function, JNIEnv* env, jobject receiver,
                                   const std::vector<jvalue>& args)
{
    for (std::size_t i = 0; i < ExpectedNatives::rowCount; ++i) {
        if (signature == ExpectedNatives::rows[i].signature) {
            return kRunners[i](function, env, receiver, args);
        }
    }
    throw std::logic_error("jnihost: no call shape for " + signature);
}
