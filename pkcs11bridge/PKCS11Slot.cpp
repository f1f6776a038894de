// Token presence, sessions, login and PINs of one slot.
#include "pkcs11bridge/PKCS11Slot.h"

#include "pkcs11bridge/PKCS11Exception.h"

#include <cstring>

using JNIBridge::String;

namespace PKCS11Bridge {

namespace {

// What every message shows in place of a PIN.
const char* const kHiddenPin = "'****'";

// The label field of C_InitToken: exactly this many bytes, blank-padded.
constexpr unsigned int kLabelSize = 32;

constexpr CK_FLAGS kReadWriteSession = CKF_RW_SESSION | CKF_SERIAL_SESSION;

// The text handed to C_OpenSession as the application pointer.
char applicationName[] = "PKCS11Bridge";

CK_UTF8CHAR_PTR bytesOf(const String& text)
{
    return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(text.data()));
}

} // namespace

PKCS11Slot::PKCS11Slot(CK_FUNCTION_LIST_PTR functionList, CK_SLOT_ID slotID)
    : functionList_(functionList), slotID_(slotID)
{
}

void PKCS11Slot::requireSession(const char* noSessionMessage)
{
    if (!getSessionOpened()) {
        throw PKCS11Exception(noSessionMessage);
    }
}

void PKCS11Slot::requireSession(const char* prefix, const char* noSessionMessage)
{
    if (!getSessionOpened()) {
        throw PKCS11Exception(String(prefix).append(noSessionMessage));
    }
}

void PKCS11Slot::forgetSessionIfLost(CK_RV returnValue) noexcept
{
    if (returnValue == CKR_DEVICE_REMOVED || returnValue == CKR_SESSION_CLOSED) {
        sessionOpened_ = false;
    }
}

void PKCS11Slot::throwSessionCallFailure(const String& message, CK_RV returnValue)
{
    forgetSessionIfLost(returnValue);
    throw PKCS11Exception(message, returnValue);
}

void PKCS11Slot::forgetSession() noexcept
{
    sessionId_ = 0;
    sessionOpened_ = false;
}

bool PKCS11Slot::tokenPresent()
{
    // Only the flags are read, so only they are cleared (every session check
    // comes here): a module that leaves them unwritten reads as no token.
    CK_SLOT_INFO info;
    info.flags = 0;
    CK_RV rv = functionList_->C_GetSlotInfo(slotID_, &info);
    if (rv != CKR_OK) {
        throw PKCS11Exception("PKCS11Slot::tokenPresent() - Failed on call to C_GetSlotInfo()", rv);
    }
    const bool present = (info.flags & CKF_TOKEN_PRESENT) != 0;
    if (!present) {
        sessionOpened_ = false;
    }
    return present;
}

bool PKCS11Slot::getSessionOpened()
{
    tokenPresent();
    return sessionOpened_;
}

void PKCS11Slot::openSession(CK_FLAGS flags)
{
    if (getSessionOpened()) {
        return;
    }
    CK_SESSION_HANDLE handle = 0;
    CK_RV rv = functionList_->C_OpenSession(slotID_, flags, applicationName, NULL_PTR, &handle);
    if (rv != CKR_OK) {
        throw PKCS11Exception("PKCS11Slot::openSession() - Failed on call to C_OpenSession()", rv);
    }
    sessionId_ = handle;
    sessionOpened_ = true;
}

void PKCS11Slot::closeSession()
{
    if (!getSessionOpened()) {
        return;
    }
    const CK_SESSION_HANDLE handle = sessionId_;
    CK_RV rv = functionList_->C_CloseSession(handle);
    forgetSession();
    if (rv != CKR_OK) {
        throw PKCS11Exception(String("PKCS11Slot::closeSession() - Failed on call to C_CloseSession(")
                                  .append(messageNumber(handle))
                                  .append(")"),
                              rv);
    }
}

void PKCS11Slot::abandonSession() noexcept
{
    if (sessionOpened_) {
        functionList_->C_CloseSession(sessionId_);
    }
    forgetSession();
}

void PKCS11Slot::closeAllSessions()
{
    CK_RV rv = functionList_->C_CloseAllSessions(slotID_);
    forgetSession();
    if (rv != CKR_OK) {
        throw PKCS11Exception(String("PKCS11Slot::closeAllSessions() - Failed on call to C_CloseAllSessions(")
                                  .append(messageNumber(slotID_))
                                  .append(")"),
                              rv);
    }
}

void PKCS11Slot::login(const String& pin, CK_USER_TYPE userType)
{
    requireSession("PKCS11Slot::login(const String&, CK_USER_TYPE) - A session has not been opened !");
    CK_RV rv = functionList_->C_Login(sessionId_, userType, bytesOf(pin), pin.length());
    if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN) {
        throwSessionCallFailure(String("PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to C_Login(")
                                    .append(kHiddenPin)
                                    .append(", '")
                                    .append(messageNumber(userType))
                                    .append("')"),
                                rv);
    }
}

void PKCS11Slot::logout()
{
    requireSession("PKCS11Slot::login(const String&) - A session has not been opened !");
    const CK_SESSION_HANDLE handle = sessionId_;
    CK_RV rv = functionList_->C_Logout(handle);
    if (rv != CKR_OK && rv != CKR_USER_NOT_LOGGED_IN) {
        throwSessionCallFailure(
            String("PKCS11Slot::logout() - Failed on call to C_Logout(").append(messageNumber(handle)).append(")"), rv);
    }
}

void PKCS11Slot::setPIN(const String& oldPin, const String& newPin)
{
    requireSession("PKCS11Slot::setPIN(const String&, const String&) - A session has not been opened !");
    login(oldPin, CKU_USER);
    const CK_SESSION_HANDLE handle = sessionId_;
    CK_RV rv = functionList_->C_SetPIN(handle, bytesOf(oldPin), oldPin.length(), bytesOf(newPin), newPin.length());
    if (rv != CKR_OK) {
        throwSessionCallFailure(String("PKCS11Slot::logout() - Failed on call to setPIN(")
                                    .append(messageNumber(handle))
                                    .append(", ")
                                    .append(kHiddenPin)
                                    .append(", ")
                                    .append(kHiddenPin)
                                    .append(")"),
                                rv);
    }
    logout();
}

void PKCS11Slot::initToken(const String& soPin, const String& label)
{
    // The label field has no room for more; cutting a label silently would
    // name the token differently from what was asked.
    if (label.length() > kLabelSize) {
        throw PKCS11Exception(String("PKCS11Slot::initToken(const String&, const String&) - The label '")
                                  .append(label)
                                  .append("' is longer than ")
                                  .append(static_cast<int>(kLabelSize))
                                  .append(" bytes"));
    }
    if (getSessionOpened()) {
        closeSession();
    }
    CK_UTF8CHAR labelField[kLabelSize];
    std::memset(labelField, ' ', kLabelSize);
    std::memcpy(labelField, label.data(), label.length());
    CK_RV rv = functionList_->C_InitToken(slotID_, bytesOf(soPin), soPin.length(), labelField);
    if (rv != CKR_OK) {
        throw PKCS11Exception(
            String("PKCS11Slot::initToken(const String&, const String&) - Failed on call to C_InitToken(")
                .append(kHiddenPin)
                .append(", ")
                .append(messageNumber(soPin.length()))
                .append(", ")
                .append(label)
                .append(")"),
            rv);
    }
}

// No user login first: C_InitPIN needs the SO logged in, and a user login
// would be refused then.
void PKCS11Slot::initPIN(const String& pin)
{
    requireSession("PKCS11Slot::initPIN(const String&) - A session has not been opened !");
    CK_RV rv = functionList_->C_InitPIN(sessionId_, bytesOf(pin), pin.length());
    if (rv != CKR_OK) {
        throw PKCS11Exception(String("PKCS11Slot::initPIN(const String&) - Failed on call to C_InitPIN(")
                                  .append(kHiddenPin)
                                  .append(", ")
                                  .append(messageNumber(pin.length()))
                                  .append(")"),
                              rv);
    }
    logout();
}

void PKCS11Slot::initTokenAndUserPIN(const String& soPin, const String& label, const String& userPin)
{
    initToken(soPin, label);
    openSession(kReadWriteSession);
    login(soPin, CKU_SO);
    initPIN(userPin);
    logout();
}

} // namespace PKCS11Bridge
