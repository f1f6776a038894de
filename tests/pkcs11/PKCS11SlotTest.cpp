// Token presence, sessions, login, PINs and token initialisation against the mock.
#include "MockModuleFixture.h"

using JNIBridge::ByteArray;
using JNIBridge::String;
using PKCS11Bridge::PKCS11Slot;
using namespace PKCS11Test;

namespace {

constexpr CK_FLAGS rwSession = CKF_RW_SESSION | CKF_SERIAL_SESSION;

class SlotSessions : public MockModuleTest {};

TEST_F(SlotSessions, OpenTwiceKeepsFirstSession)
{
    s->openSession(rwSession);
    const CK_SESSION_HANDLE first = s->getSessionId();
    s->openSession(CKF_SERIAL_SESSION);
    EXPECT_EQ(s->getSessionId(), first);
    EXPECT_EQ(
        linesOf("C_OpenSession"),
        (Calls{"C_OpenSession slot=2 flags=0x6 app=set notify=NULL session=" + std::to_string(first) + " rv=0x0"}));
    EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo", "C_OpenSession", "C_GetSlotInfo"}));
    EXPECT_TRUE(s->getSessionOpened());
}

TEST_F(SlotSessions, PulledTokenForgetsSessionWithoutClose)
{
    openedSlot(indexA);
    const CK_SESSION_HANDLE handle = s->getSessionId();
    mock().set_token_present(P11MOCK_SLOT_A, 0);
    EXPECT_FALSE(s->tokenPresent());
    EXPECT_FALSE(s->getSessionOpened());
    s->closeSession();
    EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo", "C_GetSlotInfo", "C_GetSlotInfo"}));
    EXPECT_EQ(s->getSessionId(), handle);
}

TEST_F(SlotSessions, OpenOnPulledTokenNamesModuleAnswer)
{
    mock().set_token_present(P11MOCK_SLOT_A, 0);
    const Failure failure = pkcs11Failure([&] { s->openSession(rwSession); });
    EXPECT_EQ(failure.message, "PKCS11Slot::openSession() - Failed on call to C_OpenSession() - CKR_TOKEN_NOT_PRESENT");
    EXPECT_EQ(failure.returnValue, CKR_TOKEN_NOT_PRESENT);
    EXPECT_FALSE(s->getSessionOpened());
}

TEST_F(SlotSessions, SlotInfoFailureNamed)
{
    mock().fail("C_GetSlotInfo", CKR_DEVICE_ERROR, 1);
    EXPECT_EQ(pkcs11Failure([&] { s->getSessionOpened(); }).message,
              "PKCS11Slot::tokenPresent() - Failed on call to C_GetSlotInfo() - CKR_DEVICE_ERROR");
}

TEST_F(SlotSessions, CloseWithoutSessionCallsNothingButSlotInfo)
{
    s->closeSession();
    EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo"}));
}

TEST_F(SlotSessions, FailedCloseForgetsSessionAndShowsHandleSigned)
{
    mock().set_next_session_handle(0x80000001UL);
    openedSlot(indexA);
    ASSERT_EQ(s->getSessionId(), 0x80000001UL);
    mock().fail("C_CloseSession", CKR_DEVICE_ERROR, 1);
    const Failure failure = pkcs11Failure([&] { s->closeSession(); });
    EXPECT_EQ(failure.message,
              "PKCS11Slot::closeSession() - Failed on call to C_CloseSession(-2147483647) - CKR_DEVICE_ERROR");
    EXPECT_EQ(linesOf("C_CloseSession"), (Calls{"C_CloseSession session=2147483649 rv=0x30"}));
    EXPECT_EQ(s->getSessionId(), 0UL);
    EXPECT_FALSE(s->getSessionOpened());
}

TEST_F(SlotSessions, CloseAllAttemptedWithoutSession)
{
    s->closeAllSessions();
    EXPECT_EQ(linesOf("C_CloseAllSessions"), (Calls{"C_CloseAllSessions slot=2 rv=0x0"}));
    EXPECT_EQ(calls().size(), 1u);
}

TEST_F(SlotSessions, FailedCloseAllStillLeavesNoSession)
{
    auto c = openedSlot(indexC);
    mock().fail("C_CloseAllSessions", CKR_GENERAL_ERROR, 1);
    EXPECT_EQ(pkcs11Failure([&] { c->closeAllSessions(); }).message,
              "PKCS11Slot::closeAllSessions() - Failed on call to C_CloseAllSessions(9) - CKR_GENERAL_ERROR");
    EXPECT_EQ(c->getSessionId(), 0UL);
    EXPECT_FALSE(c->getSessionOpened());
}

// Every operation that needs a session pays exactly one C_GetSlotInfo for it.
TEST_F(SlotSessions, SessionCheckIsOneSlotInfo)
{
    openedSlot(indexA);
    s->login(P11MOCK_USER_PIN_A, CKU_USER);
    EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo", "C_Login"}));
    mock().log_clear();
    s->logout();
    EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo", "C_Logout"}));
}

using Member = std::function<void(PKCS11Slot&)>;

TEST_F(SlotSessions, OperationsWithoutSessionFailWithOwnMessage)
{
    const std::pair<Member, const char*> cases[] = {
        {[](PKCS11Slot& s) { s.login("1234", CKU_USER); }, "PKCS11Slot::login(const String&, CK_USER_TYPE)"},
        {[](PKCS11Slot& s) { s.logout(); }, "PKCS11Slot::login(const String&)"},
        {[](PKCS11Slot& s) { s.setPIN("1234", "5555"); }, "PKCS11Slot::setPIN(const String&, const String&)"},
        {[](PKCS11Slot& s) { s.initPIN("1234"); }, "PKCS11Slot::initPIN(const String&)"},
        {[](PKCS11Slot& s) { s.digestInit(CKM_SHA_1); }, "PKCS11Slot::digestInit(unsigned int)"},
        {[](PKCS11Slot& s) { s.digestUpdate(ByteArray(3)); }, "PKCS11Slot::digestUpdate(const ByteArray&)"},
        {[](PKCS11Slot& s) { s.digestFinal(); }, "PKCS11Slot::digestFinal()"},
        {[](PKCS11Slot& s) { s.seedRandom(ByteArray(3)); }, "PKCS11Slot::seedRandom(const ByteArray&)"},
        {[](PKCS11Slot& s) { s.generateRandom(16); }, "PKCS11Slot::generateRandom(unsigned int)"},
    };
    for (const auto& c : cases) {
        mock().log_clear();
        const Failure failure = pkcs11Failure([&] { c.first(*s); });
        EXPECT_EQ(failure.message, noSession(c.second));
        EXPECT_EQ(failure.returnValue, 0UL) << c.second;
        EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo"})) << c.second;
    }
}

// CKR_DEVICE_REMOVED and CKR_SESSION_CLOSED end the session as far as the slot
// knows; the handle is kept until the next open or close.
TEST_F(SlotSessions, LostSessionForgottenAfterFailure)
{
    const std::pair<const char*, Member> cases[] = {
        {"C_Login", [](PKCS11Slot& s) { s.login(P11MOCK_USER_PIN_A, CKU_USER); }},
        {"C_Logout", [](PKCS11Slot& s) { s.logout(); }},
        {"C_SetPIN", [](PKCS11Slot& s) { s.setPIN(P11MOCK_USER_PIN_A, "5555"); }},
        {"C_DigestInit", [](PKCS11Slot& s) { s.digestInit(CKM_SHA_1); }},
        {"C_DigestUpdate", [](PKCS11Slot& s) { s.digestUpdate(ByteArray(3)); }},
        {"C_DigestFinal", [](PKCS11Slot& s) { s.digestFinal(); }},
        {"C_SeedRandom", [](PKCS11Slot& s) { s.seedRandom(ByteArray(3)); }},
        {"C_GenerateRandom", [](PKCS11Slot& s) { s.generateRandom(8); }},
    };
    for (CK_RV lost : {CKR_DEVICE_REMOVED, CKR_SESSION_CLOSED}) {
        for (const auto& c : cases) {
            openedSlot(indexA);
            const CK_SESSION_HANDLE handle = s->getSessionId();
            mock().fail(c.first, lost, 1);
            const Failure failure = pkcs11Failure([&] { c.second(*s); });
            EXPECT_EQ(failure.returnValue, lost) << c.first;
            EXPECT_FALSE(s->getSessionOpened()) << c.first;
            EXPECT_EQ(s->getSessionId(), handle) << c.first;
            mock().clear_faults();
            s->openSession(rwSession);
            EXPECT_NE(s->getSessionId(), handle) << c.first;
            s->closeSession();
        }
    }
}

TEST_F(SlotSessions, OtherFailuresKeepSession)
{
    openedSlot(indexA);
    mock().fail("C_Logout", CKR_DEVICE_ERROR, 1);
    EXPECT_EQ(pkcs11Failure([&] { s->logout(); }).message, "PKCS11Slot::logout() - Failed on call to C_Logout(" +
                                                               std::to_string(s->getSessionId()) +
                                                               ") - CKR_DEVICE_ERROR");
    EXPECT_TRUE(s->getSessionOpened());
}

TEST_F(SlotSessions, ModuleDroppingSessionsOnRemovalIsSeen)
{
    openedSlot(indexA);
    mock().set_removed_session_rv(CKR_SESSION_CLOSED);
    mock().set_token_present(P11MOCK_SLOT_A, 0);
    mock().set_token_present(P11MOCK_SLOT_A, 1);
    // The slot did not notice the removal: the token is back.
    const Failure failure = pkcs11Failure([&] { s->login(P11MOCK_USER_PIN_A, CKU_USER); });
    EXPECT_EQ(failure.returnValue, CKR_SESSION_CLOSED);
    EXPECT_FALSE(s->getSessionOpened());
}

TEST_F(SlotSessions, FailedSetPinHidesBothPinsAndStaysLoggedIn)
{
    mock().set_next_session_handle(0x80000000UL);
    openedSlot(indexA);
    mock().fail("C_SetPIN", CKR_PIN_LEN_RANGE, 1);
    const Failure failure = pkcs11Failure([&] { s->setPIN(P11MOCK_USER_PIN_A, "98"); });
    EXPECT_EQ(failure.message,
              "PKCS11Slot::logout() - Failed on call to setPIN(-2147483648, '****', '****') - CKR_PIN_LEN_RANGE");
    EXPECT_EQ(mock().get_login_state(P11MOCK_SLOT_A), 1);
}

class SlotLogin : public OpenedSlotTest {};

TEST_F(SlotLogin, PassesPinBytesAndLengthExactly)
{
    s->login(P11MOCK_USER_PIN_A, CKU_USER);
    EXPECT_EQ(linesOf("C_Login"), (Calls{"C_Login session=" + std::to_string(s->getSessionId()) +
                                         " userType=1 pin=31323334 pinLen=4 rv=0x0"}));
    EXPECT_EQ(mock().get_login_state(P11MOCK_SLOT_A), 1);
}

TEST_F(SlotLogin, PinWithZeroAndHighBytesPassedWhole)
{
    mock().set_user_pin(P11MOCK_SLOT_A, "a\0\xC3\xA4", 4);
    s->login(String("a\0\xC3\xA4", 0, 4), CKU_USER);
    EXPECT_NE(linesOf("C_Login").at(0).find("pin=6100c3a4 pinLen=4 rv=0x0"), std::string::npos);
    EXPECT_EQ(mock().get_login_state(P11MOCK_SLOT_A), 1);
}

TEST_F(SlotLogin, WrongPinHiddenInMessage)
{
    const Failure failure = pkcs11Failure([&] { s->login("98765", CKU_USER); });
    EXPECT_EQ(failure.message, "PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to "
                               "C_Login('****', '1') - CKR_PIN_INCORRECT");
    EXPECT_EQ(failure.message.find("98765"), std::string::npos);
    EXPECT_TRUE(s->getSessionOpened());
}

TEST_F(SlotLogin, UserTypeShownSigned)
{
    mock().fail("C_Login", CKR_USER_TYPE_INVALID, 1);
    EXPECT_EQ(pkcs11Failure([&] { s->login("1234", static_cast<CK_USER_TYPE>(0xFFFFFFFFUL)); }).message,
              "PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to "
              "C_Login('****', '-1') - CKR_USER_TYPE_INVALID");
}

TEST_F(SlotLogin, LoginAndLogoutToleratedTwice)
{
    s->login(P11MOCK_USER_PIN_A, CKU_USER);
    s->login(P11MOCK_USER_PIN_A, CKU_USER);
    s->logout();
    s->logout();
    const auto logins = linesOf("C_Login");
    const auto logouts = linesOf("C_Logout");
    ASSERT_EQ(logins.size(), 2u);
    ASSERT_EQ(logouts.size(), 2u);
    EXPECT_NE(logins[1].find("rv=0x100"), std::string::npos);
    EXPECT_NE(logouts[1].find("rv=0x101"), std::string::npos);
    EXPECT_EQ(mock().get_login_state(P11MOCK_SLOT_A), -1);
}

TEST_F(SlotLogin, SetPinLogsInChangesAndLogsOut)
{
    s->setPIN(P11MOCK_USER_PIN_A, "55555");
    EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo", "C_GetSlotInfo", "C_Login", "C_SetPIN", "C_GetSlotInfo", "C_Logout"}));
    EXPECT_EQ(linesOf("C_SetPIN"), (Calls{"C_SetPIN session=" + std::to_string(s->getSessionId()) +
                                          " oldPin=31323334 oldPinLen=4 newPin=3535353535 newPinLen=5 rv=0x0"}));
    char pin[16] = {0};
    EXPECT_EQ(mock().get_user_pin(P11MOCK_SLOT_A, pin, sizeof pin), 5);
    EXPECT_STREQ(pin, "55555");
    EXPECT_EQ(mock().get_login_state(P11MOCK_SLOT_A), -1);
}

TEST_F(SlotLogin, SetPinWithWrongOldPinFailsInLogin)
{
    EXPECT_EQ(pkcs11Failure([&] { s->setPIN("0000", "5555"); }).message,
              "PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to "
              "C_Login('****', '1') - CKR_PIN_INCORRECT");
    EXPECT_EQ(mock().call_count("C_SetPIN"), 0UL);
}

class SlotTokenInit : public MockModuleTest {};

TEST_F(SlotTokenInit, ShortLabelBlankPadded)
{
    auto d = slot(indexD);
    d->initToken("so-pin", "hello");
    EXPECT_EQ(linesOf("C_InitToken"),
              (Calls{"C_InitToken slot=11 soPin=" + P11MockControl::hex("so-pin") +
                     " soPinLen=6 label=" + P11MockControl::hex("hello" + std::string(27, ' ')) + " rv=0x0"}));
    char label[33] = {0};
    EXPECT_EQ(mock().get_token_label(P11MOCK_SLOT_D, label, sizeof label), 32);
    EXPECT_EQ(std::string(label), "hello" + std::string(27, ' '));
}

TEST_F(SlotTokenInit, FullLengthLabelPassedWhole)
{
    const std::string label32 = "0123456789abcdef0123456789ABCDEF";
    slot(indexD)->initToken("so-pin", label32.c_str());
    EXPECT_NE(linesOf("C_InitToken").at(0).find("label=" + P11MockControl::hex(label32) + " "), std::string::npos);
}

TEST_F(SlotTokenInit, OverlongLabelRefusedBeforeAnyCall)
{
    auto d = openedSlot(indexD);
    const Failure failure = pkcs11Failure([&] { d->initToken("so-pin", "0123456789abcdef0123456789ABCDEFX"); });
    EXPECT_EQ(failure.message, "PKCS11Slot::initToken(const String&, const String&) - The label "
                               "'0123456789abcdef0123456789ABCDEFX' is longer than 32 bytes");
    EXPECT_EQ(failure.returnValue, 0UL);
    EXPECT_TRUE(calls().empty());
}

TEST_F(SlotTokenInit, OpenSessionClosedFirst)
{
    auto d = openedSlot(indexD);
    d->initToken("so-pin", "T");
    EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo", "C_GetSlotInfo", "C_CloseSession", "C_InitToken"}));
    EXPECT_FALSE(d->getSessionOpened());
    EXPECT_EQ(d->getSessionId(), 0UL);
}

TEST_F(SlotTokenInit, FailureShowsLengthAndLabelNotPin)
{
    const Failure failure = pkcs11Failure([&] { s->initToken("wrong-so", "Relabel"); });
    EXPECT_EQ(failure.message, "PKCS11Slot::initToken(const String&, const String&) - Failed on call to "
                               "C_InitToken('****', 8, Relabel) - CKR_PIN_INCORRECT");
    EXPECT_EQ(failure.message.find("wrong-so"), std::string::npos);
}

TEST_F(SlotTokenInit, InitPinDoesNotLogInFirst)
{
    openedSlot(indexA);
    s->login(P11MOCK_SO_PIN_A, CKU_SO);
    mock().log_clear();
    s->initPIN("4321");
    EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo", "C_InitPIN", "C_GetSlotInfo", "C_Logout"}));
    EXPECT_NE(linesOf("C_InitPIN").at(0).find("pin=34333231 pinLen=4 rv=0x0"), std::string::npos);
}

TEST_F(SlotTokenInit, InitPinFailureKeepsSessionAndHidesPin)
{
    openedSlot(indexA);
    mock().fail("C_InitPIN", CKR_DEVICE_REMOVED, 1);
    const Failure failure = pkcs11Failure([&] { s->initPIN("4321"); });
    EXPECT_EQ(failure.message,
              "PKCS11Slot::initPIN(const String&) - Failed on call to C_InitPIN('****', 4) - CKR_DEVICE_REMOVED");
    EXPECT_EQ(mock().call_count("C_Logout"), 0UL);
    EXPECT_TRUE(s->getSessionOpened());
}

TEST_F(SlotTokenInit, TokenAndUserPinThenUserLogin)
{
    auto d = slot(indexD);
    d->initTokenAndUserPIN("so-secret", "Fresh", "user-secret");
    EXPECT_EQ(calls(),
              (Calls{"C_GetSlotInfo", "C_InitToken", "C_GetSlotInfo", "C_OpenSession", "C_GetSlotInfo", "C_Login",
                     "C_GetSlotInfo", "C_InitPIN", "C_GetSlotInfo", "C_Logout", "C_GetSlotInfo", "C_Logout"}));
    EXPECT_NE(linesOf("C_Login").at(0).find("userType=0 pin=" + P11MockControl::hex("so-secret")), std::string::npos);
    EXPECT_TRUE(d->getSessionOpened());
    d->login("user-secret", CKU_USER);
    EXPECT_EQ(mock().get_login_state(P11MOCK_SLOT_D), 1);
}

TEST_F(SlotTokenInit, TokenAndUserPinStopsAtFirstFailure)
{
    auto d = slot(indexD);
    mock().fail("C_OpenSession", CKR_SESSION_COUNT, 1);
    EXPECT_EQ(pkcs11Failure([&] { d->initTokenAndUserPIN("so", "L", "user"); }).message,
              "PKCS11Slot::openSession() - Failed on call to C_OpenSession() - CKR_SESSION_COUNT");
    EXPECT_EQ(mock().call_count("C_Login"), 0UL);
    EXPECT_EQ(mock().call_count("C_InitPIN"), 0UL);
}

} // namespace
