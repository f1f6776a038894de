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

    JavaVM* vm() noexcept { return &vm_; }
    JNIEnv* env() noexcept { return &env_; }
    const HostClasses& classes() const noexcept { return classes_; }

    HostObject* newObject(const HostClass* cls);
    HostObject* newObject(const std::string& className) { return newObject(classes_.require(className)); }
    HostObject* newString(const std::u16string& text);
    HostObject* classObject(const HostClass* cls);

    // Native frames: locals made inside one belong to it and die with it.
    void pushFrame() { frames_.emplace_back(); }
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

    static HostVM& of(JNIEnv* env) { return *static_cast<EnvBlock*>(env)->owner; }
    static HostVM& of(JavaVM* vm) { return *static_cast<VMBlock*>(vm)->owner; }

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

    struct Functions; // the JNI entry points, in HostVM.cpp

    // Every call that is not exception-safe goes through here first.
    void enter(const char* function, const std::string& detail = std::string());
    void record(const char* function, const std::string& detail = std::string());
    std::string nameOf(jobject ref) const;
    jobject newGlobal(HostObject* object);
    void deleteRef(jobject ref, Ref::Kind expected, const char* function);
    void throwNew(const char* className, const std::string& message);

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
