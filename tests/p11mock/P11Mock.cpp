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
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

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
// Every function in CK_FUNCTION_LIST order, and how the mock serves it: IMPL by
// m_<name>, one caller at a time in single-threaded mode; FREE by m_<name>
// always; STUB as unsupported.
// ---------------------------------------------------------------------------
#define P11MOCK_FUNCTIONS(X)                                                                                           \
    X(Initialize, IMPL)                                                                                                \
    X(Finalize, IMPL)                                                                                                  \
    X(GetInfo, IMPL)                                                                                                   \
    X(GetFunctionList, FREE)                                                                                           \
    X(GetSlotList, IMPL)                                                                                               \
    X(GetSlotInfo, IMPL)                                                                                               \
    X(GetTokenInfo, IMPL)                                                                                              \
    X(GetMechanismList, IMPL)                                                                                          \
    X(GetMechanismInfo, IMPL)                                                                                          \
    X(InitToken, IMPL)                                                                                                 \
    X(InitPIN, IMPL)                                                                                                   \
    X(SetPIN, IMPL)                                                                                                    \
    X(OpenSession, IMPL)                                                                                               \
    X(CloseSession, IMPL)                                                                                              \
    X(CloseAllSessions, IMPL)                                                                                          \
    X(GetSessionInfo, IMPL)                                                                                            \
    X(GetOperationState, STUB)                                                                                         \
    X(SetOperationState, STUB)                                                                                         \
    X(Login, IMPL)                                                                                                     \
    X(Logout, IMPL)                                                                                                    \
    X(CreateObject, IMPL)                                                                                              \
    X(CopyObject, STUB)                                                                                                \
    X(DestroyObject, IMPL)                                                                                             \
    X(GetObjectSize, STUB)                                                                                             \
    X(GetAttributeValue, IMPL)                                                                                         \
    X(SetAttributeValue, IMPL)                                                                                         \
    X(FindObjectsInit, IMPL)                                                                                           \
    X(FindObjects, IMPL)                                                                                               \
    X(FindObjectsFinal, IMPL)                                                                                          \
    X(EncryptInit, IMPL)                                                                                               \
    X(Encrypt, IMPL)                                                                                                   \
    X(EncryptUpdate, STUB)                                                                                             \
    X(EncryptFinal, STUB)                                                                                              \
    X(DecryptInit, IMPL)                                                                                               \
    X(Decrypt, IMPL)                                                                                                   \
    X(DecryptUpdate, STUB)                                                                                             \
    X(DecryptFinal, STUB)                                                                                              \
    X(DigestInit, IMPL)                                                                                                \
    X(Digest, IMPL)                                                                                                    \
    X(DigestUpdate, IMPL)                                                                                              \
    X(DigestKey, STUB)                                                                                                 \
    X(DigestFinal, IMPL)                                                                                               \
    X(SignInit, IMPL)                                                                                                  \
    X(Sign, IMPL)                                                                                                      \
    X(SignUpdate, STUB)                                                                                                \
    X(SignFinal, STUB)                                                                                                 \
    X(SignRecoverInit, STUB)                                                                                           \
    X(SignRecover, STUB)                                                                                               \
    X(VerifyInit, IMPL)                                                                                                \
    X(Verify, IMPL)                                                                                                    \
    X(VerifyUpdate, STUB)                                                                                              \
    X(VerifyFinal, STUB)                                                                                               \
    X(VerifyRecoverInit, STUB)                                                                                         \
    X(VerifyRecover, STUB)                                                                                             \
    X(DigestEncryptUpdate, STUB)                                                                                       \
    X(DecryptDigestUpdate, STUB)                                                                                       \
    X(SignEncryptUpdate, STUB)                                                                                         \
    X(DecryptVerifyUpdate, STUB)                                                                                       \
    X(GenerateKey, STUB)                                                                                               \
    X(GenerateKeyPair, STUB)                                                                                           \
    X(WrapKey, STUB)                                                                                                   \
    X(UnwrapKey, STUB)                                                                                                 \
    X(DeriveKey, STUB)                                                                                                 \
    X(SeedRandom, IMPL)                                                                                                \
    X(GenerateRandom, IMPL)                                                                                            \
    X(GetFunctionStatus, STUB)                                                                                         \
    X(CancelFunction, STUB)                                                                                            \
    X(WaitForSlotEvent, FREE)

#define P11MOCK_NAME(f, how) "C_" #f,
const char* const kFunctionNames[] = {P11MOCK_FUNCTIONS(P11MOCK_NAME)};
#define P11MOCK_INDEX(f, how) k##f,
enum FunctionIndex { P11MOCK_FUNCTIONS(P11MOCK_INDEX) kFunctionCount };
static_assert(kFunctionCount == 68, "68 functions");

bool knownFunction(const char* name)
{
    return name && std::any_of(std::begin(kFunctionNames), std::end(kFunctionNames),
                               [name](const char* n) { return std::strcmp(n, name) == 0; });
}

// ---------------------------------------------------------------------------
// State
// ---------------------------------------------------------------------------
typedef std::vector<unsigned char> Bytes;

struct Object {
    CK_OBJECT_HANDLE handle = 0;
    std::vector<std::pair<CK_ATTRIBUTE_TYPE, Bytes>> attrs; // insertion order

    std::vector<std::pair<CK_ATTRIBUTE_TYPE, Bytes>>::iterator at(CK_ATTRIBUTE_TYPE t)
    {
        return std::find_if(attrs.begin(), attrs.end(), [t](const auto& a) { return a.first == t; });
    }
    const Bytes* find(CK_ATTRIBUTE_TYPE t) const
    {
        const auto it = const_cast<Object*>(this)->at(t);
        return it == attrs.end() ? nullptr : &it->second;
    }
    void set(CK_ATTRIBUTE_TYPE t, const void* p, size_t n)
    {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        Bytes v(b, b + (p ? n : 0));
        const auto it = at(t);
        if (it != attrs.end())
            it->second = v;
        else
            attrs.emplace_back(t, v);
    }
    bool remove(CK_ATTRIBUTE_TYPE t)
    {
        const auto it = at(t);
        if (it == attrs.end())
            return false;
        attrs.erase(it);
        return true;
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
    bool removable = true;
    Token token;
    long login = -1; // -1 nobody, else CK_USER_TYPE
};

struct Op {
    bool active = false;
    CK_MECHANISM_TYPE mech = 0;
    CK_OBJECT_HANDLE key = 0;
    Bytes data; // digest accumulation
};

enum OpKind { ENC, DEC, SIGN, VERIFY, DIGEST };

struct Session {
    CK_SESSION_HANDLE handle = 0;
    CK_SLOT_ID slot = 0;
    CK_FLAGS flags = 0;
    bool findActive = false;
    std::vector<CK_OBJECT_HANDLE> found;
    size_t foundPos = 0;
    Op ops[DIGEST + 1]; // by OpKind
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
    CK_FUNCTION_LIST* handedList = nullptr; // nullptr: the full list
};

State& S()
{
    static State* s = new State; // never destroyed
    return *s;
}

// ---------------------------------------------------------------------------
// Small helpers
// ---------------------------------------------------------------------------
void padCopy(void* dst, size_t width, const char* src)
{
    std::memset(dst, ' ', width);
    if (src)
        std::memcpy(dst, src, std::min(std::strlen(src), width));
}

std::string hexOf(const void* p, size_t n)
{
    if (!p)
        return "NULL";
    static const char digits[] = "0123456789abcdef";
    const unsigned char* b = static_cast<const unsigned char*>(p);
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

std::string format(const char* fmt, unsigned long v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}
std::string dec(unsigned long v)
{
    return format("%lu", v);
}
std::string hexNum(unsigned long v)
{
    return format("0x%lx", v);
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
// The PIN or other byte string a caller passed; empty for NULL.
std::string bytesOf(const CK_UTF8CHAR* p, CK_ULONG n)
{
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
}

// "a,b,c" for item(0) .. item(n - 1).
std::string commaList(CK_ULONG n, const std::function<std::string(CK_ULONG)>& item)
{
    std::string s;
    for (CK_ULONG i = 0; i < n; ++i)
        s += (i ? "," : "") + item(i);
    return s;
}

// Numbers whose width differs between targets print in decimal.
std::string attrValue(const CK_ATTRIBUTE& a)
{
    CK_ULONG v = 0;
    if (!a.pValue)
        return "NULL";
    if ((a.type == CKA_CLASS || a.type == CKA_CERTIFICATE_TYPE || a.type == CKA_KEY_TYPE) && a.ulValueLen == sizeof v) {
        std::memcpy(&v, a.pValue, sizeof v);
        return dec(v);
    }
    return hexOf(a.pValue, a.ulValueLen);
}

std::string templateStr(const CK_ATTRIBUTE* t, CK_ULONG n)
{
    if (!t)
        return n ? "NULL" : "[]";
    return "[" + commaList(n, [t](CK_ULONG i) { return hexNum(t[i].type) + "=" + attrValue(t[i]); }) + "]";
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

bool visible(const Slot& slot, const Object& o)
{
    return !S().requireLogin || !o.boolAttr(CKA_PRIVATE) || slot.login == (long)CKU_USER;
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

CK_OBJECT_HANDLE addObject(Token& tok, const CK_ATTRIBUTE* attrs, CK_ULONG count)
{
    Object o;
    do
        o.handle = S().nextObject++;
    while (o.handle == 0 || findObjectAnywhere(o.handle));
    for (CK_ULONG i = 0; i < count; ++i)
        o.set(attrs[i].type, attrs[i].pValue, attrs[i].ulValueLen);
    tok.objects.push_back(o);
    return o.handle;
}

void eraseObject(Token& tok, CK_OBJECT_HANDLE h)
{
    auto& v = tok.objects;
    v.erase(std::remove_if(v.begin(), v.end(), [h](const Object& x) { return x.handle == h; }), v.end());
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

void queueEvent(CK_SLOT_ID id)
{
    S().events.push_back(id);
    theCond().notifyAll();
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
    uint64_t w = 0;
    for (size_t i = 0; i < outLen; ++i) {
        if (i % 8 == 0)
            w = splitmix(s);
        out[i] = (unsigned char)(w >> (8 * (i % 8)));
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

const std::vector<CK_MECHANISM_TYPE> kMechanisms = {
    CKM_RSA_PKCS,  CKM_SHA1_RSA_PKCS, CKM_ECDSA,  CKM_MD2,    CKM_MD5,    CKM_SHA_1,
    CKM_RIPEMD160, CKM_SHA224,        CKM_SHA256, CKM_SHA384, CKM_SHA512,
};

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

// A blank token; soPin / userPin NULL: that PIN is not set.
Token& initToken(Slot& s, const char* label, const char* model, const char* serial, CK_FLAGS flags,
                 const char* soPin = nullptr, const char* userPin = nullptr)
{
    Token& t = s.token;
    padCopy(t.label, 32, label);
    padCopy(t.manufacturer, 32, "ORV P11Mock");
    padCopy(t.model, 16, model);
    padCopy(t.serial, 16, serial);
    t.flags = flags;
    t.hasSoPin = soPin != nullptr;
    t.hasUserPin = userPin != nullptr;
    t.soPin = soPin ? soPin : "";
    t.userPin = userPin ? userPin : "";
    t.objects.clear();
    return t;
}

void buildFixture()
{
    State& st = S();
    st.slots.assign(4, Slot());
    const CK_SLOT_ID ids[] = {2, 5, 9, 11};
    for (size_t i = 0; i < 4; ++i)
        st.slots[i].id = ids[i];
    st.slots[0].present = st.slots[2].present = st.slots[3].present = true;
    // Slot 2: token A
    Token& a =
        initToken(st.slots[0], "P11Mock Token A", "P11MOCK-A", "0000000000000002",
                  CKF_RNG | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED, "87654321", "1234");
    addFixtureObject(a, 0x101,
                     {ul(CKA_CLASS, CKO_CERTIFICATE), ul(CKA_CERTIFICATE_TYPE, CKC_X_509), bl(CKA_TOKEN, true),
                      str(CKA_ID, "ID-A"), str(CKA_LABEL, "Cert A"), str(CKA_VALUE, "P11MOCK-CERT-A-RSA")});
    addFixtureObject(a, 0x102,
                     {ul(CKA_CLASS, CKO_PUBLIC_KEY), ul(CKA_KEY_TYPE, CKK_RSA), str(CKA_ID, "ID-A"),
                      str(CKA_LABEL, "Key A"), bl(CKA_ENCRYPT, true), bl(CKA_VERIFY, true), bl(CKA_TOKEN, true)});
    addFixtureObject(a, 0x103,
                     {ul(CKA_CLASS, CKO_PRIVATE_KEY), ul(CKA_KEY_TYPE, CKK_RSA), str(CKA_ID, "ID-A"),
                      str(CKA_LABEL, "Key A"), bl(CKA_DECRYPT, true), bl(CKA_SIGN, true), bl(CKA_PRIVATE, true),
                      bl(CKA_TOKEN, true)});
    addFixtureObject(a, 0x104,
                     {ul(CKA_CLASS, CKO_CERTIFICATE), ul(CKA_CERTIFICATE_TYPE, CKC_X_509), str(CKA_LABEL, "Cert NoID"),
                      str(CKA_VALUE, "P11MOCK-CERT-NOID")});
    addFixtureObject(a, 0x105,
                     {ul(CKA_CLASS, CKO_CERTIFICATE), ul(CKA_CERTIFICATE_TYPE, CKC_X_509), str(CKA_ID, "ID-E"),
                      str(CKA_LABEL, "Cert E"), str(CKA_VALUE, "P11MOCK-CERT-E-EC")});
    addFixtureObject(
        a, 0x106, {ul(CKA_CLASS, CKO_PUBLIC_KEY), ul(CKA_KEY_TYPE, CKK_EC), str(CKA_ID, "ID-E"), bl(CKA_VERIFY, true)});
    addFixtureObject(a, 0x107,
                     {ul(CKA_CLASS, CKO_PRIVATE_KEY), ul(CKA_KEY_TYPE, CKK_EC), str(CKA_ID, "ID-E"), bl(CKA_SIGN, true),
                      bl(CKA_PRIVATE, true)});
    addFixtureObject(a, 0x108,
                     {ul(CKA_CLASS, CKO_DATA), str(CKA_LABEL, "P11Mock Data"), str(CKA_APPLICATION, "P11Mock"),
                      str(CKA_VALUE, "data-value")});
    addFixtureObject(a, 0x109,
                     {ul(CKA_CLASS, CKO_CERTIFICATE), ul(CKA_CERTIFICATE_TYPE, CKC_X_509), str(CKA_ID, "ID-B"),
                      str(CKA_LABEL, "Cert B"), str(CKA_VALUE, "P11MOCK-CERT-B-NOPUB")});
    addFixtureObject(a, 0x10A,
                     {ul(CKA_CLASS, CKO_PRIVATE_KEY), ul(CKA_KEY_TYPE, CKK_RSA), str(CKA_ID, "ID-B"),
                      bl(CKA_DECRYPT, true), bl(CKA_SIGN, true), bl(CKA_PRIVATE, true)});
    // Slot 5: empty; a token inserted later is blank.
    initToken(st.slots[1], "", "P11MOCK-B", "0000000000000005", CKF_RNG);
    // Slot 9: token C
    Token& c = initToken(st.slots[2], "P11Mock Token C", "P11MOCK-C", "0000000000000009",
                         CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED, "22222222", "1111");
    addFixtureObject(c, 0x201,
                     {ul(CKA_CLASS, CKO_CERTIFICATE), ul(CKA_CERTIFICATE_TYPE, CKC_X_509), str(CKA_ID, "ID-C"),
                      str(CKA_LABEL, "Cert C"), str(CKA_VALUE, "P11MOCK-CERT-C-RSA")});
    addFixtureObject(c, 0x202,
                     {ul(CKA_CLASS, CKO_PUBLIC_KEY), ul(CKA_KEY_TYPE, CKK_RSA), str(CKA_ID, "ID-C"),
                      bl(CKA_ENCRYPT, true), bl(CKA_VERIFY, true)});
    addFixtureObject(c, 0x203,
                     {ul(CKA_CLASS, CKO_PRIVATE_KEY), ul(CKA_KEY_TYPE, CKK_RSA), str(CKA_ID, "ID-C"),
                      bl(CKA_DECRYPT, true), bl(CKA_SIGN, true), bl(CKA_PRIVATE, true)});
    // Slot 11: token D, uninitialised
    initToken(st.slots[3], "", "P11MOCK-D", "0000000000000011", CKF_RNG);
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

// Everything but the initialised flag, the waiters and the finalize generation
// back to the load-time state.
void resetLocked()
{
    State& st = S();
    const bool initialized = st.initialized;
    const unsigned long waiting = st.waiting, generation = st.generation;
    st = State();
    st.initialized = initialized;
    st.waiting = waiting;
    st.generation = generation;
    buildFixture();
    st.rng = 0x0123456789ABCDEFULL;
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
// A call's log fields: known before the call, or formatted after it when they
// show its outputs.
struct Fields {
    std::function<std::string()> text;
    Fields(std::string s = {}) : text([s] { return s; }) {}
    template <typename F, typename = decltype(std::declval<F>()())>
    Fields(F f) : text(f)
    {
    }
};

std::string join(const std::string& a, const std::string& b)
{
    return a.empty() || b.empty() ? a + b : a + " " + b;
}

// One C_ call under the lock: counts it, returns an injected fault or runs the
// body, then logs "<name> <fields> rv=0x<rv>".
CK_RV call(const char* name, const Fields& fields, const std::function<CK_RV()>& body)
{
    Guard g;
    CK_RV rv = CKR_OK;
    if (!injected(name, &rv))
        rv = body();
    logLine(join(name, fields.text()) + " rv=" + hexNum(rv));
    return rv;
}

CK_RV ready(bool argsOk)
{
    return !S().initialized ? CKR_CRYPTOKI_NOT_INITIALIZED : argsOk ? CKR_OK : CKR_ARGUMENTS_BAD;
}

// A call on a slot: initialised, arguments, known slot and (needToken) token
// present are checked in that order before the body runs.
CK_RV onSlot(const char* name, CK_SLOT_ID id, bool argsOk, bool needToken, const Fields& fields,
             const std::function<CK_RV(Slot&)>& body)
{
    const auto all = [&] { return join("slot=" + dec(id), fields.text()); };
    return call(name, all, [&]() -> CK_RV {
        Slot* s = findSlot(id);
        if (CK_RV rv = ready(argsOk))
            return rv;
        if (!s)
            return CKR_SLOT_ID_INVALID;
        return needToken && !s->present ? CKR_TOKEN_NOT_PRESENT : body(*s);
    });
}

// A call on a session: the body runs only for a known open session.
CK_RV onSession(const char* name, CK_SESSION_HANDLE h, const Fields& fields,
                const std::function<CK_RV(Session&, Slot&)>& body)
{
    const auto all = [&] { return join("session=" + dec(h), fields.text()); };
    return call(name, all, [&]() -> CK_RV {
        State& st = S();
        if (!st.initialized)
            return CKR_CRYPTOKI_NOT_INITIALIZED;
        const auto it = st.sessions.find(h);
        if (it != st.sessions.end())
            return body(it->second, *findSlot(it->second.slot));
        return st.lostSessions.count(h) ? st.removedRv : CKR_SESSION_HANDLE_INVALID;
    });
}

// The two-call list protocol: NULL list -> count; short list -> CKR_BUFFER_TOO_SMALL.
CK_RV fillList(const std::vector<CK_ULONG>& items, CK_ULONG* list, CK_ULONG* count)
{
    const bool fits = !list || *count >= items.size();
    if (list && fits)
        std::copy(items.begin(), items.end(), list);
    *count = items.size();
    return fits ? CKR_OK : CKR_BUFFER_TOO_SMALL;
}

// Fields ending in a length before and after the call: "<head> lenIn=0 lenOut=5".
Fields inOut(const std::string& head, const char* in, const char* out, const CK_ULONG* len)
{
    const std::string before = head + " " + in + "=" + lenPtr(len) + " " + out + "=";
    return [before, len] { return before + lenPtr(len); };
}

CK_RV m_Initialize(void* args)
{
    return call("C_Initialize", std::string("args=") + setOrNull(args), [&]() -> CK_RV {
        if (S().initialized)
            return CKR_CRYPTOKI_ALREADY_INITIALIZED;
        if (args && static_cast<CK_C_INITIALIZE_ARGS*>(args)->pReserved)
            return CKR_ARGUMENTS_BAD;
        S().initialized = true;
        return CKR_OK;
    });
}

CK_RV m_Finalize(void* reserved)
{
    return call("C_Finalize", {}, [&]() -> CK_RV {
        if (!S().initialized)
            return CKR_CRYPTOKI_NOT_INITIALIZED;
        if (reserved)
            return CKR_ARGUMENTS_BAD;
        finalizeLocked();
        return CKR_OK;
    });
}

CK_RV m_GetInfo(CK_INFO* info)
{
    return call("C_GetInfo", {}, [&]() -> CK_RV {
        if (CK_RV rv = ready(info != nullptr))
            return rv;
        std::memset(info, 0, sizeof *info);
        info->cryptokiVersion = {2, 40};
        padCopy(info->manufacturerID, 32, "ORV P11Mock");
        padCopy(info->libraryDescription, 32, "ORV fault-injecting PKCS#11 mock");
        info->libraryVersion = {1, 0};
        return CKR_OK;
    });
}

CK_RV m_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID* list, CK_ULONG* count)
{
    const Fields fields =
        inOut("tokenPresent=" + dec(tokenPresent) + " list=" + setOrNull(list), "countIn", "countOut", count);
    return call("C_GetSlotList", fields, [&]() -> CK_RV {
        if (CK_RV rv = ready(count != nullptr))
            return rv;
        std::vector<CK_SLOT_ID> ids;
        for (auto& s : S().slots)
            if (!tokenPresent || s.present)
                ids.push_back(s.id);
        return fillList(ids, list, count);
    });
}

CK_RV m_GetSlotInfo(CK_SLOT_ID slotId, CK_SLOT_INFO* info)
{
    return onSlot("C_GetSlotInfo", slotId, info != nullptr, false, {}, [&](Slot& s) {
        std::memset(info, 0, sizeof *info);
        padCopy(info->slotDescription, 64, ("P11Mock Slot " + dec(slotId)).c_str());
        padCopy(info->manufacturerID, 32, "ORV P11Mock");
        info->flags = (s.removable ? CKF_REMOVABLE_DEVICE : 0) | CKF_HW_SLOT | (s.present ? CKF_TOKEN_PRESENT : 0);
        info->hardwareVersion.major = 1;
        info->firmwareVersion.major = 1;
        return CKR_OK;
    });
}

CK_RV m_GetTokenInfo(CK_SLOT_ID slotId, CK_TOKEN_INFO* info)
{
    return onSlot("C_GetTokenInfo", slotId, info != nullptr, true, {}, [&](Slot& s) {
        const Token& t = s.token;
        std::memset(info, 0, sizeof *info);
        std::memcpy(info->label, t.label, 32);
        std::memcpy(info->manufacturerID, t.manufacturer, 32);
        std::memcpy(info->model, t.model, 16);
        std::memcpy(info->serialNumber, t.serial, 16);
        info->flags = t.flags;
        info->ulMaxSessionCount = info->ulMaxRwSessionCount = CK_EFFECTIVELY_INFINITE;
        info->ulSessionCount = sessionsOnSlot(slotId);
        info->ulRwSessionCount = sessionsOnSlot(slotId, true);
        info->ulMaxPinLen = 32;
        info->ulMinPinLen = 4;
        info->ulTotalPublicMemory = info->ulFreePublicMemory = CK_UNAVAILABLE_INFORMATION;
        info->ulTotalPrivateMemory = info->ulFreePrivateMemory = CK_UNAVAILABLE_INFORMATION;
        info->hardwareVersion.major = 1;
        info->firmwareVersion.major = 1;
        std::memcpy(info->utcTime, "2024010100000000", 16);
        return CKR_OK;
    });
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
    bool got = false;
    const auto fields = [&] { return "flags=" + hexNum(flags) + " slot=" + (got ? dec(*slot) : "-"); };
    return call("C_WaitForSlotEvent", fields, [&]() -> CK_RV {
        State& st = S();
        if (CK_RV rv = ready(slot && !reserved))
            return rv;
        const unsigned long gen = st.generation;
        while (st.events.empty() && !(flags & CKF_DONT_BLOCK) && st.initialized && gen == st.generation) {
            ++st.waiting;
            theCond().wait(theMutex()); // releases the mutex while blocked
            --st.waiting;
        }
        const bool live = st.initialized && gen == st.generation;
        if (!st.events.empty() && live) {
            *slot = st.events.front();
            st.events.pop_front();
            got = true;
        }
        if (flags & CKF_DONT_BLOCK)
            notePoll(st, got);
        return got ? CKR_OK : !live ? CKR_CRYPTOKI_NOT_INITIALIZED : CKR_NO_EVENT;
    });
}

CK_RV m_GetMechanismList(CK_SLOT_ID slotId, CK_MECHANISM_TYPE* list, CK_ULONG* count)
{
    const Fields fields = inOut(std::string("list=") + setOrNull(list), "countIn", "countOut", count);
    return onSlot("C_GetMechanismList", slotId, count != nullptr, true, fields,
                  [&](Slot&) { return fillList(kMechanisms, list, count); });
}

CK_RV m_GetMechanismInfo(CK_SLOT_ID slotId, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO* info)
{
    return onSlot("C_GetMechanismInfo", slotId, info != nullptr, true, "mechanism=" + hexNum(type), [&](Slot&) {
        if (std::find(kMechanisms.begin(), kMechanisms.end(), type) == kMechanisms.end())
            return CKR_MECHANISM_INVALID;
        std::memset(info, 0, sizeof *info);
        info->ulMinKeySize = 512;
        info->ulMaxKeySize = 4096;
        info->flags = CKF_HW | (digestLen(type) ? CKF_DIGEST : (CKF_ENCRYPT | CKF_DECRYPT | CKF_SIGN | CKF_VERIFY));
        return CKR_OK;
    });
}

CK_RV m_InitToken(CK_SLOT_ID slotId, CK_UTF8CHAR* pin, CK_ULONG pinLen, CK_UTF8CHAR* label)
{
    const std::string fields =
        "soPin=" + hexOf(pin, pinLen) + " soPinLen=" + dec(pinLen) + " label=" + hexOf(label, 32);
    return onSlot("C_InitToken", slotId, true, true, fields, [&](Slot& s) {
        Token& t = s.token;
        if (!label || (!pin && pinLen))
            return CKR_ARGUMENTS_BAD;
        if (sessionsOnSlot(slotId))
            return CKR_SESSION_EXISTS;
        if ((t.flags & CKF_TOKEN_INITIALIZED) && t.hasSoPin && bytesOf(pin, pinLen) != t.soPin)
            return CKR_PIN_INCORRECT;
        std::memcpy(t.label, label, 32);
        t.soPin = bytesOf(pin, pinLen);
        t.hasSoPin = true;
        t.userPin.clear();
        t.hasUserPin = false;
        t.objects.clear();
        t.flags = (t.flags | CKF_TOKEN_INITIALIZED) & ~(CK_FLAGS)CKF_USER_PIN_INITIALIZED;
        s.login = -1;
        return CKR_OK;
    });
}

CK_RV m_InitPIN(CK_SESSION_HANDLE h, CK_UTF8CHAR* pin, CK_ULONG pinLen)
{
    const std::string fields = "pin=" + hexOf(pin, pinLen) + " pinLen=" + dec(pinLen);
    return onSession("C_InitPIN", h, fields, [&](Session& ss, Slot& s) {
        if (s.login != (long)CKU_SO)
            return CKR_USER_NOT_LOGGED_IN;
        if (!(ss.flags & CKF_RW_SESSION))
            return CKR_SESSION_READ_ONLY;
        if (!pin && pinLen)
            return CKR_ARGUMENTS_BAD;
        s.token.userPin = bytesOf(pin, pinLen);
        s.token.hasUserPin = true;
        s.token.flags |= CKF_USER_PIN_INITIALIZED;
        return CKR_OK;
    });
}

CK_RV m_SetPIN(CK_SESSION_HANDLE h, CK_UTF8CHAR* oldPin, CK_ULONG oldLen, CK_UTF8CHAR* newPin, CK_ULONG newLen)
{
    const std::string fields = "oldPin=" + hexOf(oldPin, oldLen) + " oldPinLen=" + dec(oldLen) +
                               " newPin=" + hexOf(newPin, newLen) + " newPinLen=" + dec(newLen);
    return onSession("C_SetPIN", h, fields, [&](Session& ss, Slot& s) {
        Token& t = s.token;
        if (!(ss.flags & CKF_RW_SESSION))
            return CKR_SESSION_READ_ONLY;
        if ((!oldPin && oldLen) || (!newPin && newLen))
            return CKR_ARGUMENTS_BAD;
        const bool so = s.login == (long)CKU_SO;
        if (!so && !t.hasUserPin)
            return CKR_USER_PIN_NOT_INITIALIZED;
        std::string& current = so ? t.soPin : t.userPin;
        if (bytesOf(oldPin, oldLen) != current)
            return CKR_PIN_INCORRECT;
        current = bytesOf(newPin, newLen);
        return CKR_OK;
    });
}

CK_RV m_OpenSession(CK_SLOT_ID slotId, CK_FLAGS flags, void* app, CK_NOTIFY notify, CK_SESSION_HANDLE* out)
{
    bool opened = false;
    const auto fields = [&] {
        return "flags=" + hexNum(flags) + " app=" + setOrNull(app) +
               " notify=" + setOrNull(reinterpret_cast<void*>(notify)) + " session=" + (opened ? dec(*out) : "-");
    };
    return onSlot("C_OpenSession", slotId, out != nullptr, true, fields, [&](Slot& s) {
        State& st = S();
        if (!(flags & CKF_SERIAL_SESSION))
            return CKR_SESSION_PARALLEL_NOT_SUPPORTED;
        if (s.login == (long)CKU_SO && !(flags & CKF_RW_SESSION))
            return CKR_SESSION_READ_WRITE_SO_EXISTS;
        if ((s.token.flags & CKF_WRITE_PROTECTED) && (flags & CKF_RW_SESSION))
            return CKR_TOKEN_WRITE_PROTECTED;
        CK_SESSION_HANDLE h;
        do
            h = st.nextSession++;
        while (h == 0 || st.sessions.count(h) || st.lostSessions.count(h));
        Session& ss = st.sessions[h];
        ss.handle = *out = h;
        ss.slot = slotId;
        ss.flags = flags;
        opened = true;
        return CKR_OK;
    });
}

CK_RV m_CloseSession(CK_SESSION_HANDLE h)
{
    return onSession("C_CloseSession", h, {}, [&](Session&, Slot& s) {
        S().sessions.erase(h);
        if (!sessionsOnSlot(s.id))
            s.login = -1;
        return CKR_OK;
    });
}

CK_RV m_CloseAllSessions(CK_SLOT_ID slotId)
{
    return onSlot("C_CloseAllSessions", slotId, true, true, {}, [&](Slot&) {
        dropSessionsOfSlot(slotId, false);
        return CKR_OK;
    });
}

CK_RV m_GetSessionInfo(CK_SESSION_HANDLE h, CK_SESSION_INFO* info)
{
    return onSession("C_GetSessionInfo", h, {}, [&](Session& ss, Slot& s) {
        if (!info)
            return CKR_ARGUMENTS_BAD;
        const bool rw = (ss.flags & CKF_RW_SESSION) != 0;
        std::memset(info, 0, sizeof *info);
        info->slotID = ss.slot;
        info->flags = ss.flags;
        if (s.login == (long)CKU_SO)
            info->state = CKS_RW_SO_FUNCTIONS;
        else if (s.login == (long)CKU_USER)
            info->state = rw ? CKS_RW_USER_FUNCTIONS : CKS_RO_USER_FUNCTIONS;
        else
            info->state = rw ? CKS_RW_PUBLIC_SESSION : CKS_RO_PUBLIC_SESSION;
        return CKR_OK;
    });
}

CK_RV m_Login(CK_SESSION_HANDLE h, CK_USER_TYPE userType, CK_UTF8CHAR* pin, CK_ULONG pinLen)
{
    const std::string fields = "userType=" + dec(userType) + " pin=" + hexOf(pin, pinLen) + " pinLen=" + dec(pinLen);
    return onSession("C_Login", h, fields, [&](Session& ss, Slot& s) {
        const Token& t = s.token;
        const std::string p = bytesOf(pin, pinLen);
        if (userType != CKU_SO && userType != CKU_USER && userType != CKU_CONTEXT_SPECIFIC)
            return CKR_USER_TYPE_INVALID;
        if (!pin && pinLen)
            return CKR_ARGUMENTS_BAD;
        if (userType == CKU_CONTEXT_SPECIFIC)
            return s.login != (long)CKU_USER ? CKR_USER_NOT_LOGGED_IN : p != t.userPin ? CKR_PIN_INCORRECT : CKR_OK;
        if (s.login == (long)userType)
            return CKR_USER_ALREADY_LOGGED_IN;
        if (s.login != -1)
            return CKR_USER_ANOTHER_ALREADY_LOGGED_IN;
        if (!(userType == CKU_SO ? t.hasSoPin : t.hasUserPin))
            return CKR_USER_PIN_NOT_INITIALIZED;
        if (p != (userType == CKU_SO ? t.soPin : t.userPin))
            return CKR_PIN_INCORRECT;
        if (userType == CKU_SO && sessionsOnSlot(ss.slot) != sessionsOnSlot(ss.slot, true))
            return CKR_SESSION_READ_ONLY_EXISTS;
        s.login = (long)userType;
        return CKR_OK;
    });
}

CK_RV m_Logout(CK_SESSION_HANDLE h)
{
    return onSession("C_Logout", h, {}, [](Session&, Slot& s) {
        if (s.login == -1)
            return CKR_USER_NOT_LOGGED_IN;
        s.login = -1;
        return CKR_OK;
    });
}

CK_RV m_CreateObject(CK_SESSION_HANDLE h, CK_ATTRIBUTE* tmpl, CK_ULONG count, CK_OBJECT_HANDLE* out)
{
    bool created = false;
    const std::string head = "template=" + templateStr(tmpl, count);
    const auto fields = [&] { return head + " object=" + (created ? dec(*out) : "-"); };
    return onSession("C_CreateObject", h, fields, [&](Session& ss, Slot& s) {
        if ((!tmpl && count) || !out)
            return CKR_ARGUMENTS_BAD;
        if (!(ss.flags & CKF_RW_SESSION))
            return CKR_SESSION_READ_ONLY;
        *out = addObject(s.token, tmpl, count);
        created = true;
        return CKR_OK;
    });
}

CK_RV m_DestroyObject(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj)
{
    return onSession("C_DestroyObject", h, "object=" + dec(obj), [&](Session& ss, Slot& s) {
        Object* o = findObjectOnSlot(s, obj);
        if (!o)
            return CKR_OBJECT_HANDLE_INVALID;
        if (!(ss.flags & CKF_RW_SESSION) && o->boolAttr(CKA_TOKEN))
            return CKR_SESSION_READ_ONLY;
        eraseObject(s.token, obj);
        return CKR_OK;
    });
}

CK_RV m_GetAttributeValue(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj, CK_ATTRIBUTE* tmpl, CK_ULONG count)
{
    std::vector<CK_ULONG> lensIn;
    for (CK_ULONG i = 0; tmpl && i < count; ++i)
        lensIn.push_back(tmpl[i].ulValueLen);
    const auto fields = [&] {
        const auto attr = [&](CK_ULONG i) {
            return hexNum(tmpl[i].type) + ":" + setOrNull(tmpl[i].pValue) + ":" + lenStr(lensIn[i]) + ":" +
                   lenStr(tmpl[i].ulValueLen);
        };
        return "object=" + dec(obj) + " attrs=" + (tmpl ? "[" + commaList(count, attr) + "]" : "NULL");
    };
    return onSession("C_GetAttributeValue", h, fields, [&](Session&, Slot& s) {
        if (!tmpl && count)
            return CKR_ARGUMENTS_BAD;
        Object* o = findObjectOnSlot(s, obj);
        if (!o)
            return CKR_OBJECT_HANDLE_INVALID;
        CK_RV rv = CKR_OK;
        for (CK_ULONG i = 0; i < count; ++i) {
            const Bytes* v = o->find(tmpl[i].type);
            if (!v) {
                tmpl[i].ulValueLen = CK_UNAVAILABLE_INFORMATION;
                rv = CKR_ATTRIBUTE_TYPE_INVALID;
            } else if (tmpl[i].pValue && tmpl[i].ulValueLen < v->size()) {
                tmpl[i].ulValueLen = CK_UNAVAILABLE_INFORMATION;
                if (rv == CKR_OK)
                    rv = CKR_BUFFER_TOO_SMALL;
            } else {
                if (tmpl[i].pValue && !v->empty())
                    std::memcpy(tmpl[i].pValue, v->data(), v->size());
                tmpl[i].ulValueLen = v->size();
            }
        }
        return rv;
    });
}

CK_RV m_SetAttributeValue(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj, CK_ATTRIBUTE* tmpl, CK_ULONG count)
{
    const std::string fields = "object=" + dec(obj) + " template=" + templateStr(tmpl, count);
    return onSession("C_SetAttributeValue", h, fields, [&](Session& ss, Slot& s) {
        if (!tmpl && count)
            return CKR_ARGUMENTS_BAD;
        Object* o = findObjectOnSlot(s, obj);
        if (!o)
            return CKR_OBJECT_HANDLE_INVALID;
        if (!(ss.flags & CKF_RW_SESSION) && o->boolAttr(CKA_TOKEN))
            return CKR_SESSION_READ_ONLY;
        for (CK_ULONG i = 0; i < count; ++i)
            o->set(tmpl[i].type, tmpl[i].pValue, tmpl[i].ulValueLen);
        return CKR_OK;
    });
}

bool matches(const Object& o, const CK_ATTRIBUTE* tmpl, CK_ULONG count)
{
    for (CK_ULONG i = 0; i < count; ++i) {
        const Bytes* v = o.find(tmpl[i].type);
        if (!v || v->size() != tmpl[i].ulValueLen)
            return false;
        if (!v->empty() && (!tmpl[i].pValue || std::memcmp(v->data(), tmpl[i].pValue, v->size())))
            return false;
    }
    return true;
}

CK_RV m_FindObjectsInit(CK_SESSION_HANDLE h, CK_ATTRIBUTE* tmpl, CK_ULONG count)
{
    return onSession("C_FindObjectsInit", h, "template=" + templateStr(tmpl, count), [&](Session& ss, Slot& s) {
        if (!tmpl && count)
            return CKR_ARGUMENTS_BAD;
        if (ss.findActive)
            return CKR_OPERATION_ACTIVE;
        ss.found.clear();
        ss.foundPos = 0;
        for (auto& o : s.token.objects)
            if (visible(s, o) && matches(o, tmpl, count))
                ss.found.push_back(o.handle);
        ss.findActive = true;
        return CKR_OK;
    });
}

CK_RV m_FindObjects(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE* out, CK_ULONG max, CK_ULONG* found)
{
    bool ok = false;
    const auto fields = [&] {
        const std::string objs = ok ? commaList(*found, [out](CK_ULONG i) { return dec(out[i]); }) : "-";
        return "max=" + dec(max) + " found=" + (ok ? dec(*found) : "-") + " objects=" + objs;
    };
    return onSession("C_FindObjects", h, fields, [&](Session& ss, Slot&) {
        if (!found || (!out && max))
            return CKR_ARGUMENTS_BAD;
        if (!ss.findActive)
            return CKR_OPERATION_NOT_INITIALIZED;
        CK_ULONG n = 0;
        while (n < max && ss.foundPos < ss.found.size())
            out[n++] = ss.found[ss.foundPos++];
        *found = n;
        ok = true;
        return CKR_OK;
    });
}

CK_RV m_FindObjectsFinal(CK_SESSION_HANDLE h)
{
    return onSession("C_FindObjectsFinal", h, {}, [](Session& ss, Slot&) {
        if (!ss.findActive)
            return CKR_OPERATION_NOT_INITIALIZED;
        ss.findActive = false;
        ss.found.clear();
        ss.foundPos = 0;
        return CKR_OK;
    });
}

// ---- single-part crypto and digest ---------------------------------------------
// C_EncryptInit, C_DecryptInit, C_SignInit, C_VerifyInit and C_DigestInit.
CK_RV opInit(const char* name, OpKind kind, CK_SESSION_HANDLE h, CK_MECHANISM* mech, CK_OBJECT_HANDLE key)
{
    const std::string fields = "mechanism=" + (mech ? hexNum(mech->mechanism) : std::string("NULL")) +
                               (kind == DIGEST ? "" : " key=" + dec(key));
    return onSession(name, h, fields, [&](Session& ss, Slot& s) {
        Op& op = ss.ops[kind];
        Object* o = findObjectOnSlot(s, key);
        CK_ULONG cls = 0;
        if (!mech)
            return CKR_ARGUMENTS_BAD;
        if (op.active && !S().allowReinit)
            return CKR_OPERATION_ACTIVE;
        if (kind == DIGEST && !digestLen(mech->mechanism))
            return CKR_MECHANISM_INVALID;
        if (kind != DIGEST && (!o || !o->ulongAttr(CKA_CLASS, cls) ||
                               (cls != CKO_PUBLIC_KEY && cls != CKO_PRIVATE_KEY && cls != CKO_SECRET_KEY)))
            return CKR_KEY_HANDLE_INVALID;
        op.active = true;
        op.mech = mech->mechanism;
        op.key = key;
        op.data.clear();
        return CKR_OK;
    });
}

// The operation of that kind when active, else NULL and *rv says why.
Op* activeOp(Session& ss, OpKind kind, CK_RV* rv)
{
    Op& op = ss.ops[kind];
    *rv = op.active ? CKR_OK : CKR_OPERATION_NOT_INITIALIZED;
    return op.active ? &op : nullptr;
}

// C_Encrypt, C_Decrypt and C_Sign.
CK_RV cryptoRun(const char* name, OpKind kind, CK_SESSION_HANDLE h, CK_BYTE* data, CK_ULONG dataLen, CK_BYTE* out,
                CK_ULONG* outLen)
{
    const Fields fields = inOut("dataLen=" + dec(dataLen) + " out=" + setOrNull(out), "lenIn", "lenOut", outLen);
    return onSession(name, h, fields, [&](Session& ss, Slot& s) {
        CK_RV rv;
        Op* op = activeOp(ss, kind, &rv);
        if (!op)
            return rv;
        Object* key = findObjectOnSlot(s, op->key);
        const bool argsBad = !outLen || (!data && dataLen);
        if (argsBad || !key) {
            op->active = false;
            return argsBad ? CKR_ARGUMENTS_BAD : CKR_KEY_HANDLE_INVALID;
        }
        const CK_ULONG trueLen = kind == SIGN ? P11MOCK_SIGNATURE_LEN : dataLen;
        if (!out || *outLen < trueLen) {
            *outLen = trueLen + S().extraLen;
            return out ? CKR_BUFFER_TOO_SMALL : CKR_OK;
        }
        const uint64_t seed = keySeed(*key, op->mech);
        if (kind == SIGN)
            checksum(seed, data, dataLen, out, trueLen);
        else
            keystreamXor(seed, data, dataLen, out);
        *outLen = trueLen;
        op->active = false;
        return CKR_OK;
    });
}

CK_RV m_EncryptInit(CK_SESSION_HANDLE h, CK_MECHANISM* m, CK_OBJECT_HANDLE k)
{
    return opInit("C_EncryptInit", ENC, h, m, k);
}
CK_RV m_DecryptInit(CK_SESSION_HANDLE h, CK_MECHANISM* m, CK_OBJECT_HANDLE k)
{
    return opInit("C_DecryptInit", DEC, h, m, k);
}
CK_RV m_SignInit(CK_SESSION_HANDLE h, CK_MECHANISM* m, CK_OBJECT_HANDLE k)
{
    return opInit("C_SignInit", SIGN, h, m, k);
}
CK_RV m_VerifyInit(CK_SESSION_HANDLE h, CK_MECHANISM* m, CK_OBJECT_HANDLE k)
{
    return opInit("C_VerifyInit", VERIFY, h, m, k);
}
CK_RV m_DigestInit(CK_SESSION_HANDLE h, CK_MECHANISM* m)
{
    return opInit("C_DigestInit", DIGEST, h, m, 0);
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
    return onSession("C_Verify", h, "dataLen=" + dec(dataLen) + " sigLen=" + dec(sigLen), [&](Session& ss, Slot& s) {
        CK_RV rv;
        Op* op = activeOp(ss, VERIFY, &rv);
        if (!op)
            return rv;
        op->active = false;
        Object* key = findObjectOnSlot(s, op->key);
        unsigned char expect[P11MOCK_SIGNATURE_LEN];
        if ((!data && dataLen) || (!sig && sigLen))
            return CKR_ARGUMENTS_BAD;
        if (!key)
            return CKR_KEY_HANDLE_INVALID;
        if (sigLen != P11MOCK_SIGNATURE_LEN)
            return CKR_SIGNATURE_LEN_RANGE;
        checksum(keySeed(*key, op->mech), data, dataLen, expect, sizeof expect);
        return std::memcmp(expect, sig, sizeof expect) != 0 ? CKR_SIGNATURE_INVALID : CKR_OK;
    });
}

CK_RV m_DigestUpdate(CK_SESSION_HANDLE h, CK_BYTE* part, CK_ULONG partLen)
{
    return onSession("C_DigestUpdate", h, "partLen=" + dec(partLen), [&](Session& ss, Slot&) {
        CK_RV rv;
        Op* op = activeOp(ss, DIGEST, &rv);
        if (op && !part && partLen) {
            op->active = false;
            return CKR_ARGUMENTS_BAD;
        }
        if (op && partLen)
            op->data.insert(op->data.end(), part, part + partLen);
        return rv;
    });
}

// Digests `extra` after the data so far. A length query or short buffer
// keeps the operation as it was.
CK_RV digestFinish(Op& op, const CK_BYTE* extra, CK_ULONG extraLen, CK_BYTE* out, CK_ULONG* outLen)
{
    if (!outLen) {
        op.active = false;
        return CKR_ARGUMENTS_BAD;
    }
    const CK_ULONG n = digestLen(op.mech);
    if (!out || *outLen < n) {
        *outLen = n;
        return out ? CKR_BUFFER_TOO_SMALL : CKR_OK;
    }
    Bytes all = op.data;
    if (extraLen)
        all.insert(all.end(), extra, extra + extraLen);
    uint64_t m = op.mech;
    checksum(fnv1a(&m, sizeof m), all.data(), all.size(), out, n);
    *outLen = n;
    op.active = false;
    op.data.clear();
    return CKR_OK;
}

CK_RV m_DigestFinal(CK_SESSION_HANDLE h, CK_BYTE* out, CK_ULONG* outLen)
{
    const Fields fields = inOut(std::string("out=") + setOrNull(out), "lenIn", "lenOut", outLen);
    return onSession("C_DigestFinal", h, fields, [&](Session& ss, Slot&) {
        CK_RV rv;
        Op* op = activeOp(ss, DIGEST, &rv);
        return op ? digestFinish(*op, nullptr, 0, out, outLen) : rv;
    });
}

CK_RV m_Digest(CK_SESSION_HANDLE h, CK_BYTE* data, CK_ULONG dataLen, CK_BYTE* out, CK_ULONG* outLen)
{
    const Fields fields = inOut("dataLen=" + dec(dataLen) + " out=" + setOrNull(out), "lenIn", "lenOut", outLen);
    return onSession("C_Digest", h, fields, [&](Session& ss, Slot&) {
        CK_RV rv;
        Op* op = activeOp(ss, DIGEST, &rv);
        if (op && !data && dataLen) {
            op->active = false;
            return CKR_ARGUMENTS_BAD;
        }
        return op ? digestFinish(*op, data, dataLen, out, outLen) : rv;
    });
}

// ---- random -------------------------------------------------------------------
CK_RV m_SeedRandom(CK_SESSION_HANDLE h, CK_BYTE* seed, CK_ULONG seedLen)
{
    const std::string fields = "seed=" + hexOf(seed, seedLen) + " seedLen=" + dec(seedLen);
    return onSession("C_SeedRandom", h, fields, [&](Session&, Slot& s) {
        if (!seed && seedLen)
            return CKR_ARGUMENTS_BAD;
        if (!(s.token.flags & CKF_RNG))
            return CKR_RANDOM_SEED_NOT_SUPPORTED;
        S().rng = fnv1a(seed, seedLen, S().rng);
        return CKR_OK;
    });
}

CK_RV m_GenerateRandom(CK_SESSION_HANDLE h, CK_BYTE* out, CK_ULONG len)
{
    const std::string fields = std::string("out=") + setOrNull(out) + " len=" + dec(len);
    return onSession("C_GenerateRandom", h, fields, [&](Session&, Slot& s) {
        if (!out && len)
            return CKR_ARGUMENTS_BAD;
        if (!(s.token.flags & CKF_RNG))
            return CKR_RANDOM_NO_RNG;
        for (CK_ULONG i = 0; i < len; ++i)
            out[i] = (unsigned char)splitmix(S().rng);
        return CKR_OK;
    });
}

// ---- unsupported functions: one stub per function-pointer type ----------------
template <typename F>
struct StubOf;
template <typename... Args>
struct StubOf<CK_RV (*)(Args...)> {
    template <FunctionIndex Index>
    static CK_RV fn(Args...)
    {
        return call(kFunctionNames[Index], {},
                    [] { return S().initialized ? CKR_FUNCTION_NOT_SUPPORTED : CKR_CRYPTOKI_NOT_INITIALIZED; });
    }
};

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

CK_RV m_GetFunctionList(CK_FUNCTION_LIST** out);

#define P11MOCK_ENTRY_IMPL(f) Exclusive<m_##f>::fn
#define P11MOCK_ENTRY_FREE(f) m_##f
#define P11MOCK_ENTRY_STUB(f) StubOf<CK_C_##f>::fn<k##f>
#define P11MOCK_ENTRY(f, how) P11MOCK_ENTRY_##how(f),
CK_FUNCTION_LIST gFunctionList = {{2, 40}, P11MOCK_FUNCTIONS(P11MOCK_ENTRY)};

CK_RV m_GetFunctionList(CK_FUNCTION_LIST** out)
{
    return call("C_GetFunctionList", {}, [&]() -> CK_RV {
        if (!out)
            return CKR_ARGUMENTS_BAD;
        *out = S().handedList ? S().handedList : &gFunctionList;
        return CKR_OK;
    });
}

bool leaveEmpty(CK_FUNCTION_LIST& list, const std::string& name)
{
#define P11MOCK_LEAVE_EMPTY(f, how)                                                                                    \
    if (name == "C_" #f) {                                                                                             \
        list.C_##f = nullptr;                                                                                          \
        return true;                                                                                                   \
    }
    P11MOCK_FUNCTIONS(P11MOCK_LEAVE_EMPTY)
#undef P11MOCK_LEAVE_EMPTY
    return false;
}

// A list with the named entries empty; nullptr for an unknown name. Every
// list handed out stays valid for the life of the process, as a module
// loaded with it may use it until then.
CK_FUNCTION_LIST* listWithout(const char* names)
{
    static std::vector<CK_FUNCTION_LIST*>* kept = new std::vector<CK_FUNCTION_LIST*>;
    CK_FUNCTION_LIST list = gFunctionList;
    std::string all(names), name;
    for (size_t at = 0; at <= all.size(); ++at) {
        if (at < all.size() && all[at] != ' ') {
            name += all[at];
        } else if (!name.empty()) {
            if (!leaveEmpty(list, name))
                return nullptr;
            name.clear();
        }
    }
    kept->push_back(new CK_FUNCTION_LIST(list));
    return kept->back();
}

// Runs f on the slot under the lock; `missing` for an unknown slot.
template <typename R, typename F>
R withSlot(unsigned long id, R missing, F f)
{
    Guard g;
    Slot* s = findSlot(id);
    return s ? f(*s) : missing;
}

long copyOut(const std::string& v, char* buf, size_t cap)
{
    if (buf) {
        std::memcpy(buf, v.data(), std::min(cap, v.size()));
        if (cap > v.size())
            buf[v.size()] = '\0';
    }
    return (long)v.size();
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

// Control functions that read or set one value under the lock.
#define P11MOCK_GETTER(type, name, value)                                                                              \
    P11MOCK_API type P11MOCK_CALL mock_##name(void)                                                                    \
    {                                                                                                                  \
        Guard g;                                                                                                       \
        return value;                                                                                                  \
    }
#define P11MOCK_SETTER(name, type, field)                                                                              \
    P11MOCK_API void P11MOCK_CALL mock_##name(type v)                                                                  \
    {                                                                                                                  \
        Guard g;                                                                                                       \
        S().field = v;                                                                                                 \
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

P11MOCK_GETTER(int, is_initialized, S().initialized ? 1 : 0)
P11MOCK_GETTER(unsigned long, pending_slot_events, (unsigned long)S().events.size())
P11MOCK_GETTER(unsigned long, waiting_count, S().waiting + static_cast<unsigned long>(S().pollers.size()))
P11MOCK_GETTER(unsigned long, log_line_count, S().logLines)
P11MOCK_SETTER(set_auto_slot_events, int, autoEvents)
P11MOCK_SETTER(set_next_session_handle, unsigned long, nextSession)
P11MOCK_SETTER(set_next_object_handle, unsigned long, nextObject)
P11MOCK_SETTER(set_removed_session_rv, unsigned long, removedRv)
P11MOCK_SETTER(set_extra_reported_length, unsigned long, extraLen)
P11MOCK_SETTER(allow_reinit, int, allowReinit)
P11MOCK_SETTER(set_require_login, int, requireLogin)
P11MOCK_SETTER(log_enable, int, logEnabled)

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
    return withSlot(slotId, -1, [&](Slot& s) {
        if (s.present && !present)
            dropSessionsOfSlot(slotId, true);
        s.present = present != 0;
        if (S().autoEvents)
            queueEvent(slotId);
        return 0;
    });
}

P11MOCK_API void P11MOCK_CALL mock_queue_slot_event(unsigned long slotId)
{
    Guard g;
    queueEvent(slotId);
}

P11MOCK_API int P11MOCK_CALL mock_set_token_info(unsigned long slotId, const char* label, const char* manufacturer,
                                                 const char* model, const char* serial)
{
    return withSlot(slotId, -1, [&](Slot& s) {
        if (label)
            padCopy(s.token.label, 32, label);
        if (manufacturer)
            padCopy(s.token.manufacturer, 32, manufacturer);
        if (model)
            padCopy(s.token.model, 16, model);
        if (serial)
            padCopy(s.token.serial, 16, serial);
        return 0;
    });
}

P11MOCK_API int P11MOCK_CALL mock_set_token_label(unsigned long slotId, const void* bytes, unsigned long length)
{
    return withSlot(slotId, -1, [&](Slot& s) {
        if (length > sizeof s.token.label || (!bytes && length))
            return -1;
        std::memset(s.token.label, ' ', sizeof s.token.label);
        if (length)
            std::memcpy(s.token.label, bytes, length);
        return 0;
    });
}

P11MOCK_API int P11MOCK_CALL mock_set_token_flags(unsigned long slotId, unsigned long flags)
{
    return withSlot(slotId, -1, [&](Slot& s) {
        s.token.flags = flags;
        return 0;
    });
}

P11MOCK_API int P11MOCK_CALL mock_set_removable(unsigned long slotId, int removable)
{
    return withSlot(slotId, -1, [&](Slot& s) {
        s.removable = removable != 0;
        return 0;
    });
}

P11MOCK_API unsigned long P11MOCK_CALL mock_get_token_flags(unsigned long slotId)
{
    return withSlot(slotId, 0UL, [](Slot& s) { return s.token.flags; });
}

P11MOCK_API int P11MOCK_CALL mock_set_user_pin(unsigned long slotId, const char* pin, unsigned long len)
{
    return withSlot(slotId, -1, [&](Slot& s) {
        Token& t = s.token;
        t.hasUserPin = pin != nullptr;
        t.userPin = pin ? std::string(pin, len) : std::string();
        t.flags = pin ? t.flags | CKF_USER_PIN_INITIALIZED : t.flags & ~(CK_FLAGS)CKF_USER_PIN_INITIALIZED;
        return 0;
    });
}

P11MOCK_API int P11MOCK_CALL mock_set_so_pin(unsigned long slotId, const char* pin, unsigned long len)
{
    return withSlot(slotId, -1, [&](Slot& s) {
        s.token.hasSoPin = pin != nullptr;
        s.token.soPin = pin ? std::string(pin, len) : std::string();
        return 0;
    });
}

P11MOCK_API long P11MOCK_CALL mock_get_user_pin(unsigned long slotId, char* buf, size_t cap)
{
    return withSlot(slotId, -1L, [&](Slot& s) { return s.token.hasUserPin ? copyOut(s.token.userPin, buf, cap) : -1; });
}

P11MOCK_API long P11MOCK_CALL mock_get_so_pin(unsigned long slotId, char* buf, size_t cap)
{
    return withSlot(slotId, -1L, [&](Slot& s) { return s.token.hasSoPin ? copyOut(s.token.soPin, buf, cap) : -1; });
}

P11MOCK_API long P11MOCK_CALL mock_get_token_label(unsigned long slotId, char* buf, size_t cap)
{
    return withSlot(slotId, -1L, [&](Slot& s) { return copyOut(std::string(s.token.label, 32), buf, cap); });
}

P11MOCK_API int P11MOCK_CALL mock_get_login_state(unsigned long slotId)
{
    return withSlot(slotId, -2, [](Slot& s) { return (int)s.login; });
}

P11MOCK_API unsigned long P11MOCK_CALL mock_session_count(unsigned long slotId)
{
    Guard g;
    return sessionsOnSlot(slotId);
}

P11MOCK_API unsigned long P11MOCK_CALL mock_add_object(unsigned long slotId, const void* attrs, unsigned long count)
{
    return withSlot(slotId, 0UL, [&](Slot& s) {
        return attrs || !count ? addObject(s.token, static_cast<const CK_ATTRIBUTE*>(attrs), count) : 0UL;
    });
}

P11MOCK_API int P11MOCK_CALL mock_remove_object(unsigned long handle)
{
    Guard g;
    Slot* s = nullptr;
    if (!findObjectAnywhere(handle, &s))
        return -1;
    eraseObject(s->token, handle);
    return 0;
}

P11MOCK_API int P11MOCK_CALL mock_object_exists(unsigned long handle)
{
    Guard g;
    return findObjectAnywhere(handle) ? 1 : 0;
}

P11MOCK_API unsigned long P11MOCK_CALL mock_object_count(unsigned long slotId)
{
    return withSlot(slotId, 0UL, [](Slot& s) { return (unsigned long)s.token.objects.size(); });
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
    if (o)
        o->set(type, value, len);
    return o ? 0 : -1;
}

P11MOCK_API int P11MOCK_CALL mock_remove_attribute(unsigned long handle, unsigned long type)
{
    Guard g;
    Object* o = findObjectAnywhere(handle);
    return o && o->remove(type) ? 0 : -1;
}

P11MOCK_API int P11MOCK_CALL mock_set_empty_entries(const char* names)
{
    Guard g;
    if (!names || !*names) {
        S().handedList = nullptr;
        return 0;
    }
    CK_FUNCTION_LIST* list = listWithout(names);
    if (!list)
        return -1;
    S().handedList = list;
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

P11MOCK_API void P11MOCK_CALL mock_set_single_threaded(int on)
{
    gSingleThreaded.store(on != 0);
}

P11MOCK_API unsigned long P11MOCK_CALL mock_overlap_count(void)
{
    return gOverlaps.load();
}

} // extern "C"
