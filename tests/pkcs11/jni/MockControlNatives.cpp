// Natives of orvane.pkcs11test.MockControl: the mock module's control
// functions for JVM tests, acting on the instance the bridge loaded by path.
#include "P11MockControl.h"

#include <jni.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

std::unique_ptr<P11MockControl> control;

std::string text(JNIEnv* env, jstring value)
{
    if (value == nullptr) {
        return std::string();
    }
    const char* chars = env->GetStringUTFChars(value, nullptr);
    if (chars == nullptr) {
        return std::string();
    }
    std::string result(chars);
    env->ReleaseStringUTFChars(value, chars);
    return result;
}

// Every call but open needs the control functions; without them the test
// gets an IllegalStateException instead of a crash.
P11MockControl* mock(JNIEnv* env)
{
    if (!control) {
        env->ThrowNew(env->FindClass("java/lang/IllegalStateException"), "MockControl.open was not called");
    }
    return control.get();
}

} // namespace

#define MOCK_NATIVE(type, name) extern "C" JNIEXPORT type JNICALL Java_orvane_pkcs11test_MockControl_##name

MOCK_NATIVE(void, open)(JNIEnv* env, jclass, jstring path)
{
    if (control) {
        return;
    }
    try {
        control.reset(new P11MockControl(text(env, path)));
    } catch (const std::exception& e) {
        env->ThrowNew(env->FindClass("java/lang/IllegalStateException"), e.what());
    }
}

MOCK_NATIVE(void, reset)(JNIEnv* env, jclass)
{
    if (auto* m = mock(env))
        m->reset();
}

MOCK_NATIVE(void, setInitialized)(JNIEnv* env, jclass, jboolean on)
{
    if (auto* m = mock(env))
        m->set_initialized(on ? 1 : 0);
}

MOCK_NATIVE(jint, setTokenPresent)(JNIEnv* env, jclass, jlong slotId, jboolean present)
{
    auto* m = mock(env);
    return m ? m->set_token_present(static_cast<unsigned long>(slotId), present ? 1 : 0) : -1;
}

MOCK_NATIVE(jint, setTokenLabel)(JNIEnv* env, jclass, jlong slotId, jbyteArray label)
{
    auto* m = mock(env);
    std::string bytes(static_cast<std::size_t>(env->GetArrayLength(label)), '\0');
    env->GetByteArrayRegion(label, 0, static_cast<jsize>(bytes.size()), reinterpret_cast<jbyte*>(&bytes[0]));
    return m ? m->set_token_label(static_cast<unsigned long>(slotId), bytes.data(), bytes.size()) : -1;
}

MOCK_NATIVE(void, queueSlotEvent)(JNIEnv* env, jclass, jlong slotId)
{
    if (auto* m = mock(env))
        m->queue_slot_event(static_cast<unsigned long>(slotId));
}

MOCK_NATIVE(jlong, waitingCount)(JNIEnv* env, jclass)
{
    auto* m = mock(env);
    return m ? static_cast<jlong>(m->waiting_count()) : 0;
}

MOCK_NATIVE(jint, fail)(JNIEnv* env, jclass, jstring function, jlong rv, jlong nth)
{
    auto* m = mock(env);
    return m ? m->fail(text(env, function).c_str(), static_cast<unsigned long>(rv), static_cast<unsigned long>(nth))
             : -1;
}

MOCK_NATIVE(void, clearFaults)(JNIEnv* env, jclass)
{
    if (auto* m = mock(env))
        m->clear_faults();
}

MOCK_NATIVE(jlong, callCount)(JNIEnv* env, jclass, jstring function)
{
    auto* m = mock(env);
    return m ? static_cast<jlong>(m->call_count(text(env, function).c_str())) : 0;
}

MOCK_NATIVE(jstring, log)(JNIEnv* env, jclass)
{
    auto* m = mock(env);
    return m ? env->NewStringUTF(m->log().c_str()) : nullptr;
}

MOCK_NATIVE(void, logClear)(JNIEnv* env, jclass)
{
    if (auto* m = mock(env))
        m->log_clear();
}

MOCK_NATIVE(void, logEnable)(JNIEnv* env, jclass, jboolean on)
{
    if (auto* m = mock(env))
        m->log_enable(on ? 1 : 0);
}

MOCK_NATIVE(void, setNextSessionHandle)(JNIEnv* env, jclass, jlong handle)
{
    if (auto* m = mock(env))
        m->set_next_session_handle(static_cast<unsigned long>(handle));
}

MOCK_NATIVE(jint, loginState)(JNIEnv* env, jclass, jlong slotId)
{
    auto* m = mock(env);
    return m ? m->get_login_state(static_cast<unsigned long>(slotId)) : -2;
}

MOCK_NATIVE(void, setSingleThreaded)(JNIEnv* env, jclass, jboolean on)
{
    if (auto* m = mock(env))
        m->set_single_threaded(on ? 1 : 0);
}

MOCK_NATIVE(jlong, overlapCount)(JNIEnv* env, jclass)
{
    auto* m = mock(env);
    return m ? static_cast<jlong>(m->overlap_count()) : 0;
}
