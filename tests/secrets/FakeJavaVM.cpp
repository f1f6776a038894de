#include "FakeJavaVM.h"

#include <cstring>

namespace {

// The one VM the static entry points answer for; the tests make one at a time.
FakeJavaVM* current = nullptr;

} // namespace

FakeJavaVM::FakeJavaVM(const char* text) : text_(text), invoke_(), native_(), vm_(), env_()
{
    invoke_.AttachCurrentThread = &attach;
    native_.NewGlobalRef = &newGlobalRef;
    native_.DeleteGlobalRef = &deleteGlobalRef;
    native_.ExceptionOccurred = &exceptionOccurred;
    native_.ExceptionCheck = &exceptionCheck;
    native_.GetStringLength = &getStringLength;
    native_.GetStringUTFLength = &getStringUTFLength;
    native_.GetStringUTFRegion = &getStringUTFRegion;
    native_.GetStringUTFChars = &getStringUTFChars;
    native_.ReleaseStringUTFChars = &releaseStringUTFChars;
    vm_.functions = &invoke_;
    env_.functions = &native_;
    current = this;
}

FakeJavaVM& FakeJavaVM::of(JNIEnv*)
{
    return *current;
}

jint JNICALL FakeJavaVM::attach(JavaVM*, void** env, void*)
{
    *env = &current->env_;
    return JNI_OK;
}

jobject JNICALL FakeJavaVM::newGlobalRef(JNIEnv*, jobject object)
{
    return object;
}

void JNICALL FakeJavaVM::deleteGlobalRef(JNIEnv*, jobject)
{
}

jthrowable JNICALL FakeJavaVM::exceptionOccurred(JNIEnv*)
{
    return nullptr;
}

jboolean JNICALL FakeJavaVM::exceptionCheck(JNIEnv*)
{
    return JNI_FALSE;
}

jsize JNICALL FakeJavaVM::getStringLength(JNIEnv* env, jstring)
{
    return static_cast<jsize>(std::strlen(of(env).text_));
}

jsize JNICALL FakeJavaVM::getStringUTFLength(JNIEnv* env, jstring)
{
    return static_cast<jsize>(std::strlen(of(env).text_));
}

void JNICALL FakeJavaVM::getStringUTFRegion(JNIEnv* env, jstring, jsize start, jsize length, char* buffer)
{
    std::memcpy(buffer, of(env).text_ + start, static_cast<std::size_t>(length));
    buffer[length] = '\0';
}

const char* JNICALL FakeJavaVM::getStringUTFChars(JNIEnv* env, jstring, jboolean* isCopy)
{
    const char* text = of(env).text_;
    char* copy = new char[std::strlen(text) + 1];
    std::strcpy(copy, text);
    if (isCopy != nullptr) {
        *isCopy = JNI_TRUE;
    }
    return copy;
}

void JNICALL FakeJavaVM::releaseStringUTFChars(JNIEnv*, jstring, const char* chars)
{
    delete[] chars;
}
