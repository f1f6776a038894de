// The number of JNI global references the JVM holds, counted as heap roots
// through JVMTI. Loaded by the benchmark's memory run with System.load.
#include <jni.h>
#include <jvmti.h>

namespace {

jint JNICALL countGlobalRoot(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo*, jlong, jlong, jlong, jlong*,
                             jlong*, jint, void* counter)
{
    if (kind == JVMTI_HEAP_REFERENCE_JNI_GLOBAL) {
        ++*static_cast<jlong*>(counter);
    }
    return 0; // roots only: the objects behind them are not visited
}

} // namespace

extern "C" JNIEXPORT jlong JNICALL Java_orvane_bench_GlobalRefs_count(JNIEnv* env, jclass)
{
    JavaVM* vm = nullptr;
    jvmtiEnv* jvmti = nullptr;
    if (env->GetJavaVM(&vm) != JNI_OK || vm->GetEnv(reinterpret_cast<void**>(&jvmti), JVMTI_VERSION_1_2) != JNI_OK) {
        return -1;
    }
    jvmtiCapabilities capabilities = {};
    capabilities.can_tag_objects = 1;
    jlong counted = -1;
    if (jvmti->AddCapabilities(&capabilities) == JVMTI_ERROR_NONE) {
        jvmtiHeapCallbacks callbacks = {};
        callbacks.heap_reference_callback = countGlobalRoot;
        counted = 0;
        if (jvmti->FollowReferences(0, nullptr, nullptr, &callbacks, &counted) != JVMTI_ERROR_NONE) {
            counted = -1;
        }
    }
    jvmti->DisposeEnvironment();
    return counted;
}
