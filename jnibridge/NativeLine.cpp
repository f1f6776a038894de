// Putting a native's diagnostic line together.
#include "jnibridge/NativeLine.h"

#include <cstring>

namespace JNIBridge {

namespace {

const char* simpleName(const char* className)
{
    if (className == nullptr) {
        return "?";
    }
    const char* slash = std::strrchr(className, '/');
    return slash == nullptr ? className : slash + 1;
}

} // namespace

NativeLine::NativeLine(JNIEnv* env, const NativeName& name, NativeText text)
    : env_(env), text_(text), start_(DiagnosticLog::Clock::now())
{
    line_.append("native ").append(simpleName(name.className)).append(".");
    line_.append(name.method == nullptr ? "?" : name.method).append("(");
}

void NativeLine::next()
{
    if (!first_) {
        line_.append(", ");
    }
    first_ = false;
}

void NativeLine::argument(jint value)
{
    next();
    line_.append(std::to_string(value));
}

void NativeLine::argument(jlong value)
{
    next();
    line_.append(std::to_string(static_cast<long long>(value)));
}

void NativeLine::argument(jboolean value)
{
    next();
    line_.append(value != JNI_FALSE ? "true" : "false");
}

void NativeLine::arrayLength(const char* elementType, jarray value)
{
    next();
    if (value == nullptr) {
        line_.append("null");
        return;
    }
    line_.append(elementType).append("[").append(std::to_string(env_->GetArrayLength(value))).append("]");
}

void NativeLine::argument(jbyteArray value)
{
    arrayLength("byte", value);
}

void NativeLine::argument(jbooleanArray value)
{
    arrayLength("boolean", value);
}

void NativeLine::argument(jstring value)
{
    next();
    if (text_ == NativeText::hidden) {
        line_.append("'****'");
        return;
    }
    if (value == nullptr) {
        line_.append("null");
        return;
    }
    const char* chars = env_->GetStringUTFChars(value, nullptr);
    if (chars == nullptr) {
        env_->ExceptionClear();
        line_.append("'?'");
        return;
    }
    line_.append("'").append(chars).append("'");
    env_->ReleaseStringUTFChars(value, chars);
}

void NativeLine::argument(jobject value)
{
    next();
    line_.append(value == nullptr ? "null" : "object");
}

void NativeLine::finish(const std::string& outcome) noexcept
{
    try {
        line_.append(")");
        if (env_->ExceptionCheck()) {
            const char* raised = DiagnosticLog::lastRaised();
            line_.append(" threw ").append(*raised != '\0' ? raised : "a Java exception raised by the VM");
        } else {
            line_.append(" = ").append(outcome);
        }
        line_.append(DiagnosticLog::elapsedSince(start_));
        DiagnosticLog::write(line_);
    } catch (...) {
        // The native's outcome stands; only its line is lost.
    }
}

void NativeLine::returned() noexcept
{
    finish("void");
}

void NativeLine::returned(jint value) noexcept
{
    try {
        finish(std::to_string(value));
    } catch (...) {
    }
}

void NativeLine::returned(jlong value) noexcept
{
    try {
        finish(std::to_string(static_cast<long long>(value)));
    } catch (...) {
    }
}

void NativeLine::returned(jboolean value) noexcept
{
    finish(value != JNI_FALSE ? "true" : "false");
}

// Lengths are read only when no exception is pending: JNI allows no other call then.
void NativeLine::returned(jbyteArray value) noexcept
{
    try {
        const bool shown = value != nullptr && !env_->ExceptionCheck();
        finish(shown ? "byte[" + std::to_string(env_->GetArrayLength(value)) + "]" : "null");
    } catch (...) {
    }
}

void NativeLine::returned(jstring value) noexcept
{
    try {
        const bool shown = value != nullptr && !env_->ExceptionCheck();
        finish(shown ? "String(" + std::to_string(env_->GetStringLength(value)) + " chars)" : "null");
    } catch (...) {
    }
}

void NativeLine::returned(jobject value) noexcept
{
    finish(value == nullptr ? "null" : "object");
}

} // namespace JNIBridge
