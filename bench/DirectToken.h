// One token driven with exactly the PKCS#11 calls the bridge makes for each
// Java operation, in the same order and with the same arguments, so that
// timing the two side by side shows the bridge's own cost and nothing else.
#ifndef ORV_BENCH_DIRECTTOKEN_H
#define ORV_BENCH_DIRECTTOKEN_H

#include "pkcs11bridge/Cryptoki.h"

#include <string>
#include <vector>

namespace Bench {

using Bytes = std::vector<unsigned char>;

// Throws std::runtime_error naming the function and the return value.
void checkReturn(const char* function, CK_RV rv);

class DirectToken {
public:
    // Uses an open session: its own or, in tests, the one the bridge opened.
    DirectToken(CK_FUNCTION_LIST_PTR functionList, CK_SLOT_ID slotID, CK_SESSION_HANDLE session);

    // Opens a read-write session the way the bridge's openSession does.
    static CK_SESSION_HANDLE openSession(CK_FUNCTION_LIST_PTR functionList, CK_SLOT_ID slotID);
    void login(const std::string& pin);

    // One Java call each (signData, verifyData, decryptData, generateRandom,
    // getTokenInfo); the digest is digestInit, digestUpdate and digestFinal.
    Bytes sign(const Bytes& certificate, const Bytes& data, CK_MECHANISM_TYPE mechanism);
    bool verify(const Bytes& certificate, const Bytes& data, const Bytes& signature, CK_MECHANISM_TYPE mechanism);
    Bytes decrypt(const Bytes& certificate, const Bytes& cipherText, CK_MECHANISM_TYPE mechanism);
    Bytes digest(CK_MECHANISM_TYPE mechanism, const Bytes& data);
    Bytes generateRandom(CK_ULONG length);
    CK_TOKEN_INFO tokenInfo();
    bool sessionOpened();
    // getNumberOfCertificates, then getCertificate for every index: each of
    // those calls lists the token's certificates afresh.
    std::vector<Bytes> listCertificates();

    void setCall2ndInit(bool value) noexcept { call2ndInit = value; }

private:
    struct Found {
        CK_OBJECT_HANDLE handle;
        Bytes id;
    };
    using InitFunction = CK_C_SignInit;
    using RunFunction = CK_C_Sign;

    void sessionCheck();
    CK_OBJECT_HANDLE findOne(std::vector<CK_ATTRIBUTE>& attributes);
    std::vector<CK_OBJECT_HANDLE> findAll(std::vector<CK_ATTRIBUTE>& attributes);
    Bytes readBytes(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type);
    CK_ULONG readULong(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type);
    bool readBool(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type);
    Found findCertificate(const Bytes& value);
    CK_OBJECT_HANDLE findKey(CK_OBJECT_HANDLE certificate, CK_OBJECT_CLASS keyClass, CK_ATTRIBUTE_TYPE rsaOnlyFlag,
                             CK_ATTRIBUTE_TYPE flag);
    Bytes singlePart(InitFunction init, RunFunction run, CK_OBJECT_HANDLE key, CK_MECHANISM_TYPE mechanism,
                     const Bytes& input);
    std::vector<Bytes> certificates();

    CK_FUNCTION_LIST_PTR functionList;
    CK_SLOT_ID slotID;
    CK_SESSION_HANDLE session;
    bool call2ndInit = false;
};

} // namespace Bench

#endif
