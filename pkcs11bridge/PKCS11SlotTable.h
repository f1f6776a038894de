// The natives of orvane/clapi/crypto/PKCS11Slot in registration order, each
// written only here. A row: Java name, JNI signature, entry function, whether
// the diagnostic log may show its string arguments, and the decorated names
// the DLL exports it under on x86 and x64 (empty where it exports none).
#ifndef ORV_PKCS11BRIDGE_PKCS11SLOTTABLE_H
#define ORV_PKCS11BRIDGE_PKCS11SLOTTABLE_H

#define ORV_PKCS11_SLOT_CLASS "orvane/clapi/crypto/PKCS11Slot"

// clang-format off
#define ORV_PKCS11_SLOT_NATIVES(ROW) \
    ROW(openSession, "(II)V", PKCS11Slot_openSession, hidden, , ) \
    ROW(closeSession, "(II)V", PKCS11Slot_closeSession, hidden, , ) \
    ROW(getSessionOpened, "(II)Z", PKCS11Slot_getSessionOpened, hidden, , ) \
    ROW(closeAllSessions, "(II)V", PKCS11Slot_closeAllSessions, hidden, , ) \
    ROW(login, "(IILjava/lang/String;I)V", PKCS11Slot_login, hidden, , ) \
    ROW(logout, "(II)V", PKCS11Slot_logout, hidden, , ) \
    ROW(setPIN, "(IILjava/lang/String;Ljava/lang/String;)V", PKCS11Slot_setPIN, hidden, , ) \
    ROW(tokenPresent, "(II)Z", PKCS11Slot_tokenPresent, hidden, , ) \
    ROW(getTokenInfo, "(II)Lorvane/clapi/crypto/PKCS11TokenInfo;", PKCS11Slot_getTokenInfo, hidden, , ) \
    ROW(getNumberOfCertificates, "(III)I", PKCS11Slot_getNumberOfCertificates, hidden, , ) \
    ROW(getCertificate, "(IIII)[B", PKCS11Slot_getCertificate, hidden, , ) \
    ROW(deleteCertificate, "(III[BZZ)Z", PKCS11Slot_deleteCertificate, hidden, , ) \
    ROW(getNumberOfObjects, "(III)I", PKCS11Slot_getNumberOfObjects, hidden, , ) \
    ROW(getObject, "(IIII)Lorvane/clapi/crypto/PKCS11Object;", PKCS11Slot_getObject, hidden, , ) \
    ROW(deleteObject, "(III)Z", PKCS11Slot_deleteObject, hidden, , ) \
    ROW(initToken, "(IILjava/lang/String;Ljava/lang/String;)V", PKCS11Slot_initToken, hidden, , ) \
    ROW(initPIN, "(IILjava/lang/String;)V", PKCS11Slot_initPIN, hidden, , ) \
    ROW(initTokenAndUserPIN, "(IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;)V", PKCS11Slot_initTokenAndUserPIN, hidden, , ) \
    ROW(digestInit, "(III)V", PKCS11Slot_digestInit, hidden, , ) \
    ROW(digestUpdate, "(II[B)V", PKCS11Slot_digestUpdate, hidden, , ) \
    ROW(digestFinal, "(II)[B", PKCS11Slot_digestFinal, hidden, , ) \
    ROW(seedRandom, "(II[B)V", PKCS11Slot_seedRandom, hidden, , ) \
    ROW(generateRandom, "(III)[B", PKCS11Slot_generateRandom, hidden, , ) \
    ROW(setCall2ndInit, "(IIZ)V", PKCS11Slot_setCall2ndInit, hidden, , ) \
    ROW(encryptData, "(II[B[BI)[B", PKCS11Slot_encryptData, hidden, , ) \
    ROW(decryptData, "(II[B[BI)[B", PKCS11Slot_decryptData, hidden, , ) \
    ROW(signData, "(II[B[BI)[B", PKCS11Slot_signData, hidden, , ) \
    ROW(verifyData, "(II[B[B[BI)Z", PKCS11Slot_verifyData, hidden, , ) \
    ROW(unwrapKey, "(II[B[BI)[B", PKCS11Slot_unwrapKey, hidden, , )
// clang-format on

#endif
