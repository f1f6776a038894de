#include "bench/DirectToken.h"

#include <cstdio>
#include <stdexcept>

namespace Bench {

namespace {

char applicationName[] = "PKCS11Bridge";

CK_ATTRIBUTE attribute(CK_ATTRIBUTE_TYPE type, const void* value, CK_ULONG length)
{
    return CK_ATTRIBUTE{type, const_cast<void*>(value), length};
}

CK_BYTE_PTR bytesOf(const Bytes& bytes)
{
    return const_cast<CK_BYTE_PTR>(bytes.data());
}

} // namespace

void checkReturn(const char* function, CK_RV rv)
{
    if (rv != CKR_OK) {
        char text[128];
        std::snprintf(text, sizeof text, "%s failed: 0x%lx", function, static_cast<unsigned long>(rv));
        throw std::runtime_error(text);
    }
}

DirectToken::DirectToken(CK_FUNCTION_LIST_PTR functionList, CK_SLOT_ID slotID, CK_SESSION_HANDLE session)
    : functionList(functionList), slotID(slotID), session(session)
{
}

CK_SESSION_HANDLE DirectToken::openSession(CK_FUNCTION_LIST_PTR functionList, CK_SLOT_ID slotID)
{
    CK_SESSION_HANDLE handle = 0;
    checkReturn("C_OpenSession", functionList->C_OpenSession(slotID, CKF_RW_SESSION | CKF_SERIAL_SESSION,
                                                             applicationName, NULL_PTR, &handle));
    return handle;
}

void DirectToken::login(const std::string& pin)
{
    sessionCheck();
    CK_RV rv = functionList->C_Login(session, CKU_USER,
                                     reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(pin.data())), pin.size());
    if (rv != CKR_USER_ALREADY_LOGGED_IN) {
        checkReturn("C_Login", rv);
    }
}

void DirectToken::sessionCheck()
{
    CK_SLOT_INFO info;
    checkReturn("C_GetSlotInfo", functionList->C_GetSlotInfo(slotID, &info));
}

bool DirectToken::sessionOpened()
{
    CK_SLOT_INFO info;
    checkReturn("C_GetSlotInfo", functionList->C_GetSlotInfo(slotID, &info));
    return (info.flags & CKF_TOKEN_PRESENT) != 0;
}

CK_OBJECT_HANDLE DirectToken::findOne(std::vector<CK_ATTRIBUTE>& attributes)
{
    checkReturn("C_FindObjectsInit", functionList->C_FindObjectsInit(session, attributes.data(), attributes.size()));
    CK_OBJECT_HANDLE handle = CK_INVALID_HANDLE;
    CK_ULONG found = 0;
    checkReturn("C_FindObjects", functionList->C_FindObjects(session, &handle, 1, &found));
    checkReturn("C_FindObjectsFinal", functionList->C_FindObjectsFinal(session));
    return found == 1 ? handle : CK_INVALID_HANDLE;
}

std::vector<CK_OBJECT_HANDLE> DirectToken::findAll(std::vector<CK_ATTRIBUTE>& attributes)
{
    checkReturn("C_FindObjectsInit", functionList->C_FindObjectsInit(session, attributes.data(), attributes.size()));
    std::vector<CK_OBJECT_HANDLE> handles;
    for (;;) {
        CK_OBJECT_HANDLE handle = CK_INVALID_HANDLE;
        CK_ULONG found = 0;
        checkReturn("C_FindObjects", functionList->C_FindObjects(session, &handle, 1, &found));
        if (found == 0) {
            break;
        }
        handles.push_back(handle);
    }
    checkReturn("C_FindObjectsFinal", functionList->C_FindObjectsFinal(session));
    return handles;
}

// Length first, then the value, as the bridge's attribute reader does.
Bytes DirectToken::readBytes(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type)
{
    CK_ATTRIBUTE query = attribute(type, NULL_PTR, 0);
    checkReturn("C_GetAttributeValue", functionList->C_GetAttributeValue(session, object, &query, 1));
    Bytes value(query.ulValueLen);
    query.pValue = value.data();
    checkReturn("C_GetAttributeValue", functionList->C_GetAttributeValue(session, object, &query, 1));
    return value;
}

CK_ULONG DirectToken::readULong(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type)
{
    CK_ULONG value = 0;
    CK_ATTRIBUTE query = attribute(type, &value, sizeof value);
    checkReturn("C_GetAttributeValue", functionList->C_GetAttributeValue(session, object, &query, 1));
    return value;
}

bool DirectToken::readBool(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type)
{
    CK_BBOOL value = CK_FALSE;
    CK_ATTRIBUTE query = attribute(type, &value, sizeof value);
    checkReturn("C_GetAttributeValue", functionList->C_GetAttributeValue(session, object, &query, 1));
    return value != CK_FALSE;
}

// The certificate by its value, and its CKA_ID.
DirectToken::Found DirectToken::findCertificate(const Bytes& value)
{
    sessionCheck();
    const CK_ULONG certificateClass = CKO_CERTIFICATE;
    const CK_ULONG x509 = CKC_X_509;
    std::vector<CK_ATTRIBUTE> search = {attribute(CKA_CLASS, &certificateClass, sizeof certificateClass),
                                        attribute(CKA_CERTIFICATE_TYPE, &x509, sizeof x509),
                                        attribute(CKA_VALUE, value.data(), value.size())};
    const CK_OBJECT_HANDLE handle = findOne(search);
    if (handle == CK_INVALID_HANDLE) {
        throw std::runtime_error("certificate not found");
    }
    return Found{handle, readBytes(handle, CKA_ID)};
}

// The key of this class sharing the certificate's CKA_ID, with the two flags
// the bridge reads for its key object.
CK_OBJECT_HANDLE DirectToken::findKey(CK_OBJECT_HANDLE certificate, CK_OBJECT_CLASS keyClass,
                                      CK_ATTRIBUTE_TYPE rsaOnlyFlag, CK_ATTRIBUTE_TYPE flag)
{
    sessionCheck();
    const Bytes id = readBytes(certificate, CKA_ID);
    sessionCheck();
    const CK_ULONG classValue = keyClass;
    std::vector<CK_ATTRIBUTE> search = {attribute(CKA_CLASS, &classValue, sizeof classValue),
                                        attribute(CKA_ID, id.data(), id.size())};
    const CK_OBJECT_HANDLE key = findOne(search);
    if (key == CK_INVALID_HANDLE) {
        throw std::runtime_error("key not found");
    }
    if (readULong(key, CKA_KEY_TYPE) == CKK_RSA) {
        readBool(key, rsaOnlyFlag);
    }
    readBool(key, flag);
    return key;
}

Bytes DirectToken::singlePart(InitFunction init, RunFunction run, CK_OBJECT_HANDLE key, CK_MECHANISM_TYPE type,
                              const Bytes& input)
{
    CK_MECHANISM mechanism = {type, NULL_PTR, 0};
    checkReturn("Init", init(session, &mechanism, key));
    CK_ULONG length = 0;
    checkReturn("length query", run(session, bytesOf(input), input.size(), NULL_PTR, &length));
    if (call2ndInit) {
        checkReturn("second Init", init(session, &mechanism, key));
    }
    Bytes output(length);
    checkReturn("second call", run(session, bytesOf(input), input.size(), output.data(), &length));
    output.resize(length);
    return output;
}

Bytes DirectToken::sign(const Bytes& certificate, const Bytes& data, CK_MECHANISM_TYPE mechanism)
{
    const Found found = findCertificate(certificate);
    sessionCheck();
    const CK_OBJECT_HANDLE key = findKey(found.handle, CKO_PRIVATE_KEY, CKA_DECRYPT, CKA_SIGN);
    return singlePart(functionList->C_SignInit, functionList->C_Sign, key, mechanism, data);
}

Bytes DirectToken::decrypt(const Bytes& certificate, const Bytes& cipherText, CK_MECHANISM_TYPE mechanism)
{
    const Found found = findCertificate(certificate);
    sessionCheck();
    const CK_OBJECT_HANDLE key = findKey(found.handle, CKO_PRIVATE_KEY, CKA_DECRYPT, CKA_SIGN);
    return singlePart(functionList->C_DecryptInit, functionList->C_Decrypt, key, mechanism, cipherText);
}

bool DirectToken::verify(const Bytes& certificate, const Bytes& data, const Bytes& signature, CK_MECHANISM_TYPE type)
{
    const Found found = findCertificate(certificate);
    sessionCheck();
    const CK_OBJECT_HANDLE key = findKey(found.handle, CKO_PUBLIC_KEY, CKA_ENCRYPT, CKA_VERIFY);
    CK_MECHANISM mechanism = {type, NULL_PTR, 0};
    checkReturn("C_VerifyInit", functionList->C_VerifyInit(session, &mechanism, key));
    const CK_RV rv = functionList->C_Verify(session, bytesOf(data), data.size(), bytesOf(signature), signature.size());
    if (rv == CKR_SIGNATURE_INVALID) {
        return false;
    }
    checkReturn("C_Verify", rv);
    return true;
}

Bytes DirectToken::digest(CK_MECHANISM_TYPE type, const Bytes& data)
{
    sessionCheck();
    CK_MECHANISM mechanism = {type, NULL_PTR, 0};
    checkReturn("C_DigestInit", functionList->C_DigestInit(session, &mechanism));
    sessionCheck();
    checkReturn("C_DigestUpdate", functionList->C_DigestUpdate(session, bytesOf(data), data.size()));
    sessionCheck();
    Bytes result(20);
    CK_ULONG length = result.size();
    checkReturn("C_DigestFinal", functionList->C_DigestFinal(session, result.data(), &length));
    result.resize(length);
    return result;
}

Bytes DirectToken::generateRandom(CK_ULONG length)
{
    Bytes random(length);
    sessionCheck();
    checkReturn("C_GenerateRandom", functionList->C_GenerateRandom(session, random.data(), length));
    return random;
}

CK_TOKEN_INFO DirectToken::tokenInfo()
{
    CK_TOKEN_INFO info;
    checkReturn("C_GetTokenInfo", functionList->C_GetTokenInfo(slotID, &info));
    return info;
}

std::vector<Bytes> DirectToken::certificates()
{
    sessionCheck();
    const CK_ULONG certificateClass = CKO_CERTIFICATE;
    const CK_ULONG x509 = CKC_X_509;
    std::vector<CK_ATTRIBUTE> search = {attribute(CKA_CLASS, &certificateClass, sizeof certificateClass),
                                        attribute(CKA_CERTIFICATE_TYPE, &x509, sizeof x509)};
    std::vector<Bytes> values;
    for (CK_OBJECT_HANDLE handle : findAll(search)) {
        readBytes(handle, CKA_ID);
        values.push_back(readBytes(handle, CKA_VALUE));
    }
    return values;
}

std::vector<Bytes> DirectToken::listCertificates()
{
    const std::size_t count = certificates().size();
    std::vector<Bytes> listed;
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<Bytes> all = certificates();
        if (i >= all.size()) {
            throw std::runtime_error("certificate count changed while listing");
        }
        listed.push_back(std::move(all[i]));
    }
    return listed;
}

} // namespace Bench
