/* Machine-dependent JNI types for 32-bit Windows, used with the JDK's own jni.h
 * when cross-building ORVNative.dll. Exports come from the .def file, so
 * JNIEXPORT stays empty unless a caller insists otherwise. */
#ifndef ORV_JNI_MD_WIN32_H
#define ORV_JNI_MD_WIN32_H

#ifndef JNIEXPORT
#define JNIEXPORT
#endif
#ifndef JNIIMPORT
#define JNIIMPORT
#endif
#define JNICALL __stdcall

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif
