#include "FakeToken.h"

#include <cstring>

namespace {

// Fixed buffers only: the module must not put secrets on the heap itself.
CK_RV pinResult = CKR_OK;
char plainText[64] = "";
char lastPin[64] = "";
bool foundOnce = false;

void remember(CK_UTF8CHAR_PTR pin, CK_ULONG length)
{
    const CK_ULONG n = length < sizeof lastPin - 1 ? length : sizeof lastPin - 1;
    std::memcpy(lastPin, pin, n);
    lastPin[n] = '\0';
}

CK_RV getSlotInfo(CK_SLOT_ID, CK_SLOT_INFO_PTR info)
{
    std::memset(info, 0, sizeof *info);
    info->flags = CKF_TOKEN_PRESENT;
    return CKR_OK;
}

CK_RV openSession(CK_SLOT_ID, CK_FLAGS, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR session)
{
    *session = 7;
    return CKR_OK;
}

CK_RV closeSession(CK_SESSION_HANDLE)
{
    return CKR_OK;
}
CK_RV closeAllSessions(CK_SLOT_ID)
{
    return CKR_OK;
}
CK_RV logout(CK_SESSION_HANDLE)
{
    return CKR_OK;
}

CK_RV login(CK_SESSION_HANDLE, CK_USER_TYPE, CK_UTF8CHAR_PTR pin, CK_ULONG length)
{
    remember(pin, length);
    return pinResult;
}

CK_RV setPin(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR oldPin, CK_ULONG oldLength, CK_UTF8CHAR_PTR, CK_ULONG)
{
    remember(oldPin, oldLength);
    return pinResult;
}

CK_RV initToken(CK_SLOT_ID, CK_UTF8CHAR_PTR pin, CK_ULONG length, CK_UTF8CHAR_PTR)
{
    remember(pin, length);
    return pinResult;
}

CK_RV initPin(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR pin, CK_ULONG length)
{
    remember(pin, length);
    return pinResult;
}

CK_RV findObjectsInit(CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG)
{
    foundOnce = false;
    return CKR_OK;
}

CK_RV findObjects(CK_SESSION_HANDLE, CK_OBJECT_HANDLE_PTR handles, CK_ULONG maximum, CK_ULONG_PTR count)
{
    *count = 0;
    if (!foundOnce && maximum > 0) {
        handles[0] = 5;
        *count = 1;
        foundOnce = true;
    }
    return CKR_OK;
}

CK_RV findObjectsFinal(CK_SESSION_HANDLE)
{
    return CKR_OK;
}

// Every object has CKA_ID "id"; fixed-size attributes read as zero.
CK_RV getAttributeValue(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR attributes, CK_ULONG count)
{
    for (CK_ULONG i = 0; i < count; ++i) {
        CK_ATTRIBUTE& a = attributes[i];
        if (a.type == CKA_ID) {
            if (a.pValue != NULL_PTR && a.ulValueLen >= 2) {
                std::memcpy(a.pValue, "id", 2);
            }
            a.ulValueLen = 2;
        } else if (a.pValue != NULL_PTR) {
            std::memset(a.pValue, 0, a.ulValueLen);
        }
    }
    return CKR_OK;
}
CK_RV decryptInit(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE)
{
    return CKR_OK;
}

CK_RV decrypt(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR out, CK_ULONG_PTR length)
{
    if (out == NULL_PTR) {
        *length = 64;
        return CKR_OK;
    }
    const CK_ULONG n = std::strlen(plainText);
    if (*length < n) {
        return CKR_BUFFER_TOO_SMALL;
    }
    std::memcpy(out, plainText, n);
    *length = n;
    return CKR_OK;
}

CK_FUNCTION_LIST makeList()
{
    CK_FUNCTION_LIST list;
    std::memset(&list, 0, sizeof list);
    list.version = {2, 20};
    list.C_GetSlotInfo = &getSlotInfo;
    list.C_OpenSession = &openSession;
    list.C_CloseSession = &closeSession;
    list.C_CloseAllSessions = &closeAllSessions;
    list.C_Login = &login;
    list.C_Logout = &logout;
    list.C_SetPIN = &setPin;
    list.C_InitToken = &initToken;
    list.C_InitPIN = &initPin;
    list.C_FindObjectsInit = &findObjectsInit;
    list.C_FindObjects = &findObjects;
    list.C_FindObjectsFinal = &findObjectsFinal;
    list.C_GetAttributeValue = &getAttributeValue;
    list.C_DecryptInit = &decryptInit;
    list.C_Decrypt = &decrypt;
    return list;
}

CK_FUNCTION_LIST list = makeList();

} // namespace

CK_FUNCTION_LIST_PTR FakeToken::functionList()
{
    return &list;
}

void FakeToken::failPinCalls(CK_RV returnValue)
{
    pinResult = returnValue;
}

void FakeToken::setPlainText(const char* text)
{
    std::strncpy(plainText, text, sizeof plainText - 1);
}

bool FakeToken::lastPinWas(const char* pin)
{
    return std::strcmp(lastPin, pin) == 0;
}
