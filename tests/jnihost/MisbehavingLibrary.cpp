// A library that registers the same natives as ORVNative but whose
// PKCS11Module.loadLibrary misuses JNI in the way its argument names. The
// host must stop each misuse as -Xcheck:jni would (see misuse.cases).
#include "../library/ExpectedNatives.h"

#include <jni.h>

#include <cstring>
#include <string>

namespace {

void JNICALL unused()
{
}

std::string text(JNIEnv* env, jstring s)
{
    const char* chars = env->GetStringUTFChars(s, nullptr);
    std::string copy = chars != nullptr ? chars : "";
    env->ReleaseStringUTFChars(s, chars);
    return copy;
}

jint JNICALL misbehave(JNIEnv* env, jclass, jstring how)
{
    const std::string fault = text(env, how);
    if (fault == "call-while-pending") {
        env->ThrowNew(env->FindClass("java/lang/IllegalStateException"), "pending");
        env->FindClass("java/lang/String");
    } else if (fault == "chars-kept") {
        env->GetStringUTFChars(how, nullptr);
    } else if (fault == "too-many-locals") {
        for (int i = 0; i < 20; ++i) {
            env->NewStringUTF("local");
        }
    } else if (fault == "global-kept") {
        env->NewGlobalRef(how);
    } else if (fault == "deleted-reference") {
        env->DeleteLocalRef(how);
        env->GetStringUTFLength(how);
    } else if (fault == "local-kept") {
        env->NewStringUTF("kept");
    } else if (fault == "unlisted-constructor") {
        jclass cls = env->FindClass("orvane/clapi/crypto/PKCS11Exception");
        env->GetMethodID(cls, "<init>", "()V");
        env->DeleteLocalRef(cls);
    } else if (fault == "unimplemented-function") {
        env->GetVersion();
    } else if (fault == "modified-utf8") {
        jstring s = env->NewStringUTF("\xC0\x80-\xED\xA0\xBD\xED\xB8\x80");
        jclass cls = env->FindClass("java/io/IOException");
        env->ThrowNew(cls, text(env, s).c_str());
        env->DeleteLocalRef(cls);
        env->DeleteLocalRef(s);
    }
    return 7;
}

} // namespace

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void*)
{
    JNIEnv* env = nullptr;
    vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_4);
    for (const ExpectedNative& row : ExpectedNatives::rows) {
        const bool target = std::strcmp(row.name, "loadLibrary") == 0;
        JNINativeMethod method = {const_cast<char*>(row.name), const_cast<char*>(row.signature),
                                  target ? reinterpret_cast<void*>(&misbehave) : reinterpret_cast<void*>(&unused)};
        jclass cls = env->FindClass(row.className);
        env->RegisterNatives(cls, &method, 1);
        env->DeleteLocalRef(cls);
    }
    return JNI_VERSION_1_4;
}
