// The library's Java-facing surface: every native in registration order.
#ifndef ORV_TESTS_LIBRARY_EXPECTEDNATIVES_H
#define ORV_TESTS_LIBRARY_EXPECTEDNATIVES_H

#include <cstddef>

struct ExpectedNative {
    const char* className;
    const char* name;
    const char* signature;
};

namespace ExpectedNatives {

constexpr const char* windowsRegistry = "orvane/common/utils/WindowsRegistry";
constexpr const char* capiToken = "orvane/clapi/crypto/CapiToken";
constexpr const char* pkcs11Module = "orvane/clapi/crypto/PKCS11Module";
constexpr const char* pkcs11Slot = "orvane/clapi/crypto/PKCS11Slot";
constexpr const char* incomingNativeUtils = "orvane/common/utils/IncomingNativeUtils";

// The five classes in the order the load hook visits them.
constexpr const char* classes[] = {windowsRegistry, capiToken, pkcs11Module, pkcs11Slot, incomingNativeUtils};

constexpr ExpectedNative rows[] = {
    {windowsRegistry, "getRegistryKeyName", "(ILjava/lang/String;I)Ljava/lang/String;"},
    {windowsRegistry, "getRegistryValueName", "(ILjava/lang/String;I)Ljava/lang/String;"},
    {windowsRegistry, "getRegistryValueString", "(ILjava/lang/String;Ljava/lang/String;)Ljava/lang/String;"},
    {capiToken, "nativeIsCspAvailable", "(Ljava/lang/String;Ljava/lang/String;[Z)J"},
    {capiToken, "nativeIsCertificateInStore", "([BLjava/lang/String;[Z)J"},
    {capiToken, "nativeWrapDigest", "([BI[BLjava/lang/String;[BI)J"},
    {capiToken, "nativeGetCertificates", "(Ljava/lang/String;Ljava/util/LinkedList;)J"},
    {capiToken, "nativeUnwrapSecretKey", "([B[BLjava/lang/String;)[B"},
    {capiToken, "nativeGenerateSeed", "(Ljava/nio/ByteBuffer;)V"},
    {pkcs11Module, "loadLibrary", "(Ljava/lang/String;)I"},
    {pkcs11Module, "getNumberOfSlots", "(I)I"},
    {pkcs11Module, "waitForSlotEvent", "(I)J"},
    {pkcs11Module, "refresh", "(I)V"},
    {pkcs11Slot, "openSession", "(II)V"},
    {pkcs11Slot, "closeSession", "(II)V"},
    {pkcs11Slot, "getSessionOpened", "(II)Z"},
    {pkcs11Slot, "closeAllSessions", "(II)V"},
    {pkcs11Slot, "login", "(IILjava/lang/String;I)V"},
    {pkcs11Slot, "logout", "(II)V"},
    {pkcs11Slot, "setPIN", "(IILjava/lang/String;Ljava/lang/String;)V"},
    {pkcs11Slot, "tokenPresent", "(II)Z"},
    {pkcs11Slot, "getTokenInfo", "(II)Lorvane/clapi/crypto/PKCS11TokenInfo;"},
    {pkcs11Slot, "getNumberOfCertificates", "(III)I"},
    {pkcs11Slot, "getCertificate", "(IIII)[B"},
    {pkcs11Slot, "deleteCertificate", "(III[BZZ)Z"},
    {pkcs11Slot, "getNumberOfObjects", "(III)I"},
    {pkcs11Slot, "getObject", "(IIII)Lorvane/clapi/crypto/PKCS11Object;"},
    {pkcs11Slot, "deleteObject", "(III)Z"},
    {pkcs11Slot, "initToken", "(IILjava/lang/String;Ljava/lang/String;)V"},
    {pkcs11Slot, "initPIN", "(IILjava/lang/String;)V"},
    {pkcs11Slot, "initTokenAndUserPIN", "(IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;)V"},
    {pkcs11Slot, "digestInit", "(III)V"},
    {pkcs11Slot, "digestUpdate", "(II[B)V"},
    {pkcs11Slot, "digestFinal", "(II)[B"},
    {pkcs11Slot, "seedRandom", "(II[B)V"},
    {pkcs11Slot, "generateRandom", "(III)[B"},
    {pkcs11Slot, "setCall2ndInit", "(IIZ)V"},
    {pkcs11Slot, "encryptData", "(II[B[BI)[B"},
    {pkcs11Slot, "decryptData", "(II[B[BI)[B"},
    {pkcs11Slot, "signData", "(II[B[BI)[B"},
    {pkcs11Slot, "verifyData", "(II[B[B[BI)Z"},
    {pkcs11Slot, "unwrapKey", "(II[B[BI)[B"},
    {incomingNativeUtils, "jniShutdownNativeAccessibility", "()V"},
};

constexpr std::size_t rowCount = sizeof rows / sizeof rows[0];

} // namespace ExpectedNatives

#endif
