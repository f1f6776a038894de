// The Java VM the library was loaded into, and the calling thread's JNIEnv.
#ifndef ORV_JNIBRIDGE_JNIHELPER_H
#define ORV_JNIBRIDGE_JNIHELPER_H

#include <jni.h>

class JNIHelper {
public:
    // Recorded once by the load hook; never cleared.
    static void setJavaVM(JavaVM* vm) noexcept;
    static JavaVM* getJavaVM();
    // Attaches a thread the VM has not seen; it stays attached.
    static JNIEnv* attachCurrentThread();
};

#endif
