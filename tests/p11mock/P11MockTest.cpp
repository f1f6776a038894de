// Self-test of the orvp11mock module: the contracts the bridge tests rely on.
// The module is loaded at run time through P11MockControl, like the bridge does.
#include <p11-kit/pkcs11.h>

#include "P11MockControl.h" // <windows.h> on win32

#ifndef _WIN32
#include <pthread.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#ifndef P11MOCK_MODULE_PATH
#define P11MOCK_MODULE_PATH "orvp11mock.dll"
#endif

namespace {

P11MockControl& mock()
{
    static P11MockControl* m = new P11MockControl(P11MOCK_MODULE_PATH);
    return *m;
}

CK_FUNCTION_LIST* functions()
{
    auto gfl = reinterpret_cast<CK_C_GetFunctionList>(mock().symbol("C_GetFunctionList"));
    CK_FUNCTION_LIST* fl = nullptr;
    return gfl && gfl(&fl) == CKR_OK ? fl : nullptr;
}

void sleepMs(unsigned ms)
{
#ifdef _WIN32
    Sleep(ms);
#else
    usleep(ms * 1000);
#endif
}

class P11Mock : public ::testing::Test {
protected:
    P11MockControl& m = mock();
    CK_FUNCTION_LIST* f = nullptr;

    void SetUp() override
    {
        f = functions();
        ASSERT_NE(f, nullptr);
        m.reset();
        m.set_initialized(0);
        ASSERT_EQ(f->C_Initialize(NULL_PTR), CKR_OK);
        m.log_clear();
    }
    void TearDown() override
    {
        if (f)
            f->C_Finalize(NULL_PTR);
        m.reset();
    }

    CK_SESSION_HANDLE open(CK_SLOT_ID slot)
    {
        CK_SESSION_HANDLE h = 0;
        EXPECT_EQ(f->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, (void*)"PKCS11Bridge", NULL_PTR, &h),
                  CKR_OK);
        return h;
    }
    std::vector<CK_OBJECT_HANDLE> findAll(CK_SESSION_HANDLE s, CK_ATTRIBUTE* t, CK_ULONG n)
    {
        std::vector<CK_OBJECT_HANDLE> out;
        EXPECT_EQ(f->C_FindObjectsInit(s, t, n), CKR_OK);
        for (;;) {
            CK_OBJECT_HANDLE h;
            CK_ULONG found = 0;
            EXPECT_EQ(f->C_FindObjects(s, &h, 1, &found), CKR_OK);
            if (!found)
                break;
            out.push_back(h);
        }
        EXPECT_EQ(f->C_FindObjectsFinal(s), CKR_OK);
        return out;
    }
};

TEST_F(P11Mock, InitializeTwiceAndFinalize)
{
    EXPECT_EQ(f->C_Initialize(NULL_PTR), CKR_CRYPTOKI_ALREADY_INITIALIZED);
    EXPECT_EQ(f->C_Finalize(NULL_PTR), CKR_OK);
    CK_ULONG n = 0;
    EXPECT_EQ(f->C_GetSlotList(CK_TRUE, NULL_PTR, &n), CKR_CRYPTOKI_NOT_INITIALIZED);
    EXPECT_EQ(f->C_Initialize(NULL_PTR), CKR_OK);
    EXPECT_EQ(m.object_count(P11MOCK_SLOT_A), 10u); // fixture kept
    EXPECT_EQ(m.logLines(), (std::vector<std::string>{
                                "C_Initialize args=NULL rv=0x191",
                                "C_Finalize rv=0x0",
                                "C_GetSlotList tokenPresent=1 list=NULL countIn=0 countOut=0 rv=0x190",
                                "C_Initialize args=NULL rv=0x0",
                            }));
}

TEST_F(P11Mock, SlotListSemantics)
{
    CK_ULONG n = 0;
    ASSERT_EQ(f->C_GetSlotList(CK_TRUE, NULL_PTR, &n), CKR_OK);
    ASSERT_EQ(n, 3u);
    CK_SLOT_ID ids[8] = {0};
    CK_ULONG small = 2;
    EXPECT_EQ(f->C_GetSlotList(CK_TRUE, ids, &small), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(small, 3u);
    ASSERT_EQ(f->C_GetSlotList(CK_TRUE, ids, &n), CKR_OK);
    EXPECT_EQ(ids[0], 2u);
    EXPECT_EQ(ids[1], 9u);
    EXPECT_EQ(ids[2], 11u);
    CK_ULONG all = 8;
    ASSERT_EQ(f->C_GetSlotList(CK_FALSE, ids, &all), CKR_OK);
    EXPECT_EQ(all, 4u);
    EXPECT_EQ(ids[1], 5u);

    CK_TOKEN_INFO ti;
    ASSERT_EQ(f->C_GetTokenInfo(P11MOCK_SLOT_A, &ti), CKR_OK);
    EXPECT_EQ(std::string((char*)ti.label, 32), P11MOCK_LABEL_A);
    EXPECT_EQ(std::string((char*)ti.serialNumber, 16), P11MOCK_SERIAL_A);
    EXPECT_EQ(ti.flags, (CK_FLAGS)(CKF_RNG | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED));
    EXPECT_EQ(f->C_GetTokenInfo(P11MOCK_SLOT_EMPTY, &ti), CKR_TOKEN_NOT_PRESENT);
}

TEST_F(P11Mock, FaultOnNthCallAndEveryCall)
{
    EXPECT_EQ(m.fail("C_NoSuchFunction", CKR_GENERAL_ERROR, 0), -1);
    ASSERT_EQ(m.fail("C_GetSlotList", CKR_BUFFER_TOO_SMALL, 2), 0);
    CK_ULONG n = 0;
    EXPECT_EQ(f->C_GetSlotList(CK_TRUE, NULL_PTR, &n), CKR_OK);
    EXPECT_EQ(n, 3u);
    CK_SLOT_ID ids[4];
    CK_ULONG n2 = 4;
    EXPECT_EQ(f->C_GetSlotList(CK_TRUE, ids, &n2), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(n2, 4u);                                      // injected: nothing written
    EXPECT_EQ(f->C_GetSlotList(CK_TRUE, ids, &n2), CKR_OK); // used up
    EXPECT_EQ(m.call_count("C_GetSlotList"), 3u);
    EXPECT_EQ(m.logLinesOf("C_GetSlotList")[1], "C_GetSlotList tokenPresent=1 list=set countIn=4 countOut=4 rv=0x150");

    CK_SESSION_HANDLE s = open(P11MOCK_SLOT_A);
    CK_MECHANISM mech = {CKM_SHA1_RSA_PKCS, NULL_PTR, 0};
    m.fail("C_SignInit", CKR_OPERATION_ACTIVE, 2);
    EXPECT_EQ(f->C_SignInit(s, &mech, P11MOCK_H_PRIV_A), CKR_OK);
    m.allow_reinit(1);
    EXPECT_EQ(f->C_SignInit(s, &mech, P11MOCK_H_PRIV_A), CKR_OPERATION_ACTIVE); // injected
    EXPECT_EQ(f->C_SignInit(s, &mech, P11MOCK_H_PRIV_A), CKR_OK);               // reinit allowed

    m.fail("C_GenerateRandom", CKR_DEVICE_ERROR, 0);
    CK_BYTE buf[4];
    EXPECT_EQ(f->C_GenerateRandom(s, buf, 4), CKR_DEVICE_ERROR);
    EXPECT_EQ(f->C_GenerateRandom(s, buf, 4), CKR_DEVICE_ERROR);
    m.clear_faults();
    EXPECT_EQ(f->C_GenerateRandom(s, buf, 4), CKR_OK);
}

TEST_F(P11Mock, TokenRemovalAndReinsertion)
{
    CK_SESSION_HANDLE s = open(P11MOCK_SLOT_A);
    CK_BYTE pin[] = {'1', '2', '3', '4'};
    ASSERT_EQ(f->C_Login(s, CKU_USER, pin, 4), CKR_OK);
    ASSERT_EQ(m.set_token_present(P11MOCK_SLOT_A, 0), 0);

    CK_SLOT_INFO si;
    ASSERT_EQ(f->C_GetSlotInfo(P11MOCK_SLOT_A, &si), CKR_OK);
    EXPECT_EQ(si.flags & CKF_TOKEN_PRESENT, 0u);
    CK_SLOT_ID ids[4];
    CK_ULONG n = 4;
    ASSERT_EQ(f->C_GetSlotList(CK_TRUE, ids, &n), CKR_OK);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(ids[0], 9u);
    EXPECT_EQ(f->C_Logout(s), CKR_DEVICE_REMOVED);
    m.set_removed_session_rv(CKR_SESSION_CLOSED);
    CK_ATTRIBUTE t = {CKA_CLASS, NULL_PTR, 0};
    EXPECT_EQ(f->C_FindObjectsInit(s, &t, 0), CKR_SESSION_CLOSED);
    CK_SESSION_HANDLE s2 = 0;
    EXPECT_EQ(f->C_OpenSession(P11MOCK_SLOT_A, CKF_SERIAL_SESSION | CKF_RW_SESSION, NULL_PTR, NULL_PTR, &s2),
              CKR_TOKEN_NOT_PRESENT);
    EXPECT_EQ(m.session_count(P11MOCK_SLOT_A), 0u);
    EXPECT_EQ(m.get_login_state(P11MOCK_SLOT_A), -1);

    ASSERT_EQ(m.set_token_present(P11MOCK_SLOT_A, 1), 0);
    ASSERT_EQ(f->C_GetSlotInfo(P11MOCK_SLOT_A, &si), CKR_OK);
    EXPECT_EQ(si.flags & CKF_TOKEN_PRESENT, (CK_FLAGS)CKF_TOKEN_PRESENT);
    CK_SESSION_HANDLE s3 = open(P11MOCK_SLOT_A);
    EXPECT_NE(s3, s);
    EXPECT_EQ(f->C_Logout(s), CKR_SESSION_CLOSED); // the old handle stays lost
    EXPECT_EQ(f->C_Logout(s3), CKR_USER_NOT_LOGGED_IN);
}

TEST_F(P11Mock, LogFormatAndLoginSemantics)
{
    m.set_next_session_handle(0x80000001UL);
    CK_SESSION_HANDLE s = open(P11MOCK_SLOT_A);
    EXPECT_EQ(s, (CK_SESSION_HANDLE)0x80000001UL);
    CK_BYTE pin[] = {'1', '2', '3', '4'};
    CK_BYTE bad[] = {'9', '9', '9', '9'};
    EXPECT_EQ(f->C_Login(s, CKU_USER, bad, 4), CKR_PIN_INCORRECT);
    EXPECT_EQ(f->C_Login(s, CKU_USER, pin, 4), CKR_OK);
    EXPECT_EQ(f->C_Login(s, CKU_USER, pin, 4), CKR_USER_ALREADY_LOGGED_IN);
    EXPECT_EQ(f->C_Logout(s), CKR_OK);
    EXPECT_EQ(f->C_Logout(s), CKR_USER_NOT_LOGGED_IN);
    EXPECT_EQ(f->C_CloseSession(s), CKR_OK);

    CK_BYTE label[32];
    std::memset(label, ' ', 32);
    std::memcpy(label, "Fresh", 5);
    CK_BYTE so[] = {'s', 'o'};
    EXPECT_EQ(f->C_InitToken(P11MOCK_SLOT_D, so, 2, label), CKR_OK);
    char got[33] = {0};
    EXPECT_EQ(m.get_token_label(P11MOCK_SLOT_D, got, sizeof got), 32);
    EXPECT_EQ(std::string(got), std::string("Fresh") + std::string(27, ' '));

    std::vector<std::string> expected = {
        "C_OpenSession slot=2 flags=0x6 app=set notify=NULL session=2147483649 rv=0x0",
        "C_Login session=2147483649 userType=1 pin=39393939 pinLen=4 rv=0xa0",
        "C_Login session=2147483649 userType=1 pin=31323334 pinLen=4 rv=0x0",
        "C_Login session=2147483649 userType=1 pin=31323334 pinLen=4 rv=0x100",
        "C_Logout session=2147483649 rv=0x0",
        "C_Logout session=2147483649 rv=0x101",
        "C_CloseSession session=2147483649 rv=0x0",
        "C_InitToken slot=11 soPin=736f soPinLen=2 label=4672657368" + P11MockControl::hex(std::string(27, ' ')) +
            " rv=0x0",
    };
    EXPECT_EQ(m.logLines(), expected);
}

TEST_F(P11Mock, AttributesAndFind)
{
    CK_SESSION_HANDLE s = open(P11MOCK_SLOT_A);
    CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE ct = CKC_X_509;
    CK_ATTRIBUTE t[] = {{CKA_CLASS, &cls, sizeof cls}, {CKA_CERTIFICATE_TYPE, &ct, sizeof ct}};
    std::vector<CK_OBJECT_HANDLE> certs = findAll(s, t, 2);
    EXPECT_EQ(certs, (std::vector<CK_OBJECT_HANDLE>{P11MOCK_H_CERT_A, P11MOCK_H_CERT_NOID, P11MOCK_H_CERT_E,
                                                    P11MOCK_H_CERT_B}));
    std::vector<std::string> fi = m.logLinesOf("C_FindObjectsInit");
    ASSERT_EQ(fi.size(), 1u);
    EXPECT_EQ(fi[0], "C_FindObjectsInit session=1 template=[0x0=1,0x80=0] rv=0x0");
    EXPECT_EQ(m.logLinesOf("C_FindObjects")[0], "C_FindObjects session=1 max=1 found=1 objects=257 rv=0x0");
    EXPECT_EQ(m.logLinesOf("C_FindObjects")[4], "C_FindObjects session=1 max=1 found=0 objects= rv=0x0");

    // CKA_ID length query, then read; missing CKA_ID on the no-ID certificate.
    CK_ATTRIBUTE a = {CKA_ID, NULL_PTR, 0};
    ASSERT_EQ(f->C_GetAttributeValue(s, P11MOCK_H_CERT_A, &a, 1), CKR_OK);
    EXPECT_EQ(a.ulValueLen, 4u);
    char id[4];
    a.pValue = id;
    ASSERT_EQ(f->C_GetAttributeValue(s, P11MOCK_H_CERT_A, &a, 1), CKR_OK);
    EXPECT_EQ(std::string(id, 4), P11MOCK_ID_A);
    CK_ATTRIBUTE missing = {CKA_ID, NULL_PTR, 0};
    EXPECT_EQ(f->C_GetAttributeValue(s, P11MOCK_H_CERT_NOID, &missing, 1), CKR_ATTRIBUTE_TYPE_INVALID);
    EXPECT_EQ(missing.ulValueLen, CK_UNAVAILABLE_INFORMATION);
    EXPECT_EQ(m.logLinesOf("C_GetAttributeValue").back(),
              "C_GetAttributeValue session=1 object=260 attrs=[0x102:NULL:0:UNAVAIL] rv=0x12");

    // One find at a time.
    EXPECT_EQ(f->C_FindObjectsInit(s, t, 2), CKR_OK);
    EXPECT_EQ(f->C_FindObjectsInit(s, t, 2), CKR_OPERATION_ACTIVE);
    EXPECT_EQ(f->C_FindObjectsFinal(s), CKR_OK);

    EXPECT_EQ(f->C_DestroyObject(s, P11MOCK_H_DATA), CKR_OK);
    EXPECT_EQ(f->C_DestroyObject(s, P11MOCK_H_DATA), CKR_OBJECT_HANDLE_INVALID);
    EXPECT_EQ(m.object_exists(P11MOCK_H_DATA), 0);
}

TEST_F(P11Mock, CryptoLengthQueryAndRoundTrip)
{
    CK_SESSION_HANDLE s = open(P11MOCK_SLOT_A);
    CK_MECHANISM mech = {CKM_RSA_PKCS, NULL_PTR, 0};
    CK_BYTE data[] = {'h', 'e', 'l', 'l', 'o'};

    m.set_extra_reported_length(7);
    ASSERT_EQ(f->C_EncryptInit(s, &mech, P11MOCK_H_PUB_A), CKR_OK);
    CK_ULONG len = 0;
    ASSERT_EQ(f->C_Encrypt(s, data, 5, NULL_PTR, &len), CKR_OK);
    EXPECT_EQ(len, 12u);                                                          // 5 + 7 extra
    EXPECT_EQ(f->C_EncryptInit(s, &mech, P11MOCK_H_PUB_A), CKR_OPERATION_ACTIVE); // query kept it active
    std::vector<CK_BYTE> ct(len, 0);
    ASSERT_EQ(f->C_Encrypt(s, data, 5, ct.data(), &len), CKR_OK);
    EXPECT_EQ(len, 5u);
    EXPECT_NE(std::memcmp(ct.data(), data, 5), 0);
    EXPECT_EQ(f->C_Encrypt(s, data, 5, ct.data(), &len), CKR_OPERATION_NOT_INITIALIZED); // ended
    EXPECT_EQ(m.logLinesOf("C_Encrypt")[0], "C_Encrypt session=1 dataLen=5 out=NULL lenIn=0 lenOut=12 rv=0x0");
    EXPECT_EQ(m.logLinesOf("C_Encrypt")[1], "C_Encrypt session=1 dataLen=5 out=set lenIn=12 lenOut=5 rv=0x0");
    m.set_extra_reported_length(0);

    ASSERT_EQ(f->C_DecryptInit(s, &mech, P11MOCK_H_PRIV_A), CKR_OK);
    CK_BYTE pt[5];
    CK_ULONG plen = sizeof pt;
    ASSERT_EQ(f->C_Decrypt(s, ct.data(), 5, pt, &plen), CKR_OK);
    EXPECT_EQ(std::memcmp(pt, data, 5), 0);

    // Sign / verify.
    ASSERT_EQ(f->C_SignInit(s, &mech, P11MOCK_H_PRIV_A), CKR_OK);
    CK_ULONG slen = 0;
    ASSERT_EQ(f->C_Sign(s, data, 5, NULL_PTR, &slen), CKR_OK);
    ASSERT_EQ(slen, P11MOCK_SIGNATURE_LEN);
    CK_BYTE sig[P11MOCK_SIGNATURE_LEN];
    CK_ULONG shortLen = 10;
    EXPECT_EQ(f->C_Sign(s, data, 5, sig, &shortLen), CKR_BUFFER_TOO_SMALL);
    ASSERT_EQ(f->C_Sign(s, data, 5, sig, &slen), CKR_OK);
    ASSERT_EQ(f->C_VerifyInit(s, &mech, P11MOCK_H_PUB_A), CKR_OK);
    EXPECT_EQ(f->C_Verify(s, data, 5, sig, slen), CKR_OK);
    ASSERT_EQ(f->C_VerifyInit(s, &mech, P11MOCK_H_PUB_A), CKR_OK);
    EXPECT_EQ(f->C_Verify(s, data, 5, sig, slen - 1), CKR_SIGNATURE_LEN_RANGE);
    sig[3] ^= 1;
    ASSERT_EQ(f->C_VerifyInit(s, &mech, P11MOCK_H_PUB_A), CKR_OK);
    EXPECT_EQ(f->C_Verify(s, data, 5, sig, slen), CKR_SIGNATURE_INVALID);
    // Mechanism-dependent: another mechanism's signature does not verify.
    CK_MECHANISM other = {CKM_SHA1_RSA_PKCS, NULL_PTR, 0};
    sig[3] ^= 1;
    ASSERT_EQ(f->C_VerifyInit(s, &other, P11MOCK_H_PUB_A), CKR_OK);
    EXPECT_EQ(f->C_Verify(s, data, 5, sig, slen), CKR_SIGNATURE_INVALID);
}

TEST_F(P11Mock, DigestLengthsAndRandom)
{
    CK_SESSION_HANDLE s = open(P11MOCK_SLOT_A);
    struct {
        CK_MECHANISM_TYPE mech;
        CK_ULONG len;
    } cases[] = {{CKM_SHA_1, 20}, {CKM_MD5, 16}};
    for (auto& c : cases) {
        CK_MECHANISM mech = {c.mech, NULL_PTR, 0};
        ASSERT_EQ(f->C_DigestInit(s, &mech), CKR_OK);
        CK_BYTE d[] = {'a', 'b', 'c'};
        ASSERT_EQ(f->C_DigestUpdate(s, d, 3), CKR_OK);
        CK_BYTE out[20] = {0};
        CK_ULONG len = 20;
        ASSERT_EQ(f->C_DigestFinal(s, out, &len), CKR_OK);
        EXPECT_EQ(len, c.len);
    }
    CK_MECHANISM sha256 = {CKM_SHA256, NULL_PTR, 0};
    ASSERT_EQ(f->C_DigestInit(s, &sha256), CKR_OK);
    CK_BYTE out[20];
    CK_ULONG len = 20;
    EXPECT_EQ(f->C_DigestFinal(s, out, &len), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 32u);
    EXPECT_EQ(m.logLinesOf("C_DigestFinal").back(), "C_DigestFinal session=1 out=set lenIn=20 lenOut=32 rv=0x150");

    CK_SESSION_HANDLE s2 = open(P11MOCK_SLOT_A);
    CK_ULONG l2 = 20;
    EXPECT_EQ(f->C_DigestFinal(s2, out, &l2), CKR_OPERATION_NOT_INITIALIZED);

    CK_BYTE r[16];
    EXPECT_EQ(f->C_GenerateRandom(s, r, 16), CKR_OK);
    EXPECT_EQ(f->C_GenerateRandom(s, r, 0), CKR_OK);
    CK_SESSION_HANDLE c = open(P11MOCK_SLOT_C); // no CKF_RNG
    CK_BYTE seed[] = {1, 2};
    EXPECT_EQ(f->C_SeedRandom(c, seed, 2), CKR_RANDOM_SEED_NOT_SUPPORTED);
    EXPECT_EQ(f->C_GenerateRandom(c, r, 16), CKR_RANDOM_NO_RNG);
}

// A thread blocked in C_WaitForSlotEvent(0, ...).
struct Waiter {
    CK_FUNCTION_LIST* f;
    P11MockControl& m;
    CK_SLOT_ID slot = 0;
    CK_RV rv = 0xFFFF;
#ifdef _WIN32
    HANDLE thread = NULL;
    static DWORD WINAPI run(LPVOID p)
#else
    pthread_t thread{};
    static void* run(void* p)
#endif
    {
        Waiter* w = static_cast<Waiter*>(p);
        w->rv = w->f->C_WaitForSlotEvent(0, &w->slot, NULL_PTR);
        return 0;
    }
    // Starts the thread and gives it up to five seconds to block.
    bool start()
    {
#ifdef _WIN32
        thread = CreateThread(NULL, 0, run, this, 0, NULL);
        if (!thread)
            return false;
#else
        if (pthread_create(&thread, NULL, run, this) != 0)
            return false;
#endif
        for (int i = 0; i < 500 && m.waiting_count() == 0; ++i)
            sleepMs(10);
        return true;
    }
    void join()
    {
#ifdef _WIN32
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
#else
        pthread_join(thread, NULL);
#endif
    }
};

TEST_F(P11Mock, SlotEvents)
{
    CK_SLOT_ID slot = 0;
    EXPECT_EQ(f->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, NULL_PTR), CKR_NO_EVENT);
    m.queue_slot_event(9);
    EXPECT_EQ(f->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, NULL_PTR), CKR_OK);
    EXPECT_EQ(slot, 9u);
    EXPECT_EQ(m.logLinesOf("C_WaitForSlotEvent"),
              (std::vector<std::string>{"C_WaitForSlotEvent flags=0x1 slot=- rv=0x8",
                                        "C_WaitForSlotEvent flags=0x1 slot=9 rv=0x0"}));

    // Blocking wait: released by an event queued from another thread, without
    // holding the module's lock meanwhile.
    Waiter w{f, m};
    ASSERT_TRUE(w.start());
    ASSERT_EQ(m.waiting_count(), 1u);
    CK_ULONG n = 0;
    EXPECT_EQ(f->C_GetSlotList(CK_TRUE, NULL_PTR, &n), CKR_OK); // lock is free
    m.queue_slot_event(11);
    w.join();
    EXPECT_EQ(w.rv, CKR_OK);
    EXPECT_EQ(w.slot, 11u);

    // A blocked waiter is released by C_Finalize.
    Waiter w2{f, m};
    ASSERT_TRUE(w2.start());
    EXPECT_EQ(f->C_Finalize(NULL_PTR), CKR_OK);
    w2.join();
    EXPECT_EQ(w2.rv, CKR_CRYPTOKI_NOT_INITIALIZED);
}

} // namespace
