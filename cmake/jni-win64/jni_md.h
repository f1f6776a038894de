/* Machine-dependent JNI types for 64-bit Windows, used with the JDK's own jni.h
 * when cross-building the x64 ORVNative.dll. Windows is LLP64: jint is a
 * 32-bit long, as in the JDK's own header, and x64 has a single calling
 * convention. Exports come from the .def file. */
#ifndef ORV_JNI_MD_WIN64_H
#define ORV_JNI_MD_WIN64_H

#ifndef JNIEXPORT
#define JNIEXPORT
#endif
#ifndef JNIIMPORT
#define JNIIMPORT
#endif
#define JNICALL

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif
