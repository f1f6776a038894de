// Counts this thread's GetMethodID calls for one method name, and its
// NewGlobalRef and DeleteGlobalRef calls, by putting a counting copy of the
// JNI function table in front of the VM's own, for as long as the object lives.
#ifndef ORV_TESTS_JNI_COUNTINGENV_H
#define ORV_TESTS_JNI_COUNTINGENV_H

#include <jni.h>

class CountingEnv {
public:
    CountingEnv(JNIEnv* env, const char* methodName);
    ~CountingEnv();
    CountingEnv(const CountingEnv&) = delete;
    CountingEnv& operator=(const CountingEnv&) = delete;

    // Calls counted so far, by every thread holding a CountingEnv.
    static int count();
    // Global references made (non-null results) and deleted (non-null arguments).
    static int globalsCreated();
    static int globalsDeleted();
    static void reset();

private:
    JNIEnv* env_;
    const JNINativeInterface_* original_;
    JNINativeInterface_ table_;
};

#endif
