#include "RecordingJavaVM.h"
#include "../jni/JniTraps.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

RecordingJavaVM* active = nullptr;

// Fake references: small distinct non-null values that decode to an index.
constexpr std::uintptr_t classBase = 0x10000;
constexpr std::uintptr_t throwableValue = 0x20000;

} // namespace

RecordingJavaVM::RecordingJavaVM()
{
    JniTraps::fill<0>(invoke_, "RecordingJavaVM: unexpected call of");
    JniTraps::fill<1>(native_, "RecordingJavaVM: unexpected call of");
    invoke_.GetEnv = &getEnv;
    native_.FindClass = &findClass;
    native_.RegisterNatives = &registerNatives;
    native_.DeleteLocalRef = &deleteLocalRef;
    native_.ExceptionCheck = &exceptionCheck;
    native_.ExceptionOccurred = &exceptionOccurred;
    native_.ExceptionClear = &exceptionClear;
    vm_.functions = &invoke_;
    env_.functions = &native_;
    active = this;
}

RecordingJavaVM::~RecordingJavaVM()
{
    active = nullptr;
}

RecordingJavaVM* RecordingJavaVM::current()
{
    return active;
}

std::string RecordingJavaVM::classNameOf(jobject ref) const
{
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(ref);
    if (value == throwableValue) {
        return "<throwable>";
    }
    if (value < classBase || value >= classBase + classes_.size()) {
        return ref == nullptr ? "<null>" : "<unknown reference>";
    }
    return classes_[value - classBase];
}

jint JNICALL RecordingJavaVM::getEnv(JavaVM*, void** env, jint version)
{
    RecordingJavaVM* self = current();
    RecordedCall call;
    call.function = "GetEnv";
    call.count = version;
    self->calls_.push_back(call);
    if (self->getEnvFails_) {
        *env = nullptr;
        return JNI_EDETACHED;
    }
    *env = &self->env_;
    return JNI_OK;
}

jclass JNICALL RecordingJavaVM::findClass(JNIEnv*, const char* name)
{
    RecordingJavaVM* self = current();
    RecordedCall call;
    call.function = "FindClass";
    call.className = name == nullptr ? "<null>" : name;
    self->calls_.push_back(call);
    if (name == nullptr || self->missingClasses_.count(name) != 0) {
        self->pending_ = true;
        return nullptr;
    }
    self->classes_.push_back(name);
    return reinterpret_cast<jclass>(classBase + self->classes_.size() - 1);
}

jint JNICALL RecordingJavaVM::registerNatives(JNIEnv*, jclass cls, const JNINativeMethod* methods, jint count)
{
    RecordingJavaVM* self = current();
    RecordedCall call;
    call.function = "RegisterNatives";
    call.className = self->classNameOf(cls);
    call.count = count;
    if (methods != nullptr && count >= 1) {
        call.name = methods[0].name == nullptr ? "<null>" : methods[0].name;
        call.signature = methods[0].signature == nullptr ? "<null>" : methods[0].signature;
        call.hasFunction = methods[0].fnPtr != nullptr;
    }
    self->calls_.push_back(call);
    if (self->failingMethods_.count(call.name) != 0) {
        self->pending_ = true;
        return JNI_ERR;
    }
    return JNI_OK;
}

void JNICALL RecordingJavaVM::deleteLocalRef(JNIEnv*, jobject ref)
{
    RecordingJavaVM* self = current();
    RecordedCall call;
    call.function = "DeleteLocalRef";
    call.className = self->classNameOf(ref);
    self->calls_.push_back(call);
}

jboolean JNICALL RecordingJavaVM::exceptionCheck(JNIEnv*)
{
    RecordingJavaVM* self = current();
    RecordedCall call;
    call.function = "ExceptionCheck";
    self->calls_.push_back(call);
    return self->pending_ ? JNI_TRUE : JNI_FALSE;
}

jthrowable JNICALL RecordingJavaVM::exceptionOccurred(JNIEnv*)
{
    RecordingJavaVM* self = current();
    RecordedCall call;
    call.function = "ExceptionOccurred";
    self->calls_.push_back(call);
    return self->pending_ ? reinterpret_cast<jthrowable>(throwableValue) : nullptr;
}

void JNICALL RecordingJavaVM::exceptionClear(JNIEnv*)
{
    RecordingJavaVM* self = current();
    RecordedCall call;
    call.function = "ExceptionClear";
    self->calls_.push_back(call);
    self->pending_ = false;
}
