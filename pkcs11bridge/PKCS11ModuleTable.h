// The natives of orvane/clapi/crypto/PKCS11Module in registration order, each
// written only here. A row: Java name, JNI signature, entry function, whether
// the diagnostic log may show its string arguments, and the decorated names
// the DLL exports it under on x86 and x64 (empty where it exports none).
#ifndef ORV_PKCS11BRIDGE_PKCS11MODULETABLE_H
#define ORV_PKCS11BRIDGE_PKCS11MODULETABLE_H

#define ORV_PKCS11_MODULE_CLASS "orvane/clapi/crypto/PKCS11Module"

// clang-format off
#define ORV_PKCS11_MODULE_NATIVES(ROW) \
    ROW(loadLibrary, "(Ljava/lang/String;)I", PKCS11Module_loadLibrary, shown, , ) \
    ROW(getNumberOfSlots, "(I)I", PKCS11Module_getNumberOfSlots, hidden, , ) \
    ROW(waitForSlotEvent, "(I)J", PKCS11Module_waitForSlotEvent, hidden, , ) \
    ROW(refresh, "(I)V", PKCS11Module_refresh, hidden, , )
// clang-format on

#endif
