// The natives of orvane/common/utils/WindowsRegistry in registration order, each
// written only here. A row: Java name, JNI signature, entry function, whether
// the diagnostic log may show its string arguments, and the decorated names
// the DLL exports it under on x86 and x64 (empty where it exports none).
#ifndef ORV_REGISTRY_WINDOWSREGISTRYTABLE_H
#define ORV_REGISTRY_WINDOWSREGISTRYTABLE_H

#define ORV_WINDOWS_REGISTRY_CLASS "orvane/common/utils/WindowsRegistry"

// clang-format off
#define ORV_WINDOWS_REGISTRY_NATIVES(ROW) \
    ROW(getRegistryKeyName, "(ILjava/lang/String;I)Ljava/lang/String;", Registry::getKeyName, shown, \
        "?getKeyName@Registry@@SGPAV_jstring@@PAUJNIEnv_@@PAV_jclass@@JPAV2@J@Z", \
        "?getKeyName@Registry@@SAPEAV_jstring@@PEAUJNIEnv_@@PEAV_jclass@@JPEAV2@J@Z") \
    ROW(getRegistryValueName, "(ILjava/lang/String;I)Ljava/lang/String;", Registry::getValueName, shown, \
        "?getValueName@Registry@@SGPAV_jstring@@PAUJNIEnv_@@PAV_jclass@@JPAV2@J@Z", \
        "?getValueName@Registry@@SAPEAV_jstring@@PEAUJNIEnv_@@PEAV_jclass@@JPEAV2@J@Z") \
    ROW(getRegistryValueString, "(ILjava/lang/String;Ljava/lang/String;)Ljava/lang/String;", Registry::getValueString, shown, \
        "?getValueString@Registry@@SGPAV_jstring@@PAUJNIEnv_@@PAV_jclass@@JPAV2@2@Z", \
        "?getValueString@Registry@@SAPEAV_jstring@@PEAUJNIEnv_@@PEAV_jclass@@JPEAV2@2@Z")
// clang-format on

#endif
