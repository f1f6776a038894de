// orvp11mock: a fault-injecting, logging, in-memory PKCS#11 v2.40 test module.
// Behaviour, fixture, log format and control API: see P11Mock.h.

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <pthread.h>
#include <sched.h>
#include <time.h>
#endif

#define CRYPTOKI_EXPORTS 1 // win32: C_GetFunctionList is declared dllexport
#include <p11-kit/pkcs11.h>

#define P11MOCK_BUILDING 1
#include "P11Mock.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <cstddef>

#ifdef _WIN32
// The point of the Windows builds: the header packs PKCS#11 structures to 1
// byte, and CK_ULONG stays 32-bit on x64 as well.
static_assert(offsetof(CK_INFO, flags) == 34, "CK_INFO must be packed to 1 byte on Windows");
static_assert(sizeof(CK_ULONG) == 4, "CK_ULONG is 32-bit on Windows");
static_assert(offsetof(CK_ATTRIBUTE, pValue) == 4, "CK_ATTRIBUTE must be packed to 1 byte on Windows");
#endif
static_assert(sizeof(P11MockAttribute) == sizeof(CK_ATTRIBUTE), "attribute layout");
static_assert(offsetof(P11MockAttribute, ulValueLen) == offsetof(CK_ATTRIBUTE, ulValueLen), "attribute layout");

namespace {

// ---------------------------------------------------------------------------
// Locking: native primitives (mingw's win32 thread model has no std::mutex).
// ---------------------------------------------------------------------------
#ifdef _WIN32
struct Mutex {
    CRITICAL_SECTION cs;
    Mutex() { InitializeCriticalSection(&cs); }
    void lock() { EnterCriticalSection(&cs); }
    void unlock() { LeaveCriticalSection(&cs); }
};
struct Cond {
    CONDITION_VARIABLE cv;
    Cond() { InitializeConditionVariable(&cv); }
    void wait(Mutex& m) { SleepConditionVariableCS(&cv, &m.cs, INFINITE); }
    void notifyAll() { WakeAllConditionVariable(&cv); }
};
#else
struct Mutex {
    pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
    void lock() { pthread_mutex_lock(&m); }
    void unlock() { pthread_mutex_unlock(&m); }
};
struct Cond {
    pthread_cond_t c = PTHREAD_COND_INITIALIZER;
    void wait(Mutex& m) { pthread_cond_wait(&c, &m.m); }
    void notifyAll() { pthread_cond_broadcast(&c); }
};
#endif

Mutex& theMutex()
{
    static Mutex* m = new Mutex; // never destroyed: safe at any unload order
    return *m;
}
Cond& theCond()
{
    static Cond* c = new Cond;
    return *c;
}
struct Guard {
    Guard() { theMutex().lock(); }
    ~Guard() { theMutex().unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

// ---------------------------------------------------------------------------
// Function names, in CK_FUNCTION_LIST order.
// ---------------------------------------------------------------------------
const char* const kFunctionNames[] = {
    "C_Initialize",
    "C_Finalize",
    "C_GetInfo",
    "C_GetFunctionList",
    "C_GetSlotList",
    "C_GetSlotInfo",
    "C_GetTokenInfo",
    "C_GetMechanismList",
    "C_GetMechanismInfo",
    "C_InitToken",
    "C_InitPIN",
    "C_SetPIN",
    "C_OpenSession",
    "C_CloseSession",
    "C_CloseAllSessions",
    "C_GetSessionInfo",
    "C_GetOperationState",
    "C_SetOperationState",
    "C_Login",
    "C_Logout",
    "C_CreateObject",
    "C_CopyObject",
    "C_DestroyObject",
    "C_GetObjectSize",
    "C_GetAttributeValue",
    "C_SetAttributeValue",
    "C_FindObjectsInit",
    "C_FindObjects",
    "C_FindObjectsFinal",
    "C_EncryptInit",
    "C_Encrypt",
    "C_EncryptUpdate",
    "C_EncryptFinal",
    "C_DecryptInit",
    "C_Decrypt",
    "C_DecryptUpdate",
    "C_DecryptFinal",
    "C_DigestInit",
    "C_Digest",
    "C_DigestUpdate",
    "C_DigestKey",
    "C_DigestFinal",
    "C_SignInit",
    "C_Sign",
    "C_SignUpdate",
    "C_SignFinal",
    "C_SignRecoverInit",
    "C_SignRecover",
    "C_VerifyInit",
    "C_Verify",
    "C_VerifyUpdate",
    "C_VerifyFinal",
    "C_VerifyRecoverInit",
    "C_VerifyRecover",
    "C_DigestEncryptUpdate",
    "C_DecryptDigestUpdate",
    "C_SignEncryptUpdate",
    "C_DecryptVerifyUpdate",
    "C_GenerateKey",
    "C_GenerateKeyPair",
    "C_WrapKey",
    "C_UnwrapKey",
    "C_DeriveKey",
    "C_SeedRandom",
    "C_GenerateRandom",
    "C_GetFunctionStatus",
    "C_CancelFunction",
    "C_WaitForSlotEvent",
};
const size_t kFunctionCount = sizeof(kFunctionNames) / sizeof(kFunctionNames[0]);
static_assert(sizeof(kFunctionNames) / sizeof(kFunctionNames[0]) == 68, "68 functions");

bool knownFunction(const char* name)
{
    if (!name)
        return false;
    for (size_t i = 0; i < kFunctionCount; ++i)
        if (std::strcmp(kFunctionNames[i], name) == 0)
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// State
// ---------------------------------------------------------------------------
typedef std::vector<unsigned char> Bytes;

struct Object {
    CK_OBJECT_HANDLE handle = 0;
    std::vector<std::pair<CK_ATTRIBUTE_TYPE, Bytes>> attrs; // insertion order

    const Bytes* find(CK_ATTRIBUTE_TYPE t) const
    {
        for (auto& a : attrs)
            if (a.first == t)
                return &a.second;
        return nullptr;
    }
    void set(CK_ATTRIBUTE_TYPE t, const void* p, size_t n)
    {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        Bytes v(b, b + (p ? n : 0));
        for (auto& a : attrs)
            if (a.first == t) {
                a.second = v;
                return;
            }
        attrs.emplace_back(t, v);
    }
    bool remove(CK_ATTRIBUTE_TYPE t)
    {
        for (auto it = attrs.begin(); it != attrs.end(); ++it)
            if (it->first == t) {
                attrs.erase(it);
                return true;
            }
        return false;
    }
    bool boolAttr(CK_ATTRIBUTE_TYPE t) const
    {
        const Bytes* b = find(t);
        return b && !b->empty() && (*b)[0] != 0;
    }
    bool ulongAttr(CK_ATTRIBUTE_TYPE t, CK_ULONG& out) const
    {
        const Bytes* b = find(t);
        if (!b || b->size() != sizeof(CK_ULONG))
            return false;
        std::memcpy(&out, b->data(), sizeof(CK_ULONG));
        return true;
    }
};

struct Token {
    char label[32];
    char manufacturer[32];
    char model[16];
    char serial[16];
    CK_FLAGS flags = 0;
    bool hasSoPin = false, hasUserPin = false;
    std::string soPin, userPin;
    std::vector<Object> objects;
};

struct Slot {
    CK_SLOT_ID id = 0;
    bool present = false;
    Token token;
    long login = -1; // -1 nobody, else CK_USER_TYPE
};

struct Op {
    bool active = false;
    CK_MECHANISM_TYPE mech = 0;
    CK_OBJECT_HANDLE key = 0;
    Bytes data; // digest accumulation
};

struct Session {
    CK_SESSION_HANDLE handle = 0;
    CK_SLOT_ID slot = 0;
    CK_FLAGS flags = 0;
    bool findActive = false;
    std::vector<CK_OBJECT_HANDLE> found;
    size_t foundPos = 0;
    Op enc, dec, sign, verify, digest;
};

struct Fault {
    std::string name;
    CK_RV rv;
    unsigned long nth;
    unsigned long seen;
};

struct State {
    bool initialized = false;
    std::vector<Slot> slots;
    std::map<CK_SESSION_HANDLE, Session> sessions;
    std::map<CK_SESSION_HANDLE, CK_SLOT_ID> lostSessions; // dropped by token removal
    CK_SESSION_HANDLE nextSession = 1;
    CK_OBJECT_HANDLE nextObject = 0x1000;
    std::deque<CK_SLOT_ID> events;
    unsigned long waiting = 0;
    // Threads whose last non-blocking wait found no event: they wait by polling.
    std::vector<unsigned long> pollers;
    unsigned long generation = 0; // bumped by finalize: wakes waiters
    std::string log;
    unsigned long logLines = 0;
    bool logEnabled = true;
    std::vector<Fault> faults;
    std::map<std::string, unsigned long> callCounts;
    std::map<std::string, unsigned long> delays; // milliseconds
    unsigned long extraLen = 0;
    bool allowReinit = false;
    CK_RV removedRv = CKR_DEVICE_REMOVED;
    bool requireLogin = false;
    bool autoEvents = false;
    uint64_t rng = 0;
};

State& S()
{
    static State* s = new State; // never destroyed
    return *s;
}

// ---------------------------------------------------------------------------
// Small helpers
// ---------------------------------------------------------------------------
void padCopy(char* dst, size_t width, const char* src)
{
    std::memset(dst, ' ', width);
    if (src) {
        size_t n = std::strlen(src);
        std::memcpy(dst, src, n < width ? n : width);
    }
}

std::string hexOf(const void* p, size_t n)
{
    if (!p)
        return "NULL";
    static const char digits[] = "0123456789abcdef";
    const unsigned char* b = static_cast<const unsigned char*>(p);
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

std::string dec(unsigned long v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lu", v);
    return buf;
}
std::string hexNum(unsigned long v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lx", v);
    return buf;
}
std::string lenStr(CK_ULONG v)
{
    return v == CK_UNAVAILABLE_INFORMATION ? std::string("UNAVAIL") : dec(v);
}
std::string lenPtr(const CK_ULONG* p)
{
    return p ? lenStr(*p) : std::string("NULL");
}
const char* setOrNull(const void* p)
{
    return p ? "set" : "NULL";
}

bool isUlongAttr(CK_ATTRIBUTE_TYPE t)
{
    return t == CKA_CLASS || t == CKA_CERTIFICATE_TYPE || t == CKA_KEY_TYPE;
}

std::string templateStr(const CK_ATTRIBUTE* t, CK_ULONG n)
{
    if (!t)
        return n ? "NULL" : "[]";
    std::string s = "[";
    for (CK_ULONG i = 0; i < n; ++i) {
        if (i)
            s += ",";
        s += hexNum(t[i].type) + "=";
        if (!t[i].pValue)
            s += "NULL";
        else if (isUlongAttr(t[i].type) && t[i].ulValueLen == sizeof(CK_ULONG)) {
            CK_ULONG v;
            std::memcpy(&v, t[i].pValue, sizeof v);
            s += dec(v);
        } else
            s += hexOf(t[i].pValue, t[i].ulValueLen);
    }
    return s + "]";
}

void logLine(const std::string& line)
{
    State& st = S();
    if (!st.logEnabled)
        return;
    st.log += line;
    st.log += '\n';
    ++st.logLines;
}

std::string rvStr(CK_RV rv)
{
    return "rv=" + hexNum(rv);
}

// Called and returning with the state lock held, which the sleep gives up
// in one-millisecond slices.
void sleepIfDelayed(const char* name)
{
    const auto delayOf = [name] {
        const auto it = S().delays.find(name);
        return it == S().delays.end() ? 0UL : it->second;
    };
    const unsigned long milliseconds = delayOf();
    for (unsigned long slept = 0; slept < milliseconds && delayOf() == milliseconds; ++slept) {
        theMutex().unlock();
#ifdef _WIN32
        Sleep(1);
#else
        const timespec millisecond = {0, 1000000};
        nanosleep(&millisecond, nullptr);
#endif
        theMutex().lock();
    }
}

// Counts the call and applies fault injection. True: return *rv at once.
// Every fault for this function counts the call; the first one due fires.
bool injected(const char* name, CK_RV* rv)
{
    State& st = S();
    ++st.callCounts[name];
    sleepIfDelayed(name);
    size_t fire = st.faults.size();
    for (size_t i = 0; i < st.faults.size(); ++i) {
        Fault& f = st.faults[i];
        if (f.name != name)
            continue;
        ++f.seen;
        if (fire == st.faults.size() && (f.nth == 0 || f.seen == f.nth))
            fire = i;
    }
    if (fire == st.faults.size())
        return false;
    *rv = st.faults[fire].rv;
    if (st.faults[fire].nth != 0)
        st.faults.erase(st.faults.begin() + (std::ptrdiff_t)fire);
    return true;
}

Slot* findSlot(CK_SLOT_ID id)
{
    for (auto& s : S().slots)
        if (s.id == id)
            return &s;
    return nullptr;
}

// Look a session up: CKR_OK with *out, or the right error.
CK_RV getSession(CK_SESSION_HANDLE h, Session** out)
{
    State& st = S();
    if (!st.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    auto it = st.sessions.find(h);
    if (it != st.sessions.end()) {
        *out = &it->second;
        return CKR_OK;
    }
    if (st.lostSessions.count(h))
        return st.removedRv;
    return CKR_SESSION_HANDLE_INVALID;
}

bool visible(const Slot& slot, const Object& o)
{
    if (!S().requireLogin)
        return true;
    if (!o.boolAttr(CKA_PRIVATE))
        return true;
    return slot.login == (long)CKU_USER;
}

Object* findObjectOnSlot(Slot& slot, CK_OBJECT_HANDLE h)
{
    for (auto& o : slot.token.objects)
        if (o.handle == h)
            return visible(slot, o) ? &o : nullptr;
    return nullptr;
}

Object* findObjectAnywhere(CK_OBJECT_HANDLE h, Slot** where = nullptr)
{
    for (auto& s : S().slots)
        for (auto& o : s.token.objects)
            if (o.handle == h) {
                if (where)
                    *where = &s;
                return &o;
            }
    return nullptr;
}

CK_OBJECT_HANDLE allocObjectHandle()
{
    State& st = S();
    for (;;) {
        CK_OBJECT_HANDLE h = st.nextObject++;
        if (h != 0 && !findObjectAnywhere(h))
            return h;
    }
}

unsigned long sessionsOnSlot(CK_SLOT_ID id, bool rwOnly = false)
{
    unsigned long n = 0;
    for (auto& kv : S().sessions)
        if (kv.second.slot == id && (!rwOnly || (kv.second.flags & CKF_RW_SESSION)))
            ++n;
    return n;
}

void dropSessionsOfSlot(CK_SLOT_ID id, bool markLost)
{
    State& st = S();
    for (auto it = st.sessions.begin(); it != st.sessions.end();) {
        if (it->second.slot == id) {
            if (markLost)
                st.lostSessions[it->first] = id;
            it = st.sessions.erase(it);
        } else
            ++it;
    }
    if (Slot* s = findSlot(id))
        s->login = -1;
}

// ---- deterministic "crypto" -------------------------------------------------
uint64_t fnv1a(const void* p, size_t n, uint64_t h = 1469598103934665603ULL)
{
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) {
        h ^= b[i];
        h *= 1099511628211ULL;
    }
    return h;
}
uint64_t splitmix(uint64_t& s)
{
    uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}
uint64_t keySeed(const Object& key, CK_MECHANISM_TYPE mech)
{
    uint64_t h;
    if (const Bytes* id = key.find(CKA_ID))
        h = fnv1a(id->data(), id->size());
    else {
        uint64_t hv = key.handle;
        h = fnv1a(&hv, sizeof hv);
    }
    uint64_t m = mech;
    return fnv1a(&m, sizeof m, h);
}
void keystreamXor(uint64_t seed, const unsigned char* in, size_t n, unsigned char* out)
{
    uint64_t s = seed;
    uint64_t word = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i % 8 == 0)
            word = splitmix(s);
        out[i] = in[i] ^ (unsigned char)(word >> (8 * (i % 8)));
    }
}
void checksum(uint64_t seed, const unsigned char* data, size_t n, unsigned char* out, size_t outLen)
{
    uint64_t s = fnv1a(data, n, seed ^ 0xA5A5A5A5A5A5A5A5ULL) ^ (uint64_t)n;
    for (size_t i = 0; i < outLen; ++i) {
        if (i % 8 == 0) {
            uint64_t w = splitmix(s);
            for (size_t k = 0; k < 8 && i + k < outLen; ++k)
                out[i + k] = (unsigned char)(w >> (8 * k));
        }
    }
}
CK_ULONG digestLen(CK_MECHANISM_TYPE m)
{
    switch (m) {
    case CKM_MD2:
    case CKM_MD5:
        return 16;
    case CKM_SHA_1:
    case CKM_RIPEMD160:
        return 20;
    case CKM_SHA224:
        return 28;
    case CKM_SHA256:
        return 32;
    case CKM_SHA384:
        return 48;
    case CKM_SHA512:
        return 64;
    default:
        return 0;
    }
}

const CK_MECHANISM_TYPE kMechanisms[] = {
    CKM_RSA_PKCS,  CKM_SHA1_RSA_PKCS, CKM_ECDSA,  CKM_MD2,    CKM_MD5,    CKM_SHA_1,
    CKM_RIPEMD160, CKM_SHA224,        CKM_SHA256, CKM_SHA384, CKM_SHA512,
};
const CK_ULONG kMechanismCount = sizeof(kMechanisms) / sizeof(kMechanisms[0]);

// ---- fixture ------------------------------------------------------------------
struct A {
    CK_ATTRIBUTE_TYPE t;
    Bytes v;
};
A ul(CK_ATTRIBUTE_TYPE t, CK_ULONG v)
{
    Bytes b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return {t, b};
}
A bl(CK_ATTRIBUTE_TYPE t, bool v)
{
    return {t, Bytes(1, v ? 1 : 0)};
}
A str(CK_ATTRIBUTE_TYPE t, const char* s)
{
    return {t, Bytes(s, s + std::strlen(s))};
}

void addFixtureObject(Token& tok, CK_OBJECT_HANDLE h, std::initializer_list<A> attrs)
{
    Object o;
    o.handle = h;
    for (auto& a : attrs)
        o.set(a.t, a.v.data(), a.v.size());
    tok.objects.push_back(o);
}

void initToken(Token& t, const char* label, const char* model, const char* serial, CK_FLAGS flags)
{
    padCopy(t.label, 32, label);
    padCopy(t.manufacturer, 32, "ORV P11Mock");
    padCopy(t.model, 16, model);
    padCopy(t.serial, 16, serial);
    t.flags = flags;
    t.hasSoPin = t.hasUserPin = false;
    t.soPin.clear();
    t.userPin.clear();
    t.objects.clear();
}

void buildFixture()
{
    State& st = S();
    st.slots.clear();
    const CK_SLOT_ID ids[] = {2, 5, 9, 11};
    for (CK_SLOT_ID id : ids) {
        Slot s;
        s.id = id;
        st.slots.push_back(s);
    }
    // Slot 2: token A
    {
        Slot& s = st.slots[0];
        s.present = true;
        Token& t = s.token;
        initToken(t, "P11Mock Token A", "P11MOCK-A", "0000000000000002",
                  CKF_RNG | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED);
        t.hasSoPin = t.hasUserPin = true;
        t.soPin = "87654321";
        t.userPin = "1234";
        addFixtureObject(t, 0x101,
                         {ul(CKA_CLASS, CKO_CERTIFICATE), ul(CKA_CERTIFICATE_TYPE, CKC_X_509), bl(CKA_TOKEN, true),
                          str(CKA_ID, "ID-A"), str(CKA_LABEL, "Cert A"), str(CKA_VALUE, "P11MOCK-CERT-A-RSA")});
        addFixtureObject(t, 0x102,
                         {ul(CKA_CLASS, CKO_PUBLIC_KEY), ul(CKA_KEY_TYPE, CKK_RSA), str(CKA_ID, "ID-A"),
                          str(CKA_LABEL, "Key A"), bl(CKA_ENCRYPT, true), bl(CKA_VERIFY, true), bl(CKA_TOKEN, true)});
        addFixtureObject(t, 0x103,
                         {ul(CKA_CLASS, CKO_PRIVATE_KEY), ul(CKA_KEY_TYPE, CKK_RSA), str(CKA_ID, "ID-A"),
                          str(CKA_LABEL, "Key A"), bl(CKA_DECRYPT, true), bl(CKA_SIGN, true), bl(CKA_PRIVATE, true),
                          bl(CKA_TOKEN, true)});
        addFixtureObject(t, 0x104,
                         {ul(CKA_CLASS, CKO_CERTIFICATE), ul(CKA_CERTIFICATE_TYPE, CKC_X_509),
                          str(CKA_LABEL, "Cert NoID"), str(CKA_VALUE, "P11MOCK-CERT-NOID")});
        addFixtureObject(t, 0x105,
                         {ul(CKA_CLASS, CKO_CERTIFICATE), ul(CKA_CERTIFICATE_TYPE, CKC_X_509), str(CKA_ID, "ID-E"),
                          str(CKA_LABEL, "Cert E"), str(CKA_VALUE, "P11MOCK-CERT-E-EC")});
        addFixtureObject(
            t, 0x106,
            {ul(CKA_CLASS, CKO_PUBLIC_KEY), ul(CKA_KEY_TYPE, CKK_EC), str(CKA_ID, "ID-E"), bl(CKA_VERIFY, true)});
        addFixtureObject(t, 0x107,
                         {ul(CKA_CLASS, CKO_PRIVATE_KEY), ul(CKA_KEY_TYPE, CKK_EC), str(CKA_ID, "ID-E"),
                          bl(CKA_SIGN, true), bl(CKA_PRIVATE, true)});
        addFixtureObject(t, 0x108,
                         {ul(CKA_CLASS, CKO_DATA), str(CKA_LABEL, "P11Mock Data"), str(CKA_APPLICATION, "P11Mock"),
                          str(CKA_VALUE, "data-value")});
        addFixtureObject(t, 0x109,
                         {ul(CKA_CLASS, CKO_CERTIFICATE), ul(CKA_CERTIFICATE_TYPE, CKC_X_509), str(CKA_ID, "ID-B"),
                          str(CKA_LABEL, "Cert B"), str(CKA_VALUE, "P11MOCK-CERT-B-NOPUB")});
        addFixtureObject(t, 0x10A,
                         {ul(CKA_CLASS, CKO_PRIVATE_KEY), ul(CKA_KEY_TYPE, CKK_RSA), str(CKA_ID, "ID-B"),
                          bl(CKA_DECRYPT, true), bl(CKA_SIGN, true), bl(CKA_PRIVATE, true)});
    }
    // Slot 5: empty; a token inserted later is blank.
    initToken(st.slots[1].token, "", "P11MOCK-B", "0000000000000005", CKF_RNG);
    // Slot 9: token C
    {
        Slot& s = st.slots[2];
        s.present = true;
        Token& t = s.token;
        initToken(t, "P11Mock Token C", "P11MOCK-C", "0000000000000009",
                  CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED);
        t.hasSoPin = t.hasUserPin = true;
        t.soPin = "22222222";
        t.userPin = "1111";
        addFixtureObject(t, 0x201,
                         {ul(CKA_CLASS, CKO_CERTIFICATE), ul(CKA_CERTIFICATE_TYPE, CKC_X_509), str(CKA_ID, "ID-C"),
                          str(CKA_LABEL, "Cert C"), str(CKA_VALUE, "P11MOCK-CERT-C-RSA")});
        addFixtureObject(t, 0x202,
                         {ul(CKA_CLASS, CKO_PUBLIC_KEY), ul(CKA_KEY_TYPE, CKK_RSA), str(CKA_ID, "ID-C"),
                          bl(CKA_ENCRYPT, true), bl(CKA_VERIFY, true)});
        addFixtureObject(t, 0x203,
                         {ul(CKA_CLASS, CKO_PRIVATE_KEY), ul(CKA_KEY_TYPE, CKK_RSA), str(CKA_ID, "ID-C"),
                          bl(CKA_DECRYPT, true), bl(CKA_SIGN, true), bl(CKA_PRIVATE, true)});
    }
    // Slot 11: token D, uninitialised
    st.slots[3].present = true;
    initToken(st.slots[3].token, "", "P11MOCK-D", "0000000000000011", CKF_RNG);
}

void resetLocked()
{
    State& st = S();
    buildFixture();
    st.sessions.clear();
    st.lostSessions.clear();
    st.nextSession = 1;
    st.nextObject = 0x1000;
    st.events.clear();
    st.pollers.clear();
    st.log.clear();
    st.logLines = 0;
    st.logEnabled = true;
    st.faults.clear();
    st.callCounts.clear();
    st.delays.clear();
    st.extraLen = 0;
    st.allowReinit = false;
    st.removedRv = CKR_DEVICE_REMOVED;
    st.requireLogin = false;
    st.autoEvents = false;
    st.rng = 0x0123456789ABCDEFULL;
}

void finalizeLocked()
{
    State& st = S();
    st.initialized = false;
    st.pollers.clear();
    st.sessions.clear();
    st.lostSessions.clear();
    for (auto& s : st.slots)
        s.login = -1;
    ++st.generation;
    theCond().notifyAll();
}

struct Init {
    Init()
    {
        Guard g;
        resetLocked();
    }
} gInit;

// ---------------------------------------------------------------------------
// PKCS#11 functions
// ---------------------------------------------------------------------------
CK_RV m_Initialize(void* args)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_Initialize", &rv);
    if (!inj) {
        if (S().initialized)
            rv = CKR_CRYPTOKI_ALREADY_INITIALIZED;
        else if (args && static_cast<CK_C_INITIALIZE_ARGS*>(args)->pReserved)
            rv = CKR_ARGUMENTS_BAD;
        else
            S().initialized = true;
    }
    logLine(std::string("C_Initialize args=") + setOrNull(args) + " " + rvStr(rv));
    return rv;
}

CK_RV m_Finalize(void* reserved)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_Finalize", &rv);
    if (!inj) {
        if (!S().initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (reserved)
            rv = CKR_ARGUMENTS_BAD;
        else
            finalizeLocked();
    }
    logLine("C_Finalize " + rvStr(rv));
    return rv;
}

CK_RV m_GetInfo(CK_INFO* info)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_GetInfo", &rv);
    if (!inj) {
        if (!S().initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (!info)
            rv = CKR_ARGUMENTS_BAD;
        else {
            std::memset(info, 0, sizeof *info);
            info->cryptokiVersion.major = 2;
            info->cryptokiVersion.minor = 40;
            padCopy(reinterpret_cast<char*>(info->manufacturerID), 32, "ORV P11Mock");
            info->flags = 0;
            padCopy(reinterpret_cast<char*>(info->libraryDescription), 32, "ORV fault-injecting PKCS#11 mock");
            info->libraryVersion.major = 1;
            info->libraryVersion.minor = 0;
        }
    }
    logLine("C_GetInfo " + rvStr(rv));
    return rv;
}

CK_RV m_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID* list, CK_ULONG* count)
{
    Guard g;
    std::string cin = lenPtr(count);
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_GetSlotList", &rv);
    if (!inj) {
        if (!S().initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (!count)
            rv = CKR_ARGUMENTS_BAD;
        else {
            std::vector<CK_SLOT_ID> ids;
            for (auto& s : S().slots)
                if (!tokenPresent || s.present)
                    ids.push_back(s.id);
            if (!list)
                *count = ids.size();
            else if (*count < ids.size()) {
                *count = ids.size();
                rv = CKR_BUFFER_TOO_SMALL;
            } else {
                std::copy(ids.begin(), ids.end(), list);
                *count = ids.size();
            }
        }
    }
    logLine("C_GetSlotList tokenPresent=" + dec(tokenPresent) + " list=" + setOrNull(list) + " countIn=" + cin +
            " countOut=" + lenPtr(count) + " " + rvStr(rv));
    return rv;
}

CK_RV m_GetSlotInfo(CK_SLOT_ID slotId, CK_SLOT_INFO* info)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_GetSlotInfo", &rv);
    if (!inj) {
        Slot* s = findSlot(slotId);
        if (!S().initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (!info)
            rv = CKR_ARGUMENTS_BAD;
        else if (!s)
            rv = CKR_SLOT_ID_INVALID;
        else {
            std::memset(info, 0, sizeof *info);
            std::string d = "P11Mock Slot " + dec(slotId);
            padCopy(reinterpret_cast<char*>(info->slotDescription), 64, d.c_str());
            padCopy(reinterpret_cast<char*>(info->manufacturerID), 32, "ORV P11Mock");
            info->flags = CKF_REMOVABLE_DEVICE | CKF_HW_SLOT | (s->present ? CKF_TOKEN_PRESENT : 0);
            info->hardwareVersion.major = 1;
            info->firmwareVersion.major = 1;
        }
    }
    logLine("C_GetSlotInfo slot=" + dec(slotId) + " " + rvStr(rv));
    return rv;
}

CK_RV m_GetTokenInfo(CK_SLOT_ID slotId, CK_TOKEN_INFO* info)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_GetTokenInfo", &rv);
    if (!inj) {
        Slot* s = findSlot(slotId);
        if (!S().initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (!info)
            rv = CKR_ARGUMENTS_BAD;
        else if (!s)
            rv = CKR_SLOT_ID_INVALID;
        else if (!s->present)
            rv = CKR_TOKEN_NOT_PRESENT;
        else {
            const Token& t = s->token;
            std::memset(info, 0, sizeof *info);
            std::memcpy(info->label, t.label, 32);
            std::memcpy(info->manufacturerID, t.manufacturer, 32);
            std::memcpy(info->model, t.model, 16);
            std::memcpy(info->serialNumber, t.serial, 16);
            info->flags = t.flags;
            info->ulMaxSessionCount = CK_EFFECTIVELY_INFINITE;
            info->ulSessionCount = sessionsOnSlot(slotId);
            info->ulMaxRwSessionCount = CK_EFFECTIVELY_INFINITE;
            info->ulRwSessionCount = sessionsOnSlot(slotId, true);
            info->ulMaxPinLen = 32;
            info->ulMinPinLen = 4;
            info->ulTotalPublicMemory = CK_UNAVAILABLE_INFORMATION;
            info->ulFreePublicMemory = CK_UNAVAILABLE_INFORMATION;
            info->ulTotalPrivateMemory = CK_UNAVAILABLE_INFORMATION;
            info->ulFreePrivateMemory = CK_UNAVAILABLE_INFORMATION;
            info->hardwareVersion.major = 1;
            info->firmwareVersion.major = 1;
            std::memcpy(info->utcTime, "2024010100000000", 16);
        }
    }
    logLine("C_GetTokenInfo slot=" + dec(slotId) + " " + rvStr(rv));
    return rv;
}

unsigned long currentThread()
{
#ifdef _WIN32
    return GetCurrentThreadId();
#else
    return static_cast<unsigned long>(pthread_self());
#endif
}

// A non-blocking wait that finds nothing counts its thread as waiting until
// one of its polls finds an event.
void notePoll(State& st, bool found)
{
    const unsigned long self = currentThread();
    auto it = std::find(st.pollers.begin(), st.pollers.end(), self);
    if (found && it != st.pollers.end())
        st.pollers.erase(it);
    else if (!found && it == st.pollers.end())
        st.pollers.push_back(self);
}

CK_RV m_WaitForSlotEvent(CK_FLAGS flags, CK_SLOT_ID* slot, void* reserved)
{
    State& st = S();
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_WaitForSlotEvent", &rv);
    bool got = false;
    if (!inj) {
        if (!st.initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (!slot || reserved)
            rv = CKR_ARGUMENTS_BAD;
        else {
            unsigned long gen = st.generation;
            while (st.events.empty() && !(flags & CKF_DONT_BLOCK) && st.initialized && gen == st.generation) {
                ++st.waiting;
                theCond().wait(theMutex()); // releases the mutex while blocked
                --st.waiting;
            }
            if (!st.events.empty() && st.initialized && gen == st.generation) {
                *slot = st.events.front();
                st.events.pop_front();
                got = true;
            } else if (!st.initialized || gen != st.generation)
                rv = CKR_CRYPTOKI_NOT_INITIALIZED;
            else
                rv = CKR_NO_EVENT;
            if (flags & CKF_DONT_BLOCK)
                notePoll(st, got);
        }
    }
    logLine("C_WaitForSlotEvent flags=" + hexNum(flags) + " slot=" + (got ? dec(*slot) : std::string("-")) + " " +
            rvStr(rv));
    return rv;
}

CK_RV m_GetMechanismList(CK_SLOT_ID slotId, CK_MECHANISM_TYPE* list, CK_ULONG* count)
{
    Guard g;
    std::string cin = lenPtr(count);
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_GetMechanismList", &rv);
    if (!inj) {
        Slot* s = findSlot(slotId);
        if (!S().initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (!count)
            rv = CKR_ARGUMENTS_BAD;
        else if (!s)
            rv = CKR_SLOT_ID_INVALID;
        else if (!s->present)
            rv = CKR_TOKEN_NOT_PRESENT;
        else if (!list)
            *count = kMechanismCount;
        else if (*count < kMechanismCount) {
            *count = kMechanismCount;
            rv = CKR_BUFFER_TOO_SMALL;
        } else {
            std::copy(kMechanisms, kMechanisms + kMechanismCount, list);
            *count = kMechanismCount;
        }
    }
    logLine("C_GetMechanismList slot=" + dec(slotId) + " list=" + setOrNull(list) + " countIn=" + cin +
            " countOut=" + lenPtr(count) + " " + rvStr(rv));
    return rv;
}

CK_RV m_GetMechanismInfo(CK_SLOT_ID slotId, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO* info)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_GetMechanismInfo", &rv);
    if (!inj) {
        Slot* s = findSlot(slotId);
        if (!S().initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (!info)
            rv = CKR_ARGUMENTS_BAD;
        else if (!s)
            rv = CKR_SLOT_ID_INVALID;
        else if (!s->present)
            rv = CKR_TOKEN_NOT_PRESENT;
        else if (std::find(kMechanisms, kMechanisms + kMechanismCount, type) == kMechanisms + kMechanismCount)
            rv = CKR_MECHANISM_INVALID;
        else {
            std::memset(info, 0, sizeof *info);
            info->ulMinKeySize = 512;
            info->ulMaxKeySize = 4096;
            info->flags = CKF_HW | (digestLen(type) ? CKF_DIGEST : (CKF_ENCRYPT | CKF_DECRYPT | CKF_SIGN | CKF_VERIFY));
        }
    }
    logLine("C_GetMechanismInfo slot=" + dec(slotId) + " mechanism=" + hexNum(type) + " " + rvStr(rv));
    return rv;
}

CK_RV m_InitToken(CK_SLOT_ID slotId, CK_UTF8CHAR* pin, CK_ULONG pinLen, CK_UTF8CHAR* label)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_InitToken", &rv);
    if (!inj) {
        Slot* s = findSlot(slotId);
        if (!S().initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (!s)
            rv = CKR_SLOT_ID_INVALID;
        else if (!s->present)
            rv = CKR_TOKEN_NOT_PRESENT;
        else if (!label || (!pin && pinLen))
            rv = CKR_ARGUMENTS_BAD;
        else if (sessionsOnSlot(slotId))
            rv = CKR_SESSION_EXISTS;
        else {
            Token& t = s->token;
            std::string p(reinterpret_cast<const char*>(pin ? pin : (CK_UTF8CHAR*)""), pinLen);
            if ((t.flags & CKF_TOKEN_INITIALIZED) && t.hasSoPin && p != t.soPin)
                rv = CKR_PIN_INCORRECT;
            else {
                std::memcpy(t.label, label, 32);
                t.soPin = p;
                t.hasSoPin = true;
                t.userPin.clear();
                t.hasUserPin = false;
                t.objects.clear();
                t.flags = (t.flags | CKF_TOKEN_INITIALIZED) & ~(CK_FLAGS)CKF_USER_PIN_INITIALIZED;
                s->login = -1;
            }
        }
    }
    logLine("C_InitToken slot=" + dec(slotId) + " soPin=" + hexOf(pin, pinLen) + " soPinLen=" + dec(pinLen) +
            " label=" + hexOf(label, 32) + " " + rvStr(rv));
    return rv;
}

CK_RV m_InitPIN(CK_SESSION_HANDLE h, CK_UTF8CHAR* pin, CK_ULONG pinLen)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_InitPIN", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            Slot* s = findSlot(ss->slot);
            if (s->login != (long)CKU_SO)
                rv = CKR_USER_NOT_LOGGED_IN;
            else if (!(ss->flags & CKF_RW_SESSION))
                rv = CKR_SESSION_READ_ONLY;
            else if (!pin && pinLen)
                rv = CKR_ARGUMENTS_BAD;
            else {
                s->token.userPin.assign(reinterpret_cast<const char*>(pin ? pin : (CK_UTF8CHAR*)""), pinLen);
                s->token.hasUserPin = true;
                s->token.flags |= CKF_USER_PIN_INITIALIZED;
            }
        }
    }
    logLine("C_InitPIN session=" + dec(h) + " pin=" + hexOf(pin, pinLen) + " pinLen=" + dec(pinLen) + " " + rvStr(rv));
    return rv;
}

CK_RV m_SetPIN(CK_SESSION_HANDLE h, CK_UTF8CHAR* oldPin, CK_ULONG oldLen, CK_UTF8CHAR* newPin, CK_ULONG newLen)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_SetPIN", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            Slot* s = findSlot(ss->slot);
            Token& t = s->token;
            if (!(ss->flags & CKF_RW_SESSION))
                rv = CKR_SESSION_READ_ONLY;
            else if ((!oldPin && oldLen) || (!newPin && newLen))
                rv = CKR_ARGUMENTS_BAD;
            else {
                std::string o(reinterpret_cast<const char*>(oldPin ? oldPin : (CK_UTF8CHAR*)""), oldLen);
                std::string n(reinterpret_cast<const char*>(newPin ? newPin : (CK_UTF8CHAR*)""), newLen);
                if (s->login == (long)CKU_SO) {
                    if (o != t.soPin)
                        rv = CKR_PIN_INCORRECT;
                    else
                        t.soPin = n;
                } else {
                    if (!t.hasUserPin)
                        rv = CKR_USER_PIN_NOT_INITIALIZED;
                    else if (o != t.userPin)
                        rv = CKR_PIN_INCORRECT;
                    else
                        t.userPin = n;
                }
            }
        }
    }
    logLine("C_SetPIN session=" + dec(h) + " oldPin=" + hexOf(oldPin, oldLen) + " oldPinLen=" + dec(oldLen) +
            " newPin=" + hexOf(newPin, newLen) + " newPinLen=" + dec(newLen) + " " + rvStr(rv));
    return rv;
}

CK_RV m_OpenSession(CK_SLOT_ID slotId, CK_FLAGS flags, void* app, CK_NOTIFY notify, CK_SESSION_HANDLE* out)
{
    State& st = S();
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_OpenSession", &rv);
    bool opened = false;
    if (!inj) {
        Slot* s = findSlot(slotId);
        if (!st.initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (!out)
            rv = CKR_ARGUMENTS_BAD;
        else if (!s)
            rv = CKR_SLOT_ID_INVALID;
        else if (!s->present)
            rv = CKR_TOKEN_NOT_PRESENT;
        else if (!(flags & CKF_SERIAL_SESSION))
            rv = CKR_SESSION_PARALLEL_NOT_SUPPORTED;
        else if (s->login == (long)CKU_SO && !(flags & CKF_RW_SESSION))
            rv = CKR_SESSION_READ_WRITE_SO_EXISTS;
        else {
            CK_SESSION_HANDLE h;
            do {
                h = st.nextSession++;
            } while (h == 0 || st.sessions.count(h) || st.lostSessions.count(h));
            Session ss;
            ss.handle = h;
            ss.slot = slotId;
            ss.flags = flags;
            st.sessions[h] = ss;
            *out = h;
            opened = true;
        }
    }
    logLine("C_OpenSession slot=" + dec(slotId) + " flags=" + hexNum(flags) + " app=" + setOrNull(app) +
            " notify=" + setOrNull(reinterpret_cast<void*>(notify)) +
            " session=" + (opened ? dec(*out) : std::string("-")) + " " + rvStr(rv));
    return rv;
}

CK_RV m_CloseSession(CK_SESSION_HANDLE h)
{
    State& st = S();
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_CloseSession", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            CK_SLOT_ID slot = ss->slot;
            st.sessions.erase(h);
            if (!sessionsOnSlot(slot))
                findSlot(slot)->login = -1;
        }
    }
    logLine("C_CloseSession session=" + dec(h) + " " + rvStr(rv));
    return rv;
}

CK_RV m_CloseAllSessions(CK_SLOT_ID slotId)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_CloseAllSessions", &rv);
    if (!inj) {
        Slot* s = findSlot(slotId);
        if (!S().initialized)
            rv = CKR_CRYPTOKI_NOT_INITIALIZED;
        else if (!s)
            rv = CKR_SLOT_ID_INVALID;
        else if (!s->present)
            rv = CKR_TOKEN_NOT_PRESENT;
        else
            dropSessionsOfSlot(slotId, false);
    }
    logLine("C_CloseAllSessions slot=" + dec(slotId) + " " + rvStr(rv));
    return rv;
}

CK_RV m_GetSessionInfo(CK_SESSION_HANDLE h, CK_SESSION_INFO* info)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_GetSessionInfo", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK && !info)
            rv = CKR_ARGUMENTS_BAD;
        if (rv == CKR_OK) {
            Slot* s = findSlot(ss->slot);
            bool rw = (ss->flags & CKF_RW_SESSION) != 0;
            std::memset(info, 0, sizeof *info);
            info->slotID = ss->slot;
            info->flags = ss->flags;
            if (s->login == (long)CKU_SO)
                info->state = CKS_RW_SO_FUNCTIONS;
            else if (s->login == (long)CKU_USER)
                info->state = rw ? CKS_RW_USER_FUNCTIONS : CKS_RO_USER_FUNCTIONS;
            else
                info->state = rw ? CKS_RW_PUBLIC_SESSION : CKS_RO_PUBLIC_SESSION;
        }
    }
    logLine("C_GetSessionInfo session=" + dec(h) + " " + rvStr(rv));
    return rv;
}

CK_RV m_Login(CK_SESSION_HANDLE h, CK_USER_TYPE userType, CK_UTF8CHAR* pin, CK_ULONG pinLen)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_Login", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            Slot* s = findSlot(ss->slot);
            Token& t = s->token;
            std::string p(reinterpret_cast<const char*>(pin ? pin : (CK_UTF8CHAR*)""), pin ? pinLen : 0);
            if (userType != CKU_SO && userType != CKU_USER && userType != CKU_CONTEXT_SPECIFIC)
                rv = CKR_USER_TYPE_INVALID;
            else if (!pin && pinLen)
                rv = CKR_ARGUMENTS_BAD;
            else if (userType == CKU_CONTEXT_SPECIFIC) {
                if (s->login != (long)CKU_USER)
                    rv = CKR_USER_NOT_LOGGED_IN;
                else if (p != t.userPin)
                    rv = CKR_PIN_INCORRECT;
            } else if (s->login == (long)userType)
                rv = CKR_USER_ALREADY_LOGGED_IN;
            else if (s->login != -1)
                rv = CKR_USER_ANOTHER_ALREADY_LOGGED_IN;
            else if (userType == CKU_USER && !t.hasUserPin)
                rv = CKR_USER_PIN_NOT_INITIALIZED;
            else if (userType == CKU_SO && !t.hasSoPin)
                rv = CKR_USER_PIN_NOT_INITIALIZED;
            else if (p != (userType == CKU_SO ? t.soPin : t.userPin))
                rv = CKR_PIN_INCORRECT;
            else if (userType == CKU_SO && sessionsOnSlot(ss->slot) != sessionsOnSlot(ss->slot, true))
                rv = CKR_SESSION_READ_ONLY_EXISTS;
            else
                s->login = (long)userType;
        }
    }
    logLine("C_Login session=" + dec(h) + " userType=" + dec(userType) + " pin=" + hexOf(pin, pinLen) +
            " pinLen=" + dec(pinLen) + " " + rvStr(rv));
    return rv;
}

CK_RV m_Logout(CK_SESSION_HANDLE h)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_Logout", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            Slot* s = findSlot(ss->slot);
            if (s->login == -1)
                rv = CKR_USER_NOT_LOGGED_IN;
            else
                s->login = -1;
        }
    }
    logLine("C_Logout session=" + dec(h) + " " + rvStr(rv));
    return rv;
}

CK_RV m_CreateObject(CK_SESSION_HANDLE h, CK_ATTRIBUTE* tmpl, CK_ULONG count, CK_OBJECT_HANDLE* out)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_CreateObject", &rv);
    bool created = false;
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            if ((!tmpl && count) || !out)
                rv = CKR_ARGUMENTS_BAD;
            else if (!(ss->flags & CKF_RW_SESSION))
                rv = CKR_SESSION_READ_ONLY;
            else {
                Object o;
                o.handle = allocObjectHandle();
                for (CK_ULONG i = 0; i < count; ++i)
                    o.set(tmpl[i].type, tmpl[i].pValue, tmpl[i].ulValueLen);
                findSlot(ss->slot)->token.objects.push_back(o);
                *out = o.handle;
                created = true;
            }
        }
    }
    logLine("C_CreateObject session=" + dec(h) + " template=" + templateStr(tmpl, count) +
            " object=" + (created ? dec(*out) : std::string("-")) + " " + rvStr(rv));
    return rv;
}

CK_RV m_DestroyObject(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_DestroyObject", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            Slot* s = findSlot(ss->slot);
            Object* o = findObjectOnSlot(*s, obj);
            if (!o)
                rv = CKR_OBJECT_HANDLE_INVALID;
            else if (!(ss->flags & CKF_RW_SESSION) && o->boolAttr(CKA_TOKEN))
                rv = CKR_SESSION_READ_ONLY;
            else {
                auto& v = s->token.objects;
                v.erase(std::remove_if(v.begin(), v.end(), [&](const Object& x) { return x.handle == obj; }), v.end());
            }
        }
    }
    logLine("C_DestroyObject session=" + dec(h) + " object=" + dec(obj) + " " + rvStr(rv));
    return rv;
}

CK_RV m_GetAttributeValue(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj, CK_ATTRIBUTE* tmpl, CK_ULONG count)
{
    Guard g;
    std::vector<CK_ULONG> lensIn;
    if (tmpl)
        for (CK_ULONG i = 0; i < count; ++i)
            lensIn.push_back(tmpl[i].ulValueLen);
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_GetAttributeValue", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK && !tmpl && count)
            rv = CKR_ARGUMENTS_BAD;
        Object* o = nullptr;
        if (rv == CKR_OK) {
            o = findObjectOnSlot(*findSlot(ss->slot), obj);
            if (!o)
                rv = CKR_OBJECT_HANDLE_INVALID;
        }
        if (rv == CKR_OK) {
            for (CK_ULONG i = 0; i < count; ++i) {
                const Bytes* v = o->find(tmpl[i].type);
                if (!v) {
                    tmpl[i].ulValueLen = CK_UNAVAILABLE_INFORMATION;
                    rv = CKR_ATTRIBUTE_TYPE_INVALID;
                } else if (!tmpl[i].pValue)
                    tmpl[i].ulValueLen = v->size();
                else if (tmpl[i].ulValueLen < v->size()) {
                    tmpl[i].ulValueLen = CK_UNAVAILABLE_INFORMATION;
                    if (rv == CKR_OK)
                        rv = CKR_BUFFER_TOO_SMALL;
                } else {
                    if (!v->empty())
                        std::memcpy(tmpl[i].pValue, v->data(), v->size());
                    tmpl[i].ulValueLen = v->size();
                }
            }
        }
    }
    std::string a = "[";
    if (tmpl) {
        for (CK_ULONG i = 0; i < count; ++i) {
            if (i)
                a += ",";
            a += hexNum(tmpl[i].type) + ":" + setOrNull(tmpl[i].pValue) + ":" + lenStr(lensIn[i]) + ":" +
                 lenStr(tmpl[i].ulValueLen);
        }
        a += "]";
    } else
        a = "NULL";
    logLine("C_GetAttributeValue session=" + dec(h) + " object=" + dec(obj) + " attrs=" + a + " " + rvStr(rv));
    return rv;
}

CK_RV m_SetAttributeValue(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj, CK_ATTRIBUTE* tmpl, CK_ULONG count)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_SetAttributeValue", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK && !tmpl && count)
            rv = CKR_ARGUMENTS_BAD;
        Object* o = nullptr;
        if (rv == CKR_OK) {
            o = findObjectOnSlot(*findSlot(ss->slot), obj);
            if (!o)
                rv = CKR_OBJECT_HANDLE_INVALID;
            else if (!(ss->flags & CKF_RW_SESSION) && o->boolAttr(CKA_TOKEN))
                rv = CKR_SESSION_READ_ONLY;
        }
        if (rv == CKR_OK)
            for (CK_ULONG i = 0; i < count; ++i)
                o->set(tmpl[i].type, tmpl[i].pValue, tmpl[i].ulValueLen);
    }
    logLine("C_SetAttributeValue session=" + dec(h) + " object=" + dec(obj) + " template=" + templateStr(tmpl, count) +
            " " + rvStr(rv));
    return rv;
}

CK_RV m_FindObjectsInit(CK_SESSION_HANDLE h, CK_ATTRIBUTE* tmpl, CK_ULONG count)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_FindObjectsInit", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            if (!tmpl && count)
                rv = CKR_ARGUMENTS_BAD;
            else if (ss->findActive)
                rv = CKR_OPERATION_ACTIVE;
            else {
                Slot* s = findSlot(ss->slot);
                ss->found.clear();
                ss->foundPos = 0;
                for (auto& o : s->token.objects) {
                    if (!visible(*s, o))
                        continue;
                    bool match = true;
                    for (CK_ULONG i = 0; i < count && match; ++i) {
                        const Bytes* v = o.find(tmpl[i].type);
                        if (!v || v->size() != tmpl[i].ulValueLen)
                            match = false;
                        else if (!v->empty() && (!tmpl[i].pValue || std::memcmp(v->data(), tmpl[i].pValue, v->size())))
                            match = false;
                    }
                    if (match)
                        ss->found.push_back(o.handle);
                }
                ss->findActive = true;
            }
        }
    }
    logLine("C_FindObjectsInit session=" + dec(h) + " template=" + templateStr(tmpl, count) + " " + rvStr(rv));
    return rv;
}

CK_RV m_FindObjects(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE* out, CK_ULONG max, CK_ULONG* found)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_FindObjects", &rv);
    bool ok = false;
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            if (!found || (!out && max))
                rv = CKR_ARGUMENTS_BAD;
            else if (!ss->findActive)
                rv = CKR_OPERATION_NOT_INITIALIZED;
            else {
                CK_ULONG n = 0;
                while (n < max && ss->foundPos < ss->found.size())
                    out[n++] = ss->found[ss->foundPos++];
                *found = n;
                ok = true;
            }
        }
    }
    std::string objs;
    if (ok)
        for (CK_ULONG i = 0; i < *found; ++i)
            objs += (i ? "," : "") + dec(out[i]);
    logLine("C_FindObjects session=" + dec(h) + " max=" + dec(max) + " found=" + (ok ? dec(*found) : "-") +
            " objects=" + (ok ? objs : "-") + " " + rvStr(rv));
    return rv;
}

CK_RV m_FindObjectsFinal(CK_SESSION_HANDLE h)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_FindObjectsFinal", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            if (!ss->findActive)
                rv = CKR_OPERATION_NOT_INITIALIZED;
            else {
                ss->findActive = false;
                ss->found.clear();
                ss->foundPos = 0;
            }
        }
    }
    logLine("C_FindObjectsFinal session=" + dec(h) + " " + rvStr(rv));
    return rv;
}

// ---- single-part crypto ----------------------------------------------------
enum OpKind { ENC, DEC, SIGN, VERIFY };

Op& opOf(Session& s, OpKind k)
{
    switch (k) {
    case ENC:
        return s.enc;
    case DEC:
        return s.dec;
    case SIGN:
        return s.sign;
    default:
        return s.verify;
    }
}

CK_RV cryptoInit(const char* name, OpKind kind, CK_SESSION_HANDLE h, CK_MECHANISM* mech, CK_OBJECT_HANDLE key)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected(name, &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            Op& op = opOf(*ss, kind);
            Object* o = findObjectOnSlot(*findSlot(ss->slot), key);
            CK_ULONG cls = 0;
            if (!mech)
                rv = CKR_ARGUMENTS_BAD;
            else if (op.active && !S().allowReinit)
                rv = CKR_OPERATION_ACTIVE;
            else if (!o || !o->ulongAttr(CKA_CLASS, cls) ||
                     (cls != CKO_PUBLIC_KEY && cls != CKO_PRIVATE_KEY && cls != CKO_SECRET_KEY))
                rv = CKR_KEY_HANDLE_INVALID;
            else {
                op.active = true;
                op.mech = mech->mechanism;
                op.key = key;
                op.data.clear();
            }
        }
    }
    logLine(std::string(name) + " session=" + dec(h) + " mechanism=" + (mech ? hexNum(mech->mechanism) : "NULL") +
            " key=" + dec(key) + " " + rvStr(rv));
    return rv;
}

// Encrypt, Decrypt, Sign.
CK_RV cryptoRun(const char* name, OpKind kind, CK_SESSION_HANDLE h, CK_BYTE* data, CK_ULONG dataLen, CK_BYTE* out,
                CK_ULONG* outLen)
{
    Guard g;
    std::string lin = lenPtr(outLen);
    CK_RV rv = CKR_OK;
    const bool inj = injected(name, &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            Op& op = opOf(*ss, kind);
            Object* key = op.active ? findObjectOnSlot(*findSlot(ss->slot), op.key) : nullptr;
            if (!op.active)
                rv = CKR_OPERATION_NOT_INITIALIZED;
            else if (!outLen || (!data && dataLen)) {
                rv = CKR_ARGUMENTS_BAD;
                op.active = false;
            } else if (!key) {
                rv = CKR_KEY_HANDLE_INVALID;
                op.active = false;
            } else {
                CK_ULONG trueLen = kind == SIGN ? P11MOCK_SIGNATURE_LEN : dataLen;
                CK_ULONG reported = trueLen + S().extraLen;
                if (!out)
                    *outLen = reported;
                else if (*outLen < trueLen) {
                    *outLen = reported;
                    rv = CKR_BUFFER_TOO_SMALL;
                } else {
                    uint64_t seed = keySeed(*key, op.mech);
                    if (kind == SIGN)
                        checksum(seed, data, dataLen, out, trueLen);
                    else
                        keystreamXor(seed, data, dataLen, out);
                    *outLen = trueLen;
                    op.active = false;
                }
            }
        }
    }
    logLine(std::string(name) + " session=" + dec(h) + " dataLen=" + dec(dataLen) + " out=" + setOrNull(out) +
            " lenIn=" + lin + " lenOut=" + lenPtr(outLen) + " " + rvStr(rv));
    return rv;
}

CK_RV m_EncryptInit(CK_SESSION_HANDLE h, CK_MECHANISM* m, CK_OBJECT_HANDLE k)
{
    return cryptoInit("C_EncryptInit", ENC, h, m, k);
}
CK_RV m_DecryptInit(CK_SESSION_HANDLE h, CK_MECHANISM* m, CK_OBJECT_HANDLE k)
{
    return cryptoInit("C_DecryptInit", DEC, h, m, k);
}
CK_RV m_SignInit(CK_SESSION_HANDLE h, CK_MECHANISM* m, CK_OBJECT_HANDLE k)
{
    return cryptoInit("C_SignInit", SIGN, h, m, k);
}
CK_RV m_VerifyInit(CK_SESSION_HANDLE h, CK_MECHANISM* m, CK_OBJECT_HANDLE k)
{
    return cryptoInit("C_VerifyInit", VERIFY, h, m, k);
}
CK_RV m_Encrypt(CK_SESSION_HANDLE h, CK_BYTE* d, CK_ULONG n, CK_BYTE* o, CK_ULONG* ol)
{
    return cryptoRun("C_Encrypt", ENC, h, d, n, o, ol);
}
CK_RV m_Decrypt(CK_SESSION_HANDLE h, CK_BYTE* d, CK_ULONG n, CK_BYTE* o, CK_ULONG* ol)
{
    return cryptoRun("C_Decrypt", DEC, h, d, n, o, ol);
}
CK_RV m_Sign(CK_SESSION_HANDLE h, CK_BYTE* d, CK_ULONG n, CK_BYTE* o, CK_ULONG* ol)
{
    return cryptoRun("C_Sign", SIGN, h, d, n, o, ol);
}

CK_RV m_Verify(CK_SESSION_HANDLE h, CK_BYTE* data, CK_ULONG dataLen, CK_BYTE* sig, CK_ULONG sigLen)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_Verify", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            Op& op = ss->verify;
            Object* key = op.active ? findObjectOnSlot(*findSlot(ss->slot), op.key) : nullptr;
            if (!op.active)
                rv = CKR_OPERATION_NOT_INITIALIZED;
            else {
                op.active = false;
                if ((!data && dataLen) || (!sig && sigLen))
                    rv = CKR_ARGUMENTS_BAD;
                else if (!key)
                    rv = CKR_KEY_HANDLE_INVALID;
                else if (sigLen != P11MOCK_SIGNATURE_LEN)
                    rv = CKR_SIGNATURE_LEN_RANGE;
                else {
                    unsigned char expect[P11MOCK_SIGNATURE_LEN];
                    checksum(keySeed(*key, op.mech), data, dataLen, expect, sizeof expect);
                    if (std::memcmp(expect, sig, sizeof expect) != 0)
                        rv = CKR_SIGNATURE_INVALID;
                }
            }
        }
    }
    logLine("C_Verify session=" + dec(h) + " dataLen=" + dec(dataLen) + " sigLen=" + dec(sigLen) + " " + rvStr(rv));
    return rv;
}

// ---- digest ------------------------------------------------------------------
void digestOut(const Op& op, unsigned char* out, CK_ULONG len)
{
    uint64_t m = op.mech;
    checksum(fnv1a(&m, sizeof m), op.data.data(), op.data.size(), out, len);
}

CK_RV m_DigestInit(CK_SESSION_HANDLE h, CK_MECHANISM* mech)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_DigestInit", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            if (!mech)
                rv = CKR_ARGUMENTS_BAD;
            else if (ss->digest.active && !S().allowReinit)
                rv = CKR_OPERATION_ACTIVE;
            else if (!digestLen(mech->mechanism))
                rv = CKR_MECHANISM_INVALID;
            else {
                ss->digest.active = true;
                ss->digest.mech = mech->mechanism;
                ss->digest.data.clear();
            }
        }
    }
    logLine("C_DigestInit session=" + dec(h) + " mechanism=" + (mech ? hexNum(mech->mechanism) : "NULL") + " " +
            rvStr(rv));
    return rv;
}

CK_RV m_DigestUpdate(CK_SESSION_HANDLE h, CK_BYTE* part, CK_ULONG partLen)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_DigestUpdate", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            if (!ss->digest.active)
                rv = CKR_OPERATION_NOT_INITIALIZED;
            else if (!part && partLen) {
                rv = CKR_ARGUMENTS_BAD;
                ss->digest.active = false;
            } else if (partLen)
                ss->digest.data.insert(ss->digest.data.end(), part, part + partLen);
        }
    }
    logLine("C_DigestUpdate session=" + dec(h) + " partLen=" + dec(partLen) + " " + rvStr(rv));
    return rv;
}

CK_RV digestFinish(Session& ss, CK_BYTE* out, CK_ULONG* outLen)
{
    if (!outLen) {
        ss.digest.active = false;
        return CKR_ARGUMENTS_BAD;
    }
    CK_ULONG n = digestLen(ss.digest.mech);
    if (!out) {
        *outLen = n;
        return CKR_OK;
    }
    if (*outLen < n) {
        *outLen = n;
        return CKR_BUFFER_TOO_SMALL;
    }
    digestOut(ss.digest, out, n);
    *outLen = n;
    ss.digest.active = false;
    ss.digest.data.clear();
    return CKR_OK;
}

CK_RV m_DigestFinal(CK_SESSION_HANDLE h, CK_BYTE* out, CK_ULONG* outLen)
{
    Guard g;
    std::string lin = lenPtr(outLen);
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_DigestFinal", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            if (!ss->digest.active)
                rv = CKR_OPERATION_NOT_INITIALIZED;
            else
                rv = digestFinish(*ss, out, outLen);
        }
    }
    logLine("C_DigestFinal session=" + dec(h) + " out=" + setOrNull(out) + " lenIn=" + lin +
            " lenOut=" + lenPtr(outLen) + " " + rvStr(rv));
    return rv;
}

CK_RV m_Digest(CK_SESSION_HANDLE h, CK_BYTE* data, CK_ULONG dataLen, CK_BYTE* out, CK_ULONG* outLen)
{
    Guard g;
    std::string lin = lenPtr(outLen);
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_Digest", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            if (!ss->digest.active)
                rv = CKR_OPERATION_NOT_INITIALIZED;
            else if (!data && dataLen) {
                rv = CKR_ARGUMENTS_BAD;
                ss->digest.active = false;
            } else {
                Bytes saved = ss->digest.data;
                if (dataLen)
                    ss->digest.data.insert(ss->digest.data.end(), data, data + dataLen);
                rv = digestFinish(*ss, out, outLen);
                if (ss->digest.active)
                    ss->digest.data = saved; // query only: keep state unchanged
            }
        }
    }
    logLine("C_Digest session=" + dec(h) + " dataLen=" + dec(dataLen) + " out=" + setOrNull(out) + " lenIn=" + lin +
            " lenOut=" + lenPtr(outLen) + " " + rvStr(rv));
    return rv;
}

// ---- random -------------------------------------------------------------------
CK_RV m_SeedRandom(CK_SESSION_HANDLE h, CK_BYTE* seed, CK_ULONG seedLen)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_SeedRandom", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            if (!seed && seedLen)
                rv = CKR_ARGUMENTS_BAD;
            else if (!(findSlot(ss->slot)->token.flags & CKF_RNG))
                rv = CKR_RANDOM_SEED_NOT_SUPPORTED;
            else
                S().rng = fnv1a(seed, seedLen, S().rng);
        }
    }
    logLine("C_SeedRandom session=" + dec(h) + " seed=" + hexOf(seed, seedLen) + " seedLen=" + dec(seedLen) + " " +
            rvStr(rv));
    return rv;
}

CK_RV m_GenerateRandom(CK_SESSION_HANDLE h, CK_BYTE* out, CK_ULONG len)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_GenerateRandom", &rv);
    if (!inj) {
        Session* ss = nullptr;
        rv = getSession(h, &ss);
        if (rv == CKR_OK) {
            if (!out && len)
                rv = CKR_ARGUMENTS_BAD;
            else if (!(findSlot(ss->slot)->token.flags & CKF_RNG))
                rv = CKR_RANDOM_NO_RNG;
            else
                for (CK_ULONG i = 0; i < len; ++i)
                    out[i] = (unsigned char)splitmix(S().rng);
        }
    }
    logLine("C_GenerateRandom session=" + dec(h) + " out=" + setOrNull(out) + " len=" + dec(len) + " " + rvStr(rv));
    return rv;
}

// ---- unsupported functions: one stub per function-pointer type ----------------
CK_RV unsupported(size_t index)
{
    Guard g;
    const char* name = kFunctionNames[index];
    CK_RV rv = CKR_OK;
    const bool inj = injected(name, &rv);
    if (!inj)
        rv = S().initialized ? CKR_FUNCTION_NOT_SUPPORTED : CKR_CRYPTOKI_NOT_INITIALIZED;
    logLine(std::string(name) + " " + rvStr(rv));
    return rv;
}

template <typename F>
struct StubOf;
template <typename... Args>
struct StubOf<CK_RV (*)(Args...)> {
    template <size_t Index>
    static CK_RV fn(Args...)
    {
        return unsupported(Index);
    }
};
#define STUB(type, index) StubOf<CK_C_##type>::fn<index>

// ---- single-threaded mode: no two threads inside at once, or it is counted ----
std::atomic<bool> gSingleThreaded{false};
std::atomic<unsigned long> gInside{0};
std::atomic<unsigned long> gOverlaps{0};

// A short stay inside widens the window in which a second thread would be seen.
void lingerInside()
{
    for (int i = 0; i < 16; ++i) {
#ifdef _WIN32
        SwitchToThread();
#else
        sched_yield();
#endif
    }
}

template <auto F>
struct Exclusive;
template <typename... Args, CK_RV (*F)(Args...)>
struct Exclusive<F> {
    static CK_RV fn(Args... args)
    {
        if (!gSingleThreaded.load())
            return F(args...);
        if (gInside.fetch_add(1) != 0) {
            gInside.fetch_sub(1);
            gOverlaps.fetch_add(1);
            return CKR_GENERAL_ERROR;
        }
        lingerInside();
        const CK_RV rv = F(args...);
        gInside.fetch_sub(1);
        return rv;
    }
};
#define ALONE(f) Exclusive<f>::fn

CK_RV m_GetFunctionList(CK_FUNCTION_LIST** out);

CK_FUNCTION_LIST gFunctionList = {
    {2, 40},
    ALONE(m_Initialize),
    ALONE(m_Finalize),
    ALONE(m_GetInfo),
    m_GetFunctionList,
    ALONE(m_GetSlotList),
    ALONE(m_GetSlotInfo),
    ALONE(m_GetTokenInfo),
    ALONE(m_GetMechanismList),
    ALONE(m_GetMechanismInfo),
    ALONE(m_InitToken),
    ALONE(m_InitPIN),
    ALONE(m_SetPIN),
    ALONE(m_OpenSession),
    ALONE(m_CloseSession),
    ALONE(m_CloseAllSessions),
    ALONE(m_GetSessionInfo),
    STUB(GetOperationState, 16),
    STUB(SetOperationState, 17),
    ALONE(m_Login),
    ALONE(m_Logout),
    ALONE(m_CreateObject),
    STUB(CopyObject, 21),
    ALONE(m_DestroyObject),
    STUB(GetObjectSize, 23),
    ALONE(m_GetAttributeValue),
    ALONE(m_SetAttributeValue),
    ALONE(m_FindObjectsInit),
    ALONE(m_FindObjects),
    ALONE(m_FindObjectsFinal),
    ALONE(m_EncryptInit),
    ALONE(m_Encrypt),
    STUB(EncryptUpdate, 31),
    STUB(EncryptFinal, 32),
    ALONE(m_DecryptInit),
    ALONE(m_Decrypt),
    STUB(DecryptUpdate, 35),
    STUB(DecryptFinal, 36),
    ALONE(m_DigestInit),
    ALONE(m_Digest),
    ALONE(m_DigestUpdate),
    STUB(DigestKey, 40),
    ALONE(m_DigestFinal),
    ALONE(m_SignInit),
    ALONE(m_Sign),
    STUB(SignUpdate, 44),
    STUB(SignFinal, 45),
    STUB(SignRecoverInit, 46),
    STUB(SignRecover, 47),
    ALONE(m_VerifyInit),
    ALONE(m_Verify),
    STUB(VerifyUpdate, 50),
    STUB(VerifyFinal, 51),
    STUB(VerifyRecoverInit, 52),
    STUB(VerifyRecover, 53),
    STUB(DigestEncryptUpdate, 54),
    STUB(DecryptDigestUpdate, 55),
    STUB(SignEncryptUpdate, 56),
    STUB(DecryptVerifyUpdate, 57),
    STUB(GenerateKey, 58),
    STUB(GenerateKeyPair, 59),
    STUB(WrapKey, 60),
    STUB(UnwrapKey, 61),
    STUB(DeriveKey, 62),
    ALONE(m_SeedRandom),
    ALONE(m_GenerateRandom),
    STUB(GetFunctionStatus, 65),
    STUB(CancelFunction, 66),
    m_WaitForSlotEvent,
};

CK_RV m_GetFunctionList(CK_FUNCTION_LIST** out)
{
    Guard g;
    CK_RV rv = CKR_OK;
    const bool inj = injected("C_GetFunctionList", &rv);
    if (!inj) {
        if (!out)
            rv = CKR_ARGUMENTS_BAD;
        else
            *out = &gFunctionList;
    }
    logLine("C_GetFunctionList " + rvStr(rv));
    return rv;
}

} // namespace

// ---------------------------------------------------------------------------
// Exports
// ---------------------------------------------------------------------------
#ifndef _WIN32
__attribute__((visibility("default")))
#endif
CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR ppFunctionList)
{
    return m_GetFunctionList(ppFunctionList);
}

extern "C" {

P11MOCK_API void P11MOCK_CALL mock_reset(void)
{
    Guard g;
    resetLocked();
    gSingleThreaded.store(false);
    gOverlaps.store(0);
    theCond().notifyAll();
}

P11MOCK_API int P11MOCK_CALL mock_is_initialized(void)
{
    Guard g;
    return S().initialized ? 1 : 0;
}

P11MOCK_API void P11MOCK_CALL mock_set_initialized(int on)
{
    Guard g;
    if (on)
        S().initialized = true;
    else
        finalizeLocked();
}

P11MOCK_API int P11MOCK_CALL mock_set_token_present(unsigned long slotId, int present)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s)
        return -1;
    bool p = present != 0;
    if (s->present && !p)
        dropSessionsOfSlot(slotId, true);
    s->present = p;
    if (S().autoEvents) {
        S().events.push_back(slotId);
        theCond().notifyAll();
    }
    return 0;
}

P11MOCK_API void P11MOCK_CALL mock_set_auto_slot_events(int on)
{
    Guard g;
    S().autoEvents = on != 0;
}

P11MOCK_API void P11MOCK_CALL mock_queue_slot_event(unsigned long slotId)
{
    Guard g;
    S().events.push_back(slotId);
    theCond().notifyAll();
}

P11MOCK_API unsigned long P11MOCK_CALL mock_pending_slot_events(void)
{
    Guard g;
    return (unsigned long)S().events.size();
}

P11MOCK_API unsigned long P11MOCK_CALL mock_waiting_count(void)
{
    Guard g;
    return S().waiting + static_cast<unsigned long>(S().pollers.size());
}

P11MOCK_API int P11MOCK_CALL mock_set_token_info(unsigned long slotId, const char* label, const char* manufacturer,
                                                 const char* model, const char* serial)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s)
        return -1;
    if (label)
        padCopy(s->token.label, 32, label);
    if (manufacturer)
        padCopy(s->token.manufacturer, 32, manufacturer);
    if (model)
        padCopy(s->token.model, 16, model);
    if (serial)
        padCopy(s->token.serial, 16, serial);
    return 0;
}

P11MOCK_API int P11MOCK_CALL mock_set_token_label(unsigned long slotId, const void* bytes, unsigned long length)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s || length > sizeof s->token.label || (!bytes && length))
        return -1;
    std::memset(s->token.label, ' ', sizeof s->token.label);
    if (length)
        std::memcpy(s->token.label, bytes, length);
    return 0;
}

P11MOCK_API int P11MOCK_CALL mock_set_token_flags(unsigned long slotId, unsigned long flags)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s)
        return -1;
    s->token.flags = flags;
    return 0;
}

P11MOCK_API unsigned long P11MOCK_CALL mock_get_token_flags(unsigned long slotId)
{
    Guard g;
    Slot* s = findSlot(slotId);
    return s ? s->token.flags : 0;
}

P11MOCK_API int P11MOCK_CALL mock_set_user_pin(unsigned long slotId, const char* pin, unsigned long len)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s)
        return -1;
    if (pin) {
        s->token.userPin.assign(pin, len);
        s->token.hasUserPin = true;
        s->token.flags |= CKF_USER_PIN_INITIALIZED;
    } else {
        s->token.userPin.clear();
        s->token.hasUserPin = false;
        s->token.flags &= ~(CK_FLAGS)CKF_USER_PIN_INITIALIZED;
    }
    return 0;
}

P11MOCK_API int P11MOCK_CALL mock_set_so_pin(unsigned long slotId, const char* pin, unsigned long len)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s)
        return -1;
    s->token.hasSoPin = pin != nullptr;
    if (pin)
        s->token.soPin.assign(pin, len);
    else
        s->token.soPin.clear();
    return 0;
}

static long copyOut(const std::string& v, char* buf, size_t cap)
{
    if (buf) {
        size_t n = std::min(cap, v.size());
        std::memcpy(buf, v.data(), n);
        if (cap > v.size())
            buf[v.size()] = '\0';
    }
    return (long)v.size();
}

P11MOCK_API long P11MOCK_CALL mock_get_user_pin(unsigned long slotId, char* buf, size_t cap)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s || !s->token.hasUserPin)
        return -1;
    return copyOut(s->token.userPin, buf, cap);
}

P11MOCK_API long P11MOCK_CALL mock_get_so_pin(unsigned long slotId, char* buf, size_t cap)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s || !s->token.hasSoPin)
        return -1;
    return copyOut(s->token.soPin, buf, cap);
}

P11MOCK_API long P11MOCK_CALL mock_get_token_label(unsigned long slotId, char* buf, size_t cap)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s)
        return -1;
    return copyOut(std::string(s->token.label, 32), buf, cap);
}

P11MOCK_API int P11MOCK_CALL mock_get_login_state(unsigned long slotId)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s)
        return -2;
    return (int)s->login;
}

P11MOCK_API unsigned long P11MOCK_CALL mock_session_count(unsigned long slotId)
{
    Guard g;
    return sessionsOnSlot(slotId);
}

P11MOCK_API void P11MOCK_CALL mock_set_next_session_handle(unsigned long h)
{
    Guard g;
    S().nextSession = h;
}

P11MOCK_API void P11MOCK_CALL mock_set_next_object_handle(unsigned long h)
{
    Guard g;
    S().nextObject = h;
}

P11MOCK_API void P11MOCK_CALL mock_set_removed_session_rv(unsigned long rv)
{
    Guard g;
    S().removedRv = rv;
}

P11MOCK_API unsigned long P11MOCK_CALL mock_add_object(unsigned long slotId, const void* attrs, unsigned long count)
{
    Guard g;
    Slot* s = findSlot(slotId);
    if (!s || (!attrs && count))
        return 0;
    const CK_ATTRIBUTE* a = static_cast<const CK_ATTRIBUTE*>(attrs);
    Object o;
    o.handle = allocObjectHandle();
    for (unsigned long i = 0; i < count; ++i)
        o.set(a[i].type, a[i].pValue, a[i].ulValueLen);
    s->token.objects.push_back(o);
    return o.handle;
}

P11MOCK_API int P11MOCK_CALL mock_remove_object(unsigned long handle)
{
    Guard g;
    Slot* s = nullptr;
    if (!findObjectAnywhere(handle, &s))
        return -1;
    auto& v = s->token.objects;
    v.erase(std::remove_if(v.begin(), v.end(), [&](const Object& x) { return x.handle == handle; }), v.end());
    return 0;
}

P11MOCK_API int P11MOCK_CALL mock_object_exists(unsigned long handle)
{
    Guard g;
    return findObjectAnywhere(handle) ? 1 : 0;
}

P11MOCK_API unsigned long P11MOCK_CALL mock_object_count(unsigned long slotId)
{
    Guard g;
    Slot* s = findSlot(slotId);
    return s ? (unsigned long)s->token.objects.size() : 0;
}

P11MOCK_API long P11MOCK_CALL mock_get_attribute(unsigned long handle, unsigned long type, void* buf, size_t cap)
{
    Guard g;
    Object* o = findObjectAnywhere(handle);
    const Bytes* v = o ? o->find(type) : nullptr;
    if (!v)
        return -1;
    if (buf && !v->empty())
        std::memcpy(buf, v->data(), std::min(cap, v->size()));
    return (long)v->size();
}

P11MOCK_API int P11MOCK_CALL mock_set_attribute(unsigned long handle, unsigned long type, const void* value,
                                                unsigned long len)
{
    Guard g;
    Object* o = findObjectAnywhere(handle);
    if (!o)
        return -1;
    o->set(type, value, len);
    return 0;
}

P11MOCK_API int P11MOCK_CALL mock_remove_attribute(unsigned long handle, unsigned long type)
{
    Guard g;
    Object* o = findObjectAnywhere(handle);
    if (!o || !o->remove(type))
        return -1;
    return 0;
}

P11MOCK_API int P11MOCK_CALL mock_fail(const char* functionName, unsigned long rv, unsigned long nth)
{
    if (!knownFunction(functionName))
        return -1;
    Guard g;
    S().faults.push_back(Fault{functionName, rv, nth, 0});
    return 0;
}

P11MOCK_API void P11MOCK_CALL mock_clear_faults(void)
{
    Guard g;
    S().faults.clear();
}

P11MOCK_API int P11MOCK_CALL mock_set_call_delay(const char* functionName, unsigned long milliseconds)
{
    if (!knownFunction(functionName))
        return -1;
    Guard g;
    S().delays[functionName] = milliseconds;
    return 0;
}

P11MOCK_API unsigned long P11MOCK_CALL mock_call_count(const char* functionName)
{
    if (!functionName)
        return 0;
    Guard g;
    auto it = S().callCounts.find(functionName);
    return it == S().callCounts.end() ? 0 : it->second;
}

P11MOCK_API void P11MOCK_CALL mock_set_extra_reported_length(unsigned long n)
{
    Guard g;
    S().extraLen = n;
}

P11MOCK_API void P11MOCK_CALL mock_allow_reinit(int on)
{
    Guard g;
    S().allowReinit = on != 0;
}

P11MOCK_API void P11MOCK_CALL mock_set_require_login(int on)
{
    Guard g;
    S().requireLogin = on != 0;
}

P11MOCK_API void P11MOCK_CALL mock_log_clear(void)
{
    Guard g;
    S().log.clear();
    S().logLines = 0;
}

P11MOCK_API size_t P11MOCK_CALL mock_log_copy(char* buf, size_t cap)
{
    Guard g;
    const std::string& l = S().log;
    if (buf && cap) {
        size_t n = std::min(cap - 1, l.size());
        std::memcpy(buf, l.data(), n);
        buf[n] = '\0';
    }
    return l.size() + 1;
}

P11MOCK_API unsigned long P11MOCK_CALL mock_log_line_count(void)
{
    Guard g;
    return S().logLines;
}

P11MOCK_API void P11MOCK_CALL mock_log_enable(int on)
{
    Guard g;
    S().logEnabled = on != 0;
}

P11MOCK_API void P11MOCK_CALL mock_set_single_threaded(int on)
{
    gSingleThreaded.store(on != 0);
}

P11MOCK_API unsigned long P11MOCK_CALL mock_overlap_count(void)
{
    return gOverlaps.load();
}

} // extern "C"
