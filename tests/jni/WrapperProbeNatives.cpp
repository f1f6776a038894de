// Natives of orvane.jnitest.WrapperProbe: each drives one wrapper, exception
// routine or the native guard the way the library's own natives do, and
// reports failures as the PKCS#11 natives do.
#include "CountingEnv.h"
#include "StderrCapture.h"

#include "jnibridge/ByteArray.h"
#include "jnibridge/JArguments.h"
#include "jnibridge/JBoolean.h"
#include "jnibridge/JByteArray.h"
#include "jnibridge/JClass.h"
#include "jnibridge/JConstructor.h"
#include "jnibridge/JInt.h"
#include "jnibridge/JMethod.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JProxy.h"
#include "jnibridge/JSignature.h"
#include "jnibridge/JString.h"
#include "jnibridge/JThrowable.h"
#include "jnibridge/JavaExceptions.h"
#include "jnibridge/NativeGuard.h"
#include "jnibridge/String.h"

#include <atomic>
#include <dlfcn.h>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace JNIBridge;

namespace {

const char* const failureClass = "orvane/clapi/crypto/PKCS11Exception";

// What the last capturing native wrote to stderr.
std::string lastStderr;

// Runs body; a JNIException it throws reaches Java as the PKCS#11 natives
// report failures, and the native returns its zero value.
template <typename Result, typename Body>
Result reporting(Body body)
{
    try {
        return body();
    } catch (const JNIException& e) {
        raiseJavaException(failureClass, e.getMessage());
        return Result();
    }
}

jstring JNICALL roundTripString(JNIEnv*, jclass, jstring text)
{
    return reporting<jstring>(
        [&] { return static_cast<jstring>(JString(JString(text).toString()).getLocalReference()); });
}

// The bytes as a module's text: what reaches Java through JString.
jstring JNICALL stringFromBytes(JNIEnv*, jclass, jbyteArray bytes)
{
    return reporting<jstring>([&] {
        const ByteArray raw = JByteArray(bytes).toByteArray();
        return static_cast<jstring>(JString(String(raw.data(), 0, raw.length())).getLocalReference());
    });
}

jbyteArray JNICALL roundTripBytes(JNIEnv*, jclass, jbyteArray bytes)
{
    return reporting<jbyteArray>(
        [&] { return static_cast<jbyteArray>(JByteArray(JByteArray(bytes).toByteArray()).getLocalReference()); });
}

jobject JNICALL copyAndReturn(JNIEnv*, jclass, jobject object)
{
    return reporting<jobject>([&] {
        JObject* first = new JObject(object);
        JObject copy(*first);
        delete first;
        JObject assigned;
        assigned = copy;
        assigned.setjValue(assigned.getjValue());
        return assigned.getLocalReference();
    });
}

// shape 0: (String, int, boolean, byte[]); 1: (int); 2: no arguments.
jobject JNICALL construct(JNIEnv*, jclass, jstring className, jint shape)
{
    return reporting<jobject>([&] {
        JString text(String("text"));
        JInt number(42);
        JBoolean flag(true);
        const char raw[] = {1, 2, 3};
        JByteArray bytes(ByteArray(raw, 0, 3));
        JArguments arguments;
        JSignature<JVoid> signature;
        if (shape == 0) {
            arguments.add(text).add(number).add(flag).add(bytes);
            signature.add(text.typeClass()).add(number.typeClass()).add(flag.typeClass()).add(bytes.typeClass());
        } else if (shape == 1) {
            arguments.add(number);
            signature.add(number.typeClass());
        }
        JConstructor constructor(JClass(JString(className).toString()), signature);
        JProxy proxy = constructor.invoke(arguments);
        return proxy.getLocalReference();
    });
}

jobject newBoolean(JNIEnv* env, bool value)
{
    jclass cls = env->FindClass("java/lang/Boolean");
    jmethodID valueOf = env->GetStaticMethodID(cls, "valueOf", "(Z)Ljava/lang/Boolean;");
    jobject boxed = env->CallStaticObjectMethod(cls, valueOf, value ? JNI_TRUE : JNI_FALSE);
    env->ExceptionCheck();
    return boxed;
}

// Runs r.run(), then converts whatever it left pending. Returns null when
// nothing was pending, else {message, held throwable, still pending}.
jobjectArray JNICALL checkAfterCall(JNIEnv* env, jclass, jobject runnable, jstring context, jstring detail)
{
    String contextText;
    String detailText;
    if (!reporting<bool>([&] {
            contextText = JString(context).toString();
            detailText = JString(detail).toString();
            return true;
        })) {
        return nullptr;
    }
    jclass runnableClass = env->GetObjectClass(runnable);
    jmethodID run = env->GetMethodID(runnableClass, "run", "()V");
    env->CallVoidMethod(runnable, run);
    try {
        checkJavaException(contextText, detailText);
        return nullptr;
    } catch (const JNIException& e) {
        const bool stillPending = env->ExceptionCheck() == JNI_TRUE;
        jobjectArray result = env->NewObjectArray(3, env->FindClass("java/lang/Object"), nullptr);
        env->SetObjectArrayElement(result, 0, JString::createString(e.getMessage()));
        env->SetObjectArrayElement(result, 1, e.getThrowable());
        env->SetObjectArrayElement(result, 2, newBoolean(env, stillPending));
        return result;
    }
}

jstring JNICALL methodLookupFailure(JNIEnv*, jclass, jstring className, jstring name, jstring signature,
                                    jboolean stringResult)
{
    try {
        JClass cls(JString(className).toString());
        if (stringResult) {
            JMethod<JString>(JString(name).toString(), JString(signature).toString()).getMethodID(cls);
        } else {
            JMethod<JVoid>(JString(name).toString(), JString(signature).toString()).getMethodID(cls);
        }
        return nullptr;
    } catch (const JNIException& e) {
        return JString::createString(e.getMessage());
    }
}

void JNICALL raise(JNIEnv*, jclass, jstring className, jstring message)
{
    String name;
    String text;
    if (!reporting<bool>([&] {
            name = JString(className).toString();
            text = JString(message).toString();
            return true;
        })) {
        return;
    }
    raiseJavaException(name, text);
}

void JNICALL raiseCapturing(JNIEnv* env, jclass cls, jstring className, jstring message)
{
    StderrCapture capture;
    raise(env, cls, className, message);
    lastStderr = capture.finish();
}

void JNICALL throwCapturing(JNIEnv* env, jclass, jstring className, jstring message)
{
    const char* name = env->GetStringUTFChars(className, nullptr);
    const char* text = env->GetStringUTFChars(message, nullptr);
    {
        StderrCapture capture;
        throwJavaException(env, name, text);
        lastStderr = capture.finish();
    }
    env->ReleaseStringUTFChars(className, name);
    env->ReleaseStringUTFChars(message, text);
}

jstring JNICALL capturedStderr(JNIEnv* env, jclass)
{
    return env->NewStringUTF(lastStderr.c_str());
}

// On a thread the VM has never seen: {was detached before, attach gave an
// env, second attach gave the same env, the env works}.
jbooleanArray JNICALL attachFromNewThread(JNIEnv* env, jclass)
{
    jboolean results[4] = {JNI_FALSE, JNI_FALSE, JNI_FALSE, JNI_FALSE};
    std::thread worker([&results] {
        try {
            JavaVM* vm = JNIHelper::getJavaVM();
            void* before = nullptr;
            results[0] = vm->GetEnv(&before, JNI_VERSION_1_4) == JNI_EDETACHED;
            JNIEnv* first = JNIHelper::attachCurrentThread();
            JNIEnv* second = JNIHelper::attachCurrentThread();
            results[1] = first != nullptr;
            results[2] = first == second;
            results[3] = JString(String("usable")).toString().length() == 6;
            // The library never detaches; the test thread must before it ends.
            vm->DetachCurrentThread();
        } catch (...) {
        }
    });
    worker.join();
    jbooleanArray array = env->NewBooleanArray(4);
    env->SetBooleanArrayRegion(array, 0, 4, results);
    return array;
}

// Converts `conversions` Java exceptions and counts how often Throwable's
// toString is looked up meanwhile; then counts a fresh method object's
// lookups over three getMethodID calls, which proves the counter counts.
jintArray JNICALL countToStringLookups(JNIEnv* env, jclass, jint conversions)
{
    jint results[2] = {-1, -1};
    {
        CountingEnv counting(env, "toString");
        CountingEnv::reset();
        for (jint i = 0; i < conversions; ++i) {
            env->ThrowNew(env->FindClass("java/lang/IllegalStateException"), "converted");
            try {
                checkJavaException("probe", String());
            } catch (const JNIException&) {
            }
        }
        results[0] = CountingEnv::count();
        CountingEnv::reset();
        try {
            JMethod<JString> fresh("toString", "()Ljava/lang/String;");
            JClass throwable("java/lang/Throwable");
            fresh.getMethodID(throwable);
            fresh.getMethodID(throwable);
            fresh.getMethodID(throwable);
        } catch (const JNIException&) {
        }
        results[1] = CountingEnv::count();
    }
    jintArray array = env->NewIntArray(2);
    env->SetIntArrayRegion(array, 0, 2, results);
    return array;
}

// Wraps both objects, assigns the second wrapper to the first and destroys
// both: {global references made, deleted} meanwhile.
jintArray JNICALL countAssignmentGlobals(JNIEnv* env, jclass, jobject first, jobject second)
{
    jint results[2] = {-1, -1};
    {
        CountingEnv counting(env, nullptr);
        CountingEnv::reset();
        if (reporting<bool>([&] {
                JObject target(first);
                JObject source(second);
                target = source;
                return true;
            })) {
            results[0] = CountingEnv::globalsCreated();
            results[1] = CountingEnv::globalsDeleted();
        }
    }
    jintArray array = env->NewIntArray(2);
    env->SetIntArrayRegion(array, 0, 2, results);
    return array;
}

// Several native threads look up one fresh method object at the same moment:
// {GetMethodID calls, distinct IDs seen, threads that failed}.
jintArray JNICALL concurrentFirstLookup(JNIEnv* env, jclass, jint threads)
{
    JMethod<JString> shared("toString", "()Ljava/lang/String;");
    JClass cls("java/lang/Object");
    std::atomic<int> ready{0};
    std::atomic<int> failures{0};
    std::vector<jmethodID> ids(static_cast<std::size_t>(threads), nullptr);
    std::vector<std::thread> workers;
    CountingEnv::reset();
    for (jint t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            try {
                JNIEnv* mine = JNIHelper::attachCurrentThread();
                {
                    CountingEnv counting(mine, "toString");
                    ready.fetch_add(1);
                    while (ready.load() < threads) {
                        std::this_thread::yield();
                    }
                    ids[static_cast<std::size_t>(t)] = shared.getMethodID(cls);
                }
                JNIHelper::getJavaVM()->DetachCurrentThread();
            } catch (...) {
                failures.fetch_add(1);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    std::set<jmethodID> distinct(ids.begin(), ids.end());
    jint results[3] = {CountingEnv::count(), static_cast<jint>(distinct.size()), failures.load()};
    jintArray array = env->NewIntArray(3);
    env->SetIntArrayRegion(array, 0, 3, results);
    return array;
}

void JNICALL newByteArray(JNIEnv*, jclass, jint size)
{
    reporting<void>([&] {
        ByteArray bytes(static_cast<unsigned int>(size));
        JByteArray array(bytes);
    });
}

// kind 0: std::bad_alloc, 1: std::runtime_error, 2: a non-exception type,
// 3: the library's own exception, anything else: returns 7.
jint throwKind(jint kind)
{
    switch (kind) {
    case 0:
        throw std::bad_alloc();
    case 1:
        throw std::runtime_error("probe failure");
    case 2:
        throw 42;
    case 3:
        throw JNIException("JNIBridge failure");
    default:
        return 7;
    }
}

jint JNICALL guarded(JNIEnv*, jclass, jint kind)
{
    return guardNative<jint>(0, [kind] { return throwKind(kind); });
}

void JNICALL guardedVoid(JNIEnv*, jclass, jint kind)
{
    guardNative([kind] { throwKind(kind); });
}

jobjectArray JNICALL typeDescriptors(JNIEnv* env, jclass)
{
    return reporting<jobjectArray>([&] {
        JObject object;
        JString text(static_cast<jstring>(nullptr));
        JThrowable throwable(static_cast<jthrowable>(nullptr));
        JByteArray bytes(static_cast<jbyteArray>(nullptr));
        JInt number(1);
        JBoolean flag(false);
        JProxy proxy(nullptr, JClass("orvane/jnitest/WrapperProbe"));
        const JValue* values[] = {&object, &text, &throwable, &bytes, &number, &flag, &proxy};
        JSignature<JVoid> signature;
        std::vector<String> texts;
        for (const JValue* value : values) {
            texts.push_back(value->typeClass().getName());
            texts.push_back(value->typeClass().getSignature());
            signature.add(value->typeClass());
        }
        texts.push_back(signature.getSignature());
        texts.push_back(JSignature<JVoid>().getSignature());
        jobjectArray result =
            env->NewObjectArray(static_cast<jsize>(texts.size()), env->FindClass("java/lang/String"), nullptr);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            env->SetObjectArrayElement(result, static_cast<jsize>(i), JString::createString(texts[i]));
        }
        return result;
    });
}

// Calls the real library's load hook with this VM, as the VM itself does.
jint JNICALL callOnLoadOf(JNIEnv* env, jclass, jstring path)
{
    const char* file = env->GetStringUTFChars(path, nullptr);
    void* library = dlopen(file, RTLD_NOW);
    env->ReleaseStringUTFChars(path, file);
    if (library == nullptr) {
        return -1;
    }
    using OnLoad = jint(JNICALL*)(JavaVM*, void*);
    auto onLoad = reinterpret_cast<OnLoad>(dlsym(library, "JNI_OnLoad"));
    jint version = -2;
    if (onLoad != nullptr) {
        JavaVM* vm = nullptr;
        env->GetJavaVM(&vm);
        version = onLoad(vm, nullptr);
    }
    dlclose(library);
    return version;
}

template <typename Function>
JNINativeMethod row(const char* name, const char* signature, Function* function)
{
    return JNINativeMethod{const_cast<char*>(name), const_cast<char*>(signature), reinterpret_cast<void*>(function)};
}

} // namespace

void registerWrapperProbe(JNIEnv* env)
{
    const JNINativeMethod methods[] = {
        row("roundTripString", "(Ljava/lang/String;)Ljava/lang/String;", &roundTripString),
        row("roundTripBytes", "([B)[B", &roundTripBytes),
        row("stringFromBytes", "([B)Ljava/lang/String;", &stringFromBytes),
        row("copyAndReturn", "(Ljava/lang/Object;)Ljava/lang/Object;", &copyAndReturn),
        row("construct", "(Ljava/lang/String;I)Ljava/lang/Object;", &construct),
        row("checkAfterCall", "(Ljava/lang/Runnable;Ljava/lang/String;Ljava/lang/String;)[Ljava/lang/Object;",
            &checkAfterCall),
        row("methodLookupFailure", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Z)Ljava/lang/String;",
            &methodLookupFailure),
        row("raise", "(Ljava/lang/String;Ljava/lang/String;)V", &raise),
        row("raiseCapturing", "(Ljava/lang/String;Ljava/lang/String;)V", &raiseCapturing),
        row("throwCapturing", "(Ljava/lang/String;Ljava/lang/String;)V", &throwCapturing),
        row("capturedStderr", "()Ljava/lang/String;", &capturedStderr),
        row("attachFromNewThread", "()[Z", &attachFromNewThread),
        row("countToStringLookups", "(I)[I", &countToStringLookups),
        row("concurrentFirstLookup", "(I)[I", &concurrentFirstLookup),
        row("countAssignmentGlobals", "(Ljava/lang/Object;Ljava/lang/Object;)[I", &countAssignmentGlobals),
        row("newByteArray", "(I)V", &newByteArray),
        row("guarded", "(I)I", &guarded),
        row("guardedVoid", "(I)V", &guardedVoid),
        row("typeDescriptors", "()[Ljava/lang/String;", &typeDescriptors),
        row("callOnLoadOf", "(Ljava/lang/String;)I", &callOnLoadOf),
    };
    jclass probe = env->FindClass("orvane/jnitest/WrapperProbe");
    if (probe == nullptr) {
        return;
    }
    env->RegisterNatives(probe, methods, sizeof methods / sizeof methods[0]);
    env->DeleteLocalRef(probe);
}
