// Return-value names and the composition of PKCS11Exception texts.
#include "pkcs11bridge/PKCS11Exception.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using PKCS11Bridge::getReturnValueName;
using PKCS11Bridge::PKCS11Exception;

namespace {

std::string nameOf(CK_RV code)
{
    return getReturnValueName(code).c_str();
}

TEST(ReturnValueName, NamesStandardValues)
{
    EXPECT_EQ(nameOf(0x0), "CKR_OK");
    EXPECT_EQ(nameOf(0x1), "CKR_CANCEL");
    EXPECT_EQ(nameOf(0x3), "CKR_SLOT_ID_INVALID");
    EXPECT_EQ(nameOf(0x5), "CKR_GENERAL_ERROR");
    EXPECT_EQ(nameOf(0xA), "CKR_CANT_LOCK");
    EXPECT_EQ(nameOf(0x32), "CKR_DEVICE_REMOVED");
    EXPECT_EQ(nameOf(0x54), "CKR_FUNCTION_NOT_SUPPORTED");
    EXPECT_EQ(nameOf(0x6A), "CKR_KEY_UNEXTRACTABLE");
    EXPECT_EQ(nameOf(0x82), "CKR_OBJECT_HANDLE_INVALID");
    EXPECT_EQ(nameOf(0xA0), "CKR_PIN_INCORRECT");
    EXPECT_EQ(nameOf(0xB0), "CKR_SESSION_CLOSED");
    EXPECT_EQ(nameOf(0xB8), "CKR_SESSION_READ_WRITE_SO_EXISTS");
    EXPECT_EQ(nameOf(0xE0), "CKR_TOKEN_NOT_PRESENT");
    EXPECT_EQ(nameOf(0x100), "CKR_USER_ALREADY_LOGGED_IN");
    EXPECT_EQ(nameOf(0x105), "CKR_USER_TOO_MANY_TYPES");
    EXPECT_EQ(nameOf(0x115), "CKR_WRAPPING_KEY_TYPE_INCONSISTENT");
    EXPECT_EQ(nameOf(0x150), "CKR_BUFFER_TOO_SMALL");
    EXPECT_EQ(nameOf(0x180), "CKR_STATE_UNSAVEABLE");
    EXPECT_EQ(nameOf(0x191), "CKR_CRYPTOKI_ALREADY_INITIALIZED");
    EXPECT_EQ(nameOf(0x1A1), "CKR_MUTEX_NOT_LOCKED");
}

TEST(ReturnValueName, UnassignedAndVendorValuesAreUnknown)
{
    for (CK_RV code : {0x4UL, 0x1BUL, 0x130UL, 0x200UL, 0x1A2UL, 0x80000000UL, 0x80000054UL, 0xFFFFFFFFUL}) {
        EXPECT_EQ(nameOf(code), "Unknown PKCS11 Error") << std::hex << code;
    }
}

TEST(ReturnValueName, ExactlyEightyThreeValuesHaveNames)
{
    int named = 0;
    for (CK_RV code = 0; code <= 0x400; ++code) {
        const std::string name = nameOf(code);
        if (name != "Unknown PKCS11 Error") {
            ++named;
            EXPECT_EQ(name.compare(0, 4, "CKR_"), 0) << name;
        }
    }
    EXPECT_EQ(named, 83);
}

TEST(PKCS11ExceptionText, AppendsNameOfReturnValue)
{
    const PKCS11Exception e(JNIBridge::String("Op() - Failed on call to C_X()"), CKR_PIN_INCORRECT);
    EXPECT_STREQ(e.getMessage().c_str(), "Op() - Failed on call to C_X() - CKR_PIN_INCORRECT");
    EXPECT_EQ(e.getReturnValue(), CKR_PIN_INCORRECT);
}

TEST(PKCS11ExceptionText, ZeroCodeStillNamed)
{
    const PKCS11Exception e(JNIBridge::String("Op()"), CKR_OK);
    EXPECT_STREQ(e.getMessage().c_str(), "Op() - CKR_OK");
}

TEST(PKCS11ExceptionText, UnknownCodesEndInUnknownName)
{
    for (CK_RV code : {0x4UL, 0x130UL, 0x200UL, 0x80000000UL}) {
        const PKCS11Exception e(JNIBridge::String("Op()"), code);
        EXPECT_STREQ(e.getMessage().c_str(), "Op() - Unknown PKCS11 Error");
        EXPECT_EQ(e.getReturnValue(), code);
    }
}

TEST(PKCS11ExceptionText, MessageOnlyKeepsTextAndZeroCode)
{
    const PKCS11Exception e(JNIBridge::String("Op() - A session has not been opened !"));
    EXPECT_STREQ(e.getMessage().c_str(), "Op() - A session has not been opened !");
    EXPECT_EQ(e.getReturnValue(), 0UL);
}

TEST(PKCS11ExceptionText, CallerMessageUnchanged)
{
    const JNIBridge::String message("Op()");
    const PKCS11Exception e(message, CKR_GENERAL_ERROR);
    EXPECT_STREQ(message.c_str(), "Op()");
}

TEST(PKCS11ExceptionText, CopyOutlivesOriginal)
{
    auto original = std::make_unique<PKCS11Exception>(JNIBridge::String("Op()"), CKR_DEVICE_ERROR);
    const PKCS11Exception copy(*original);
    original.reset();
    EXPECT_STREQ(copy.getMessage().c_str(), "Op() - CKR_DEVICE_ERROR");
    EXPECT_EQ(copy.getReturnValue(), CKR_DEVICE_ERROR);
}

TEST(PKCS11ExceptionText, IsPartOfTheJNIBridgeFamily)
{
    try {
        throw PKCS11Exception(JNIBridge::String("Op()"), CKR_CANCEL);
    } catch (const JNIBridge::Exception& e) {
        EXPECT_STREQ(e.getMessage().c_str(), "Op() - CKR_CANCEL");
        return;
    }
    FAIL() << "not caught as JNIBridge::Exception";
}

TEST(MessageNumber, ShowsSigned32BitDecimal)
{
    JNIBridge::String text("h=");
    text.append(PKCS11Bridge::messageNumber(0x80000001UL));
    EXPECT_STREQ(text.c_str(), "h=-2147483647");
    JNIBridge::String small("h=");
    small.append(PKCS11Bridge::messageNumber(84UL));
    EXPECT_STREQ(small.c_str(), "h=84");
}

} // namespace
