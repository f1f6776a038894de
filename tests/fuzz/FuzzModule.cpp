// The PKCS#11 module of the bridge fuzz target (see FuzzModule.h).
#include "FuzzModule.h"

#include <p11-kit/pkcs11.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

#define ORV_FUZZ_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// One module instance serves every input of a fuzzing process; the target
// installs the input's answer source before each input. Nothing here is
// called from two threads.
FuzzAnswerSource answerSource = nullptr;
void* answerContext = nullptr;
FuzzJournal journal;

unsigned char take()
{
    return answerSource != nullptr ? answerSource(answerContext) : 0;
}

CK_ULONG takeULong()
{
    CK_ULONG value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<CK_ULONG>(take()) << (8 * i);
    }
    return value;
}

// Mostly success; the rest the values the bridge treats specially, and some
// no standard defines.
CK_RV answer()
{
    static const CK_RV failures[] = {
        CKR_DEVICE_REMOVED,
        CKR_SESSION_CLOSED,
        CKR_BUFFER_TOO_SMALL,
        CKR_USER_ALREADY_LOGGED_IN,
        CKR_USER_NOT_LOGGED_IN,
        CKR_SIGNATURE_INVALID,
        CKR_GENERAL_ERROR,
        CKR_TOKEN_NOT_PRESENT,
        CKR_FUNCTION_NOT_SUPPORTED,
        CKR_PIN_INCORRECT,
        CKR_ATTRIBUTE_TYPE_INVALID,
        CKR_ATTRIBUTE_SENSITIVE,
        CKR_SESSION_HANDLE_INVALID,
        CKR_NO_EVENT,
        CKR_OBJECT_HANDLE_INVALID,
        0x80000000UL,
        0xFFFFFFFFUL,
        CKR_CRYPTOKI_NOT_INITIALIZED,
        CKR_ARGUMENTS_BAD,
        (CK_RV{1} << 32) | CKR_PIN_INCORRECT,
    };
    const unsigned char b = take();
    if (b < 0xA0) {
        return CKR_OK;
    }
    return failures[(b - 0xA0) % (sizeof failures / sizeof failures[0])];
}

// A length to report: the natural one, or one a careless or hostile module
// might give (zero, just past the buffer, around INT_MAX, past 32 bits).
CK_ULONG chooseLength(CK_ULONG natural, CK_ULONG capacity)
{
    // Choice 8, just past 32 bits, takes another byte; above 10 the length is a byte.
    const CK_ULONG picks[] = {natural,
                              0,
                              capacity,
                              capacity + 1,
                              2 * capacity + 1,
                              INT_MAX,
                              CK_ULONG{INT_MAX} + 1,
                              UINT_MAX,
                              0,
                              CK_UNAVAILABLE_INFORMATION,
                              CK_ULONG{1} << 20};
    const unsigned choice = take() % 16;
    if (choice == 8) {
        return (CK_ULONG{1} << 32) + take();
    }
    return choice < 11 ? picks[choice] : take();
}

// How many of something a module claims: a handful, or a number no list holds.
CK_ULONG chooseCount()
{
    const unsigned char b = take();
    if (b < 0xF0) {
        return b % 9;
    }
    static const CK_ULONG lies[] = {
        64, 65, INT_MAX, CK_ULONG{INT_MAX} + 1, UINT_MAX, (CK_ULONG{1} << 32) + 1, CK_UNAVAILABLE_INFORMATION, 1000};
    return lies[(b - 0xF0) % (sizeof lies / sizeof lies[0])];
}

// Every byte the bridge hands over is read, so a pointer and length that do
// not belong together show up as an out-of-bounds read.
void readAll(const void* data, CK_ULONG length)
{
    if (data == nullptr) {
        return;
    }
    volatile unsigned char sink = 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (CK_ULONG i = 0; i < length; ++i) {
        sink = sink ^ bytes[i];
    }
}

void fill(CK_BYTE_PTR out, CK_ULONG count, unsigned char salt)
{
    for (CK_ULONG i = 0; i < count; ++i) {
        out[i] = fuzzOutputByte(salt, i);
    }
}

// Calls that only answer: initialise and finalise always succeed, the rest
// (close, logout, find final, destroy) take an answer.
template <typename... Arguments>
CK_RV succeed(Arguments...)
{
    return CKR_OK;
}

template <typename... Arguments>
CK_RV answerOnly(Arguments...)
{
    return answer();
}

// Encrypt, decrypt, sign and digest final: the size query, then the output.
CK_RV output(CK_BYTE_PTR out, CK_ULONG_PTR length)
{
    const CK_RV rv = answer();
    if (rv != CKR_OK) {
        return rv;
    }
    if (out == nullptr) {
        const CK_ULONG natural = 16 + take();
        *length = chooseLength(natural, natural);
        journal.queryLengthReported = *length;
        return CKR_OK;
    }
    const CK_ULONG capacity = *length;
    const CK_ULONG reported = chooseLength(capacity, capacity);
    journal.outputSalt = take();
    journal.outputWritten = std::min(reported, capacity);
    journal.outputReported = reported;
    fill(out, journal.outputWritten, journal.outputSalt);
    *length = reported;
    return CKR_OK;
}

CK_RV getSlotList(CK_BBOOL, CK_SLOT_ID_PTR list, CK_ULONG_PTR count)
{
    if (list == nullptr) {
        journal.slotCountQueried = 0;
    }
    const CK_RV rv = answer();
    if (rv != CKR_OK) {
        return rv;
    }
    const CK_ULONG listed = chooseCount();
    if (list == nullptr) {
        *count = listed;
        journal.slotCountQueried = listed;
        return CKR_OK;
    }
    ++journal.slotListCalls;
    const CK_ULONG capacity = *count;
    const CK_ULONG written = std::min<CK_ULONG>({listed, capacity, 64});
    for (CK_ULONG i = 0; i < written; ++i) {
        list[i] = take();
        journal.slotIds[i] = list[i];
    }
    journal.slotIdsWritten = written;
    journal.slotCountReported = listed;
    *count = listed;
    return listed > capacity && take() % 2 == 0 ? CKR_BUFFER_TOO_SMALL : CKR_OK;
}

CK_RV getSlotInfo(CK_SLOT_ID, CK_SLOT_INFO_PTR info)
{
    const CK_RV rv = answer();
    std::memset(info, ' ', sizeof *info);
    info->flags = (take() & 1) == 0 ? CKF_TOKEN_PRESENT : 0;
    return rv;
}

CK_RV getTokenInfo(CK_SLOT_ID, CK_TOKEN_INFO_PTR info)
{
    const CK_RV rv = answer();
    if (rv != CKR_OK) {
        return rv;
    }
    std::memset(info, 0, sizeof *info);
    auto takeInto = [](auto& field, unsigned char* kept) {
        for (auto& b : field) {
            b = take();
        }
        std::memcpy(kept, field, sizeof field);
    };
    takeInto(info->label, journal.label);
    takeInto(info->manufacturerID, journal.manufacturerID);
    takeInto(info->model, journal.model);
    takeInto(info->serialNumber, journal.serialNumber);
    info->flags = takeULong();
    info->ulSessionCount = chooseLength(take(), 0);
    journal.tokenFlags = info->flags;
    journal.sessionCount = info->ulSessionCount;
    return CKR_OK;
}

CK_RV openSession(CK_SLOT_ID, CK_FLAGS, CK_VOID_PTR application, CK_NOTIFY, CK_SESSION_HANDLE_PTR session)
{
    readAll(application, application != nullptr ? std::strlen(static_cast<const char*>(application)) : 0);
    const CK_RV rv = answer();
    *session = takeULong();
    return rv;
}

CK_RV login(CK_SESSION_HANDLE, CK_USER_TYPE, CK_UTF8CHAR_PTR pin, CK_ULONG length)
{
    readAll(pin, length);
    return answer();
}

CK_RV setPIN(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR oldPin, CK_ULONG oldLength, CK_UTF8CHAR_PTR newPin, CK_ULONG newLength)
{
    readAll(oldPin, oldLength);
    readAll(newPin, newLength);
    return answer();
}

CK_RV initToken(CK_SLOT_ID, CK_UTF8CHAR_PTR pin, CK_ULONG length, CK_UTF8CHAR_PTR label)
{
    readAll(pin, length);
    readAll(label, 32);
    return answer();
}

CK_RV initPIN(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR pin, CK_ULONG length)
{
    readAll(pin, length);
    return answer();
}

CK_RV withMechanism(CK_MECHANISM_PTR mechanism)
{
    readAll(mechanism, sizeof *mechanism);
    readAll(mechanism->pParameter, mechanism->ulParameterLen);
    return answer();
}

CK_RV digestInit(CK_SESSION_HANDLE, CK_MECHANISM_PTR mechanism)
{
    return withMechanism(mechanism);
}

CK_RV digestUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR data, CK_ULONG length)
{
    readAll(data, length);
    return answer();
}

CK_RV digestFinal(CK_SESSION_HANDLE, CK_BYTE_PTR out, CK_ULONG_PTR length)
{
    return output(out, length);
}

CK_RV seedRandom(CK_SESSION_HANDLE, CK_BYTE_PTR seed, CK_ULONG length)
{
    readAll(seed, length);
    return answer();
}

CK_RV generateRandom(CK_SESSION_HANDLE, CK_BYTE_PTR out, CK_ULONG length)
{
    const CK_RV rv = answer();
    if (rv != CKR_OK) {
        return rv;
    }
    journal.randomSalt = take();
    fill(out, length, journal.randomSalt);
    return CKR_OK;
}

CK_RV findObjectsInit(CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR attributes, CK_ULONG count)
{
    for (CK_ULONG i = 0; i < count; ++i) {
        readAll(attributes[i].pValue, attributes[i].ulValueLen);
    }
    journal.handlesFound = 0;
    return answer();
}

CK_RV findObjects(CK_SESSION_HANDLE, CK_OBJECT_HANDLE_PTR handles, CK_ULONG most, CK_ULONG_PTR found)
{
    const CK_RV rv = answer();
    if (rv != CKR_OK) {
        return rv;
    }
    const CK_ULONG picks[] = {0, most + 1, CK_UNAVAILABLE_INFORMATION, (CK_ULONG{1} << 32) + 1};
    const unsigned choice = take() % 8;
    const CK_ULONG reported = choice < 4 ? picks[choice] : std::min<CK_ULONG>(1, most);
    const CK_ULONG written = std::min(reported, most);
    for (CK_ULONG i = 0; i < written; ++i) {
        handles[i] = takeULong();
        if (journal.handlesFound < 64) {
            journal.handles[journal.handlesFound++] = handles[i];
        }
    }
    *found = reported;
    return CKR_OK;
}

CK_RV getAttributeValue(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR attributes, CK_ULONG count)
{
    const CK_RV rv = answer();
    for (CK_ULONG i = 0; i < count; ++i) {
        CK_ATTRIBUTE& a = attributes[i];
        if (a.pValue == nullptr) {
            const CK_ULONG natural = take() % 40;
            a.ulValueLen = chooseLength(natural, natural);
            continue;
        }
        const CK_ULONG capacity = a.ulValueLen;
        const CK_ULONG reported = chooseLength(capacity, capacity);
        fill(static_cast<CK_BYTE_PTR>(a.pValue), std::min(reported, capacity), take());
        a.ulValueLen = reported;
    }
    return rv;
}

CK_RV keyInit(CK_SESSION_HANDLE, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE)
{
    return withMechanism(mechanism);
}

CK_RV singlePart(CK_SESSION_HANDLE, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out, CK_ULONG_PTR outLength)
{
    readAll(in, inLength);
    return output(out, outLength);
}

CK_RV verify(CK_SESSION_HANDLE, CK_BYTE_PTR data, CK_ULONG length, CK_BYTE_PTR signature, CK_ULONG signatureLength)
{
    readAll(data, length);
    readAll(signature, signatureLength);
    return answer();
}

CK_RV waitForSlotEvent(CK_FLAGS, CK_SLOT_ID_PTR slot, CK_VOID_PTR)
{
    const CK_RV rv = answer();
    *slot = takeULong();
    return rv;
}

CK_FUNCTION_LIST makeFunctionList()
{
    CK_FUNCTION_LIST list;
    std::memset(&list, 0, sizeof list);
    list.version = {2, 40};
    list.C_Initialize = succeed<CK_VOID_PTR>;
    list.C_Finalize = succeed<CK_VOID_PTR>;
    list.C_GetSlotList = getSlotList;
    list.C_GetSlotInfo = getSlotInfo;
    list.C_GetTokenInfo = getTokenInfo;
    list.C_InitToken = initToken;
    list.C_InitPIN = initPIN;
    list.C_SetPIN = setPIN;
    list.C_OpenSession = openSession;
    list.C_CloseSession = answerOnly<CK_SESSION_HANDLE>;
    list.C_CloseAllSessions = answerOnly<CK_SLOT_ID>;
    list.C_Login = login;
    list.C_Logout = answerOnly<CK_SESSION_HANDLE>;
    list.C_DestroyObject = answerOnly<CK_SESSION_HANDLE, CK_OBJECT_HANDLE>;
    list.C_GetAttributeValue = getAttributeValue;
    list.C_FindObjectsInit = findObjectsInit;
    list.C_FindObjects = findObjects;
    list.C_FindObjectsFinal = answerOnly<CK_SESSION_HANDLE>;
    list.C_EncryptInit = keyInit;
    list.C_Encrypt = singlePart;
    list.C_DecryptInit = keyInit;
    list.C_Decrypt = singlePart;
    list.C_DigestInit = digestInit;
    list.C_DigestUpdate = digestUpdate;
    list.C_DigestFinal = digestFinal;
    list.C_SignInit = keyInit;
    list.C_Sign = singlePart;
    list.C_VerifyInit = keyInit;
    list.C_Verify = verify;
    list.C_SeedRandom = seedRandom;
    list.C_GenerateRandom = generateRandom;
    list.C_WaitForSlotEvent = waitForSlotEvent;
    return list;
}

CK_FUNCTION_LIST functionList = makeFunctionList();
CK_FUNCTION_LIST listWithGaps;

constexpr std::size_t kEntryCount = sizeof journal.emptyEntries;
static_assert(offsetof(CK_FUNCTION_LIST, C_Initialize) + kEntryCount * sizeof(CK_C_Initialize) ==
                  sizeof(CK_FUNCTION_LIST),
              "one journal flag per entry");

// Mostly the full list; else a copy with one to three entries empty.
CK_FUNCTION_LIST_PTR listToHandOut()
{
    if (answerSource == nullptr || take() < 0xC0) {
        return &functionList;
    }
    listWithGaps = functionList;
    const int gaps = 1 + take() % 3;
    for (int i = 0; i < gaps; ++i) {
        const std::size_t entry = take() % kEntryCount;
        char* at = reinterpret_cast<char*>(&listWithGaps) + offsetof(CK_FUNCTION_LIST, C_Initialize);
        std::memset(at + entry * sizeof(CK_C_Initialize), 0, sizeof(CK_C_Initialize));
        journal.emptyEntries[entry] = 1;
    }
    return &listWithGaps;
}

} // namespace

ORV_FUZZ_EXPORT CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list)
{
    if (list == nullptr) {
        return CKR_ARGUMENTS_BAD;
    }
    *list = listToHandOut();
    return CKR_OK;
}

ORV_FUZZ_EXPORT void orvfuzz_install_source(FuzzAnswerSource source, void* context)
{
    answerSource = source;
    answerContext = context;
    std::memset(&journal, 0, sizeof journal);
}

ORV_FUZZ_EXPORT FuzzJournal* orvfuzz_journal(void)
{
    return &journal;
}
