// A stand-in for the Java VM's two function tables that records every call
// the load hook makes. The calls a load hook may make are implemented with
// their real stdcall arity; every other slot is a trap that reports its
// index and ends the process, since it cannot return to a caller whose
// argument count it does not know.
#ifndef ORV_TESTS_LIBRARY_RECORDINGJAVAVM_H
#define ORV_TESTS_LIBRARY_RECORDINGJAVAVM_H

#include <jni.h>

#include <set>
#include <string>
#include <vector>

struct RecordedCall {
    std::string function;
    std::string className;
    std::string name;
    std::string signature;
    long count = 0;
    bool hasFunction = false;
};

class RecordingJavaVM {
public:
    RecordingJavaVM();
    RecordingJavaVM(const RecordingJavaVM&) = delete;
    RecordingJavaVM& operator=(const RecordingJavaVM&) = delete;
    ~RecordingJavaVM();

    JavaVM* vm() noexcept { return &vm_; }

    // Failure injection.
    void failGetEnv() noexcept { getEnvFails_ = true; }
    void failFindClass(const std::string& className) { missingClasses_.insert(className); }
    void failRegistration(const std::string& methodName) { failingMethods_.insert(methodName); }

    const std::vector<RecordedCall>& calls() const noexcept { return calls_; }
    bool exceptionPending() const noexcept { return pending_; }

private:
    static RecordingJavaVM* current();
    static jint JNICALL getEnv(JavaVM* vm, void** env, jint version);
    static jclass JNICALL findClass(JNIEnv* env, const char* name);
    static jint JNICALL registerNatives(JNIEnv* env, jclass cls, const JNINativeMethod* methods, jint count);
    static void JNICALL deleteLocalRef(JNIEnv* env, jobject ref);
    static jboolean JNICALL exceptionCheck(JNIEnv* env);
    static jthrowable JNICALL exceptionOccurred(JNIEnv* env);
    static void JNICALL exceptionClear(JNIEnv* env);

    std::string classNameOf(jobject ref) const;

    JNIInvokeInterface_ invoke_;
    JNINativeInterface_ native_;
    JavaVM vm_;
    JNIEnv env_;
    std::vector<std::string> classes_;
    std::set<std::string> missingClasses_;
    std::set<std::string> failingMethods_;
    std::vector<RecordedCall> calls_;
    bool getEnvFails_ = false;
    bool pending_ = false;
};

#endif
