// The tests' one Java VM: the invocation and native interface tables with
// the functions the library calls, over a heap of HostObjects. Every
// other table slot traps. Misuse that -Xcheck:jni reports in a real VM
// (a call other than the exception-safe ones while an exception is pending,
// Get...Elements or GetStringUTFChars not released by the time the native
// returns, more local references alive at once than the native frame's
// capacity, an invalid or deleted reference) ends the process with a message.
#ifndef ORV_TESTS_JNIHOST_HOSTVM_H
#define ORV_TESTS_JNIHOST_HOSTVM_H

#include "HostClasses.h"
#include "HostObject.h"

#include <jni.h>

#include <cstdarg>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

struct HostBinding {
    const HostClass* cls = nullptr;
    const HostMethod* method = nullptr;
    void* function = nullptr;
};

class HostVM {
public:
    // A native frame holds at most this many locals of its own before a
    // JVM run with -Xcheck:jni warns.
    static constexpr std::size_t kLocalCapacity = 16;

    explicit HostVM(const HostClasses& classes);
    HostVM(const HostVM&) = delete;
    HostVM& operator=(const HostVM&) = delete;

    JavaVM* vm() noexcept;
    JNIEnv* env() noexcept;
    const HostClasses& classes() const noexcept { return classes_; }

    HostObject* newObject(const HostClass* cls);
    HostObject* newObject(const std::string& className);
    HostObject* newString(const std::u16string& text);
    HostObject* classObject(const HostClass* cls);

    // Native frames: locals made inside one belong to it and die with it.
    void pushFrame();
    void popFrame();
    jobject newLocal(HostObject* object);
    HostObject* deref(jobject ref, const char* function);
    std::size_t peakLocals() const noexcept { return frames_.back().peak; }
    std::size_t liveLocals() const noexcept { return frames_.back().live; }
    std::size_t globalCount() const noexcept { return globals_; }
    // Ends the process when anything handed out by Get...Elements or
    // GetStringUTFChars is still held.
    void requireAllReleased(const std::string& where);

    const std::vector<HostBinding>& bindings() const noexcept { return bindings_; }
    HostObject* pendingException() const noexcept { return pending_; }
    void clearPendingException() noexcept { pending_ = nullptr; }

    // What runs now, for misuse reports.
    void setActivity(const std::string& activity) { activity_ = activity; }
    [[noreturn]] void misuse(const std::string& what) const;

    // For tests of a load hook: from now on every JNI call is kept as
    // "Function(details)", details only for GetEnv's version, FindClass's
    // name, RegisterNatives's class, first row, count and function, and the
    // class of a deleted reference.
    void recordCalls() noexcept { recording_ = true; }
    const std::vector<std::string>& calls() const noexcept { return calls_; }
    // Refusals a VM may answer the load hook with; the last two leave a
    // NoClassDefFoundError or NoSuchMethodError pending.
    void failGetEnv() noexcept { getEnvFails_ = true; }
    void failFindClass(const std::string& className) { missingClasses_.insert(className); }
    void failRegistration(const std::string& methodName) { failingNatives_.insert(methodName); }

    static HostVM& of(JNIEnv* env);
    static HostVM& of(JavaVM* vm);

    // Modified UTF-8 as JNI uses it.
    static bool fromModifiedUtf8(const char* bytes, std::u16string& text);

private:
    struct Ref {
        HostObject* object = nullptr;
        enum Kind { Local, Global, Deleted } kind = Local;
    };
    struct Frame {
        std::size_t live = 0;
        std::size_t peak = 0;
        std::vector<Ref*> refs;
    };
    struct Pinned {
        HostObject* array = nullptr;
        char kind = 'B'; // 'B' byte[], 'Z' boolean[], 'U' UTF chars
    };
    struct EnvBlock : JNIEnv_ {
        HostVM* owner = nullptr;
    };
    struct VMBlock : JavaVM_ {
        HostVM* owner = nullptr;
    };

    void installFunctions();
    // Every call that is not exception-safe goes through here first.
    void enter(const char* function, const std::string& detail = std::string());
    void record(const char* function, const std::string& detail = std::string());
    std::string nameOf(jobject ref) const;
    jobject newGlobal(HostObject* object);
    void deleteRef(jobject ref, Ref::Kind expected, const char* function);
    void throwNew(const HostClass* cls, const std::string& message);
    HostObject* requireArray(jobject ref, const char* cls, const char* function);
    jmethodID methodId(const HostMethod* method) const
    {
        return reinterpret_cast<jmethodID>(const_cast<HostMethod*>(method));
    }
    const HostMethod* method(jmethodID id, const char* function) const;
    HostObject* construct(const HostClass* cls, const HostMethod* constructor, const jvalue* args);
    // Writes count characters from start as modified UTF-8 to out, unless
    // null, and returns the length: straight into the caller's buffer, so no
    // copy of a secret stays behind on the heap.
    static std::size_t modifiedUtf8(const std::u16string& text, std::size_t start, std::size_t count, char* out);

    // Invocation interface.
    static jint JNICALL getEnv(JavaVM* vm, void** env, jint version);
    static jint JNICALL attachCurrentThread(JavaVM* vm, void** env, void* args);
    // Native interface.
    static jclass JNICALL findClass(JNIEnv* env, const char* name);
    static jboolean JNICALL isAssignableFrom(JNIEnv* env, jclass sub, jclass sup);
    static jint JNICALL throwObject(JNIEnv* env, jthrowable object);
    static jint JNICALL throwNewJni(JNIEnv* env, jclass cls, const char* message);
    static jthrowable JNICALL exceptionOccurred(JNIEnv* env);
    static void JNICALL exceptionClear(JNIEnv* env);
    static jboolean JNICALL exceptionCheck(JNIEnv* env);
    static jobject JNICALL newGlobalRef(JNIEnv* env, jobject ref);
    static void JNICALL deleteGlobalRef(JNIEnv* env, jobject ref);
    static void JNICALL deleteLocalRef(JNIEnv* env, jobject ref);
    static jobject JNICALL newLocalRef(JNIEnv* env, jobject ref);
    static jobject JNICALL newObjectA(JNIEnv* env, jclass cls, jmethodID id, const jvalue* args);
    static jclass JNICALL getObjectClass(JNIEnv* env, jobject object);
    static jmethodID JNICALL getMethodID(JNIEnv* env, jclass cls, const char* name, const char* signature);
    static jobject JNICALL callObjectMethodA(JNIEnv* env, jobject object, jmethodID id, const jvalue* args);
    static jboolean JNICALL callBooleanMethodV(JNIEnv* env, jobject object, jmethodID id, va_list args);
    static jstring JNICALL newString(JNIEnv* env, const jchar* chars, jsize length);
    static jsize JNICALL getStringLength(JNIEnv* env, jstring text);
    static jstring JNICALL newStringUTF(JNIEnv* env, const char* bytes);
    static jsize JNICALL getStringUTFLength(JNIEnv* env, jstring text);
    static const char* JNICALL getStringUTFChars(JNIEnv* env, jstring text, jboolean* isCopy);
    static void JNICALL releaseStringUTFChars(JNIEnv* env, jstring text, const char* chars);
    static void JNICALL getStringUTFRegion(JNIEnv* env, jstring text, jsize start, jsize length, char* buffer);
    static jsize JNICALL getArrayLength(JNIEnv* env, jarray array);
    static jbyteArray JNICALL newByteArray(JNIEnv* env, jsize length);
    static jbyte* JNICALL getByteArrayElements(JNIEnv* env, jbyteArray array, jboolean* isCopy);
    static void JNICALL releaseByteArrayElements(JNIEnv* env, jbyteArray array, jbyte* elements, jint mode);
    static jboolean* JNICALL getBooleanArrayElements(JNIEnv* env, jbooleanArray array, jboolean* isCopy);
    static void JNICALL releaseBooleanArrayElements(JNIEnv* env, jbooleanArray array, jboolean* elements, jint mode);
    static void JNICALL getByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length, jbyte* buffer);
    static void JNICALL setByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length,
                                           const jbyte* buffer);
    static jint JNICALL registerNatives(JNIEnv* env, jclass cls, const JNINativeMethod* methods, jint count);
    static void* JNICALL getDirectBufferAddress(JNIEnv* env, jobject buffer);
    static jlong JNICALL getDirectBufferCapacity(JNIEnv* env, jobject buffer);

    void* pinElements(jobject array, char kind, const char* cls, const char* function, jboolean* isCopy);
    void releaseElements(jobject array, void* elements, jint mode, char kind, const char* function);
    bool regionInBounds(HostObject* array, jsize start, jsize length, const char* function);

    const HostClasses& classes_;
    JNIInvokeInterface_ invoke_{};
    JNINativeInterface_ native_{};
    VMBlock vm_;
    EnvBlock env_;
    std::thread::id thread_;
    std::deque<std::unique_ptr<HostObject>> heap_;
    std::map<const HostClass*, HostObject*> classObjects_;
    std::deque<Ref> refs_;
    std::unordered_set<const Ref*> liveRefs_;
    std::vector<Frame> frames_;
    std::size_t globals_ = 0;
    std::map<const void*, Pinned> pinned_;
    std::vector<HostBinding> bindings_;
    HostObject* pending_ = nullptr;
    std::string activity_;
    bool recording_ = false;
    std::vector<std::string> calls_;
    bool getEnvFails_ = false;
    std::set<std::string> missingClasses_;
    std::set<std::string> failingNatives_;
};

#endif
