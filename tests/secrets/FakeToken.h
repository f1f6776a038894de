// A PKCS#11 function list that keeps nothing on the heap: whatever the secrets
// test finds in freed memory came from the bridge, not from the module.
#ifndef ORV_TESTS_FAKETOKEN_H
#define ORV_TESTS_FAKETOKEN_H

#include "pkcs11bridge/Cryptoki.h"

class FakeToken {
public:
    static CK_FUNCTION_LIST_PTR functionList();

    // The return value of the PIN-taking calls (C_Login, C_SetPIN, C_InitToken, C_InitPIN).
    static void failPinCalls(CK_RV returnValue);

    // What C_Decrypt writes; its size query reports 64 bytes, more than it writes.
    static void setPlainText(const char* text);

    // Bytes of the last PIN the module saw, checked against what was passed.
    static bool lastPinWas(const char* pin);
};

#endif
