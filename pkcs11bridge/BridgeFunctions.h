// Every PKCS#11 function the bridge calls a module through, written once:
// X(name, (labels)), the labels saying by position what a diagnostic log line
// shows of each argument. A CK_ULONG shows by its label, a CK_ULONG_PTR (an
// answer) after the call, a mechanism or attribute by its type; nullptr shows
// nothing, so PINs and data, which are pointers, never do.
#ifndef ORV_PKCS11BRIDGE_BRIDGEFUNCTIONS_H
#define ORV_PKCS11BRIDGE_BRIDGEFUNCTIONS_H

#define ORV_BRIDGE_FUNCTIONS(X)                                                                                        \
    X(C_Initialize, ())                                                                                                \
    X(C_Finalize, ())                                                                                                  \
    X(C_GetSlotList, (nullptr, nullptr, "count"))                                                                      \
    X(C_GetSlotInfo, ("slot"))                                                                                         \
    X(C_GetTokenInfo, ("slot"))                                                                                        \
    X(C_WaitForSlotEvent, ("flags", "slot"))                                                                           \
    X(C_InitToken, ("slot"))                                                                                           \
    X(C_InitPIN, ("session"))                                                                                          \
    X(C_SetPIN, ("session"))                                                                                           \
    X(C_OpenSession, ("slot", "flags", nullptr, nullptr, "session"))                                                   \
    X(C_CloseSession, ("session"))                                                                                     \
    X(C_CloseAllSessions, ("slot"))                                                                                    \
    X(C_Login, ("session", "user"))                                                                                    \
    X(C_Logout, ("session"))                                                                                           \
    X(C_DestroyObject, ("session", "object"))                                                                          \
    X(C_GetAttributeValue, ("session", "object", "attribute"))                                                         \
    X(C_FindObjectsInit, ("session", nullptr, "attributes"))                                                           \
    X(C_FindObjects, ("session", nullptr, nullptr, "found"))                                                           \
    X(C_FindObjectsFinal, ("session"))                                                                                 \
    X(C_EncryptInit, ("session", "mechanism", "key"))                                                                  \
    X(C_Encrypt, ("session", nullptr, "data length", nullptr, "output length"))                                        \
    X(C_DecryptInit, ("session", "mechanism", "key"))                                                                  \
    X(C_Decrypt, ("session", nullptr, "data length", nullptr, "output length"))                                        \
    X(C_DigestInit, ("session", "mechanism"))                                                                          \
    X(C_DigestUpdate, ("session", nullptr, "data length"))                                                             \
    X(C_DigestFinal, ("session", nullptr, "output length"))                                                            \
    X(C_SignInit, ("session", "mechanism", "key"))                                                                     \
    X(C_Sign, ("session", nullptr, "data length", nullptr, "output length"))                                           \
    X(C_VerifyInit, ("session", "mechanism", "key"))                                                                   \
    X(C_Verify, ("session", nullptr, "data length", nullptr, "signature length"))                                      \
    X(C_SeedRandom, ("session", nullptr, "seed length"))                                                               \
    X(C_GenerateRandom, ("session", nullptr, "length"))

// The labels of one entry as the members of a brace list.
#define ORV_BRIDGE_LABELS(...) __VA_ARGS__

#endif
