// Entry function of orvane.common.utils.IncomingNativeUtils'
// jniShutdownNativeAccessibility: asks the Java accessibility bridge's status
// window to end its message loop. Not exported; bound by registration only.
#ifndef ORV_ACCESSIBILITY_ACCESSIBILITYSHUTDOWN_H
#define ORV_ACCESSIBILITY_ACCESSIBILITYSHUTDOWN_H

#include <jni.h>

// Posts WM_QUIT (exit code 0) to the first top-level window titled
// "Access Bridge status"; returns at once, whether or not one exists.
void JNICALL IncomingNativeUtils_jniShutdownNativeAccessibility(JNIEnv* env, jclass cls);

#endif
