// Just enough of a Java VM for JString to read one string from it. Like
// HotSpot, GetStringUTFChars hands out a heap copy that Release frees without
// wiping, so the secrets test sees it if the library ever asks for one.
#ifndef ORV_TESTS_FAKEJAVAVM_H
#define ORV_TESTS_FAKEJAVAVM_H

#include <jni.h>

class FakeJavaVM {
public:
    // The VM's one string holds text (ASCII, which reads the same in modified UTF-8).
    explicit FakeJavaVM(const char* text);
    FakeJavaVM(const FakeJavaVM&) = delete;
    FakeJavaVM& operator=(const FakeJavaVM&) = delete;

    JavaVM* vm() noexcept { return &vm_; }
    jstring string() noexcept { return reinterpret_cast<jstring>(&text_); }

private:
    static FakeJavaVM& of(JNIEnv* env);
    static jint JNICALL attach(JavaVM* vm, void** env, void* args);
    static jobject JNICALL newGlobalRef(JNIEnv* env, jobject object);
    static void JNICALL deleteGlobalRef(JNIEnv* env, jobject object);
    static jthrowable JNICALL exceptionOccurred(JNIEnv* env);
    static jboolean JNICALL exceptionCheck(JNIEnv* env);
    static jsize JNICALL getStringLength(JNIEnv* env, jstring text);
    static jsize JNICALL getStringUTFLength(JNIEnv* env, jstring text);
    static void JNICALL getStringUTFRegion(JNIEnv* env, jstring text, jsize start, jsize length, char* buffer);
    static const char* JNICALL getStringUTFChars(JNIEnv* env, jstring text, jboolean* isCopy);
    static void JNICALL releaseStringUTFChars(JNIEnv* env, jstring text, const char* chars);

    const char* text_;
    JNIInvokeInterface_ invoke_;
    JNINativeInterface_ native_;
    JavaVM vm_;
    JNIEnv env_;
};

#endif
