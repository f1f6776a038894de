// Natives of orvane.pkcs11test.MockControl: the mock module's control
// functions for JVM tests, acting on the instance the bridge loaded by path.
#include "P11MockControl.h"

#include <jni.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

using ULong = unsigned long;

std::unique_ptr<P11MockControl> control;

std::string text(JNIEnv* env, jstring value)
{
    const char* chars = value == nullptr ? nullptr : env->GetStringUTFChars(value, nullptr);
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

// A native that hands its arguments to one control function and answers
// `none` (nothing, for void) when open was not called.
#define MOCK_FORWARD(type, name, params, none, call)                                                                   \
    MOCK_NATIVE(type, name) params                                                                                     \
    {                                                                                                                  \
        auto* m = mock(env);                                                                                           \
        return m ? static_cast<type>(m->call) : none;                                                                  \
    }

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

MOCK_NATIVE(jint, setTokenLabel)(JNIEnv* env, jclass, jlong slotId, jbyteArray label)
{
    auto* m = mock(env);
    std::string bytes(static_cast<std::size_t>(env->GetArrayLength(label)), '\0');
    env->GetByteArrayRegion(label, 0, static_cast<jsize>(bytes.size()), reinterpret_cast<jbyte*>(&bytes[0]));
    return m ? m->set_token_label(ULong(slotId), bytes.data(), bytes.size()) : -1;
}

MOCK_NATIVE(jstring, log)(JNIEnv* env, jclass)
{
    auto* m = mock(env);
    return m ? env->NewStringUTF(m->log().c_str()) : nullptr;
}

MOCK_FORWARD(void, reset, (JNIEnv * env, jclass), void(), reset())
MOCK_FORWARD(void, setInitialized, (JNIEnv * env, jclass, jboolean on), void(), set_initialized(on ? 1 : 0))
MOCK_FORWARD(jint, setTokenPresent, (JNIEnv * env, jclass, jlong slotId, jboolean present), -1,
             set_token_present(ULong(slotId), present ? 1 : 0))
MOCK_FORWARD(void, queueSlotEvent, (JNIEnv * env, jclass, jlong slotId), void(), queue_slot_event(ULong(slotId)))
MOCK_FORWARD(jlong, waitingCount, (JNIEnv * env, jclass), 0, waiting_count())
MOCK_FORWARD(jint, fail, (JNIEnv * env, jclass, jstring function, jlong rv, jlong nth), -1,
             fail(text(env, function).c_str(), ULong(rv), ULong(nth)))
MOCK_FORWARD(jint, setEmptyEntries, (JNIEnv * env, jclass, jstring names), -1,
             set_empty_entries(text(env, names).c_str()))
MOCK_FORWARD(void, clearFaults, (JNIEnv * env, jclass), void(), clear_faults())
MOCK_FORWARD(jlong, callCount, (JNIEnv * env, jclass, jstring function), 0, call_count(text(env, function).c_str()))
MOCK_FORWARD(void, logClear, (JNIEnv * env, jclass), void(), log_clear())
MOCK_FORWARD(void, logEnable, (JNIEnv * env, jclass, jboolean on), void(), log_enable(on ? 1 : 0))
MOCK_FORWARD(void, setNextSessionHandle, (JNIEnv * env, jclass, jlong handle), void(),
             set_next_session_handle(ULong(handle)))
MOCK_FORWARD(jint, loginState, (JNIEnv * env, jclass, jlong slotId), -2, get_login_state(ULong(slotId)))
MOCK_FORWARD(jint, setTokenFlags, (JNIEnv * env, jclass, jlong slotId, jlong flags), -1,
             set_token_flags(ULong(slotId), ULong(flags)))
MOCK_FORWARD(void, setSingleThreaded, (JNIEnv * env, jclass, jboolean on), void(), set_single_threaded(on ? 1 : 0))
MOCK_FORWARD(jlong, overlapCount, (JNIEnv * env, jclass), 0, overlap_count())
