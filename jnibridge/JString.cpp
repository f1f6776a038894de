// Java strings made from the library's text, and read back into it without a copy left behind.
#include "jnibridge/JString.h"

#include "jnibridge/JClass.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JavaExceptions.h"
#include "jnibridge/ModifiedUtf8.h"
#include "jnibridge/String.h"

namespace JNIBridge {

namespace {

// Bytes 0x01 to 0x7F read the same in UTF-8 and modified UTF-8, so such text
// (token labels, serial numbers) needs no conversion; NewStringUTF itself
// ends it at the first NUL.
bool isPlainAscii(const String& text)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (unsigned int i = 0; i < text.length() && bytes[i] != 0; ++i) {
        if (bytes[i] >= 0x80) {
            return false;
        }
    }
    return true;
}

} // namespace

JString::JString(jstring text) : JObject(text)
{
}

JString::JString(const String& text)
{
    jstring local = createString(text);
    jvalue v;
    v.j = 0;
    v.l = local;
    try {
        setjValue(v);
    } catch (...) {
        JNIHelper::attachCurrentThread()->DeleteLocalRef(local);
        throw;
    }
    if (local != nullptr) {
        JNIHelper::attachCurrentThread()->DeleteLocalRef(local);
    }
}

JClass& JString::typeClass() const
{
    static JClass* const descriptor = new JClass("java/lang/String", "Ljava/lang/String;");
    return *descriptor;
}

jstring JString::createString(const String& text)
{
    const String modified = isPlainAscii(text) ? text : ModifiedUtf8::fromUtf8(text.data(), text.length());
    jstring result = JNIHelper::attachCurrentThread()->NewStringUTF(modified.c_str());
    if (result == nullptr) {
        checkJavaException("JString::createString(const String&) - NewStringUTF(...)", String());
    }
    return result;
}

// The text is copied straight into a buffer of ours, which is wiped when it
// goes: GetStringUTFChars would leave a copy of a PIN in memory the VM frees
// without wiping.
String JString::toString() const
{
    return copyOf(static_cast<jstring>(getGlobalReference()));
}

String JString::copyOf(jstring text)
{
    if (text == nullptr) {
        return String();
    }
    JNIEnv* env = JNIHelper::attachCurrentThread();
    const jsize characters = env->GetStringLength(text);
    const jsize bytes = env->GetStringUTFLength(text);
    checkJavaException("JString::toString() - GetStringCharsUTF(...)", String());
    if (characters <= 0 || bytes <= 0) {
        return String();
    }
    String result(static_cast<unsigned int>(bytes));
    env->GetStringUTFRegion(text, 0, characters, result.data());
    checkJavaException("JString::toString() - GetStringCharsUTF(...)", String());
    return result;
}

String JString::copyOf(JNIEnv* env, jstring text)
{
    if (text == nullptr) {
        return String();
    }
    const jsize characters = env->GetStringLength(text);
    const jsize bytes = characters > 0 ? env->GetStringUTFLength(text) : 0;
    if (env->ExceptionCheck()) {
        throw JNIException("JString::copyOf(JNIEnv*, jstring) - GetStringUTFLength(...)");
    }
    if (characters <= 0 || bytes <= 0) {
        return String();
    }
    String result(static_cast<unsigned int>(bytes));
    env->GetStringUTFRegion(text, 0, characters, result.data());
    if (env->ExceptionCheck()) {
        throw JNIException("JString::copyOf(JNIEnv*, jstring) - GetStringUTFRegion(...)");
    }
    return result;
}

} // namespace JNIBridge
