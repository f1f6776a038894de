// The export name a Java VM on Windows looks the load hook up by: MSVC's
// stdcall decoration on 32-bit, the plain name on x64, which has one calling
// convention.
#ifndef ORV_TESTS_LIBRARY_ONLOADEXPORT_H
#define ORV_TESTS_LIBRARY_ONLOADEXPORT_H

#ifdef _WIN64
inline constexpr const char* kOnLoadExport = "JNI_OnLoad";
#else
inline constexpr const char* kOnLoadExport = "_JNI_OnLoad@8";
#endif

#endif
