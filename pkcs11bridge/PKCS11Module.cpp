// Loading PKCS#11 libraries, the module table and the slot list.
#include "pkcs11bridge/PKCS11Module.h"

#include "jnibridge/DiagnosticLog.h"
#include "jnibridge/IndexOutOfBoundsException.h"
#include "jnibridge/ModifiedUtf8.h"
#include "pkcs11bridge/FunctionListGaps.h"
#include "pkcs11bridge/LoggedFunctionList.h"
#include "pkcs11bridge/PKCS11Exception.h"
#include "platform/Win32.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

using JNIBridge::DiagnosticLog;
using JNIBridge::LongArray;
using JNIBridge::String;

namespace PKCS11Bridge {

namespace {

// Far more slots than any module has; a larger count is a module's mistake,
// not something to allocate.
constexpr CK_ULONG kLongestSlotList = 0x10000;

// How long a waiter for a slot event sleeps, without the call lock, between
// two looks at the module.
constexpr std::chrono::milliseconds kSlotEventPollInterval{50};

[[noreturn]] void throwSlotEventFailure(CK_RV rv)
{
    throw PKCS11Exception(String("PKCS11Module::waitForSlotEvent() - Failed on call to "
                                 "C_WaitForSlotEvent(0, &slotID, NULL_PTR) it returned '")
                              .append(messageNumber(rv))
                              .append("'."));
}

// The path comes from Java as modified UTF-8. LoadLibraryA would read it in
// the ANSI code page, which cannot name most folders outside ASCII, so on
// Windows it goes as UTF-16. dlopen takes UTF-8, in which a character outside
// the BMP is one four-byte sequence, not Java's two surrogates.
HMODULE openLibrary(const String& path)
{
#ifdef _WIN32
    const std::optional<std::u16string> wide = JNIBridge::ModifiedUtf8::toUtf16(path.c_str(), path.length());
    return wide ? LoadLibraryW(reinterpret_cast<LPCWSTR>(wide->c_str())) : nullptr;
#else
    const std::optional<std::string> utf8 = JNIBridge::ModifiedUtf8::toUtf8(path.c_str(), path.length());
    return utf8 ? LoadLibraryA(utf8->c_str()) : nullptr;
#endif
}

} // namespace

std::vector<PKCS11Module*> PKCS11Module::moduleTable_;
unsigned int PKCS11Module::nextModuleId_ = 0;
std::map<const void*, std::shared_ptr<CallLock>> PKCS11Module::libraryCallLocks_;
std::mutex PKCS11Module::moduleTableMutex_;

PKCS11Module::PKCS11Module(const String& path) : modulePath_(path)
{
    loadPKCS11Library();
    moduleId_ = takeNextModuleId();
    refresh();
    enterInModuleTable(this);
}

PKCS11Module::~PKCS11Module()
{
    {
        std::lock_guard<std::mutex> lock(moduleTableMutex_);
        moduleTable_.erase(std::remove(moduleTable_.begin(), moduleTable_.end(), this), moduleTable_.end());
    }
    const DiagnosticLog::HeldLines lines;
    const std::lock_guard<CallLock> calls(*callLock_);
    {
        std::lock_guard<std::mutex> lock(slotsMutex_);
        slots_.clear();
    }
    functionList_->C_Finalize(NULL_PTR);
}

unsigned int PKCS11Module::takeNextModuleId()
{
    std::lock_guard<std::mutex> lock(moduleTableMutex_);
    return nextModuleId_++;
}

void PKCS11Module::enterInModuleTable(PKCS11Module* module)
{
    std::lock_guard<std::mutex> lock(moduleTableMutex_);
    moduleTable_.push_back(module);
}

// Loading one file twice gives the same library, and its second C_Initialize
// must not run beside the first module's calls.
std::shared_ptr<CallLock> PKCS11Module::callLockOf(const void* library)
{
    std::lock_guard<std::mutex> lock(moduleTableMutex_);
    std::shared_ptr<CallLock>& callLock = libraryCallLocks_[library];
    if (!callLock) {
        callLock = std::make_shared<CallLock>();
    }
    return callLock;
}

// The module handle is deliberately not kept: the library stays loaded for
// the life of the process, whatever fails later.
void PKCS11Module::loadPKCS11Library()
{
    HMODULE library = openLibrary(modulePath_);
    if (library == nullptr) {
        throw PKCS11Exception(String("PKCS11Module::loadPKCS11Library() - Failed on call to LoadLibrary('")
                                  .append(modulePath_)
                                  .append("')"));
    }
    callLock_ = callLockOf(library);
    const DiagnosticLog::HeldLines lines;
    const std::lock_guard<CallLock> calls(*callLock_);
    auto getFunctionList =
        reinterpret_cast<CK_C_GetFunctionList>(reinterpret_cast<void*>(GetProcAddress(library, "C_GetFunctionList")));
    if (getFunctionList == nullptr) {
        throw PKCS11Exception(String("PKCS11Module::loadPKCS11Library() - Failed on call to GetProcAddress('")
                                  .append(modulePath_)
                                  .append("', 'C_GetFunctionList')"));
    }
    CK_RV rv = getFunctionList(&functionList_);
    if (rv != CKR_OK || functionList_ == nullptr) {
        throw PKCS11Exception(
            "PKCS11Module::loadPKCS11Library() - Failed to invoke C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR)", rv);
    }
    functionList_ = FunctionListGaps::fill(LoggedFunctionList::wrap(functionList_), answeredList_);
    rv = functionList_->C_Initialize(NULL_PTR);
    if (rv != CKR_OK) {
        throw PKCS11Exception("PKCS11Module::loadPKCS11Library() - Failed on call to C_Initialize(NULL_PTR)", rv);
    }
}

LongArray PKCS11Module::getSlotList()
{
    CK_ULONG count = 0;
    CK_RV rv = functionList_->C_GetSlotList(CK_TRUE, NULL_PTR, &count);
    if (rv != CKR_OK) {
        throw PKCS11Exception("PKCS11Module::getSlotList() - Failed on call to C_GetSlotList(NULL_PTR)", rv);
    }
    if (count == 0) {
        return LongArray();
    }
    // Cut down to a buffer, a count would still tell the module it may write
    // past that buffer.
    if (count > kLongestSlotList) {
        throw PKCS11Exception("PKCS11Module::getSlotList() - Failed on call to C_GetSlotList(NULL_PTR)"
                              " - The module reported an unusable slot count");
    }
    LongArray slotIds(static_cast<unsigned int>(count));
    rv = functionList_->C_GetSlotList(CK_TRUE, slotIds.data(), &count);
    if (rv != CKR_OK) {
        throw PKCS11Exception("PKCS11Module::getSlotList() - Failed on second call to C_GetSlotList()", rv);
    }
    // A module cannot have written more ids than the buffer holds.
    const unsigned int reported = static_cast<unsigned int>(std::min<CK_ULONG>(count, slotIds.length()));
    return LongArray(slotIds.data(), 0, reported);
}

// The old slots go whatever happens. Their sessions are closed first: login
// state is the token's, so a session left open inside the module would keep
// the token logged in for the new slots. They are dropped when the new list
// is installed, so a reader of the slot count never sees the list empty in
// between. A failed slot list leaves no slots.
void PKCS11Module::refresh()
{
    const DiagnosticLog::HeldLines lines;
    const std::lock_guard<CallLock> calls(*callLock_);
    for (const std::shared_ptr<PKCS11Slot>& slot : slots_) {
        slot->abandonSession();
    }
    std::vector<std::shared_ptr<PKCS11Slot>> fresh;
    try {
        const LongArray slotIds = getSlotList();
        fresh.reserve(slotIds.length());
        for (unsigned int i = 0; i < slotIds.length(); ++i) {
            fresh.push_back(std::make_shared<PKCS11Slot>(functionList_, slotIds[i]));
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(slotsMutex_);
        slots_.clear();
        throw;
    }
    std::lock_guard<std::mutex> lock(slotsMutex_);
    slots_.swap(fresh);
}

// Callers hold slotsMutex_ or the call lock: the list changes only under both.
const std::shared_ptr<PKCS11Slot>& PKCS11Module::slotAt(unsigned int index) const
{
    if (index >= slots_.size()) {
        throw JNIBridge::IndexOutOfBoundsException("PKCS11Module::getSlot(unsigned int) - index ",
                                                   static_cast<int>(index), 0, static_cast<int>(slots_.size()) - 1);
    }
    return slots_[index];
}

std::shared_ptr<PKCS11Slot> PKCS11Module::getSlot(unsigned int index) const
{
    std::lock_guard<std::mutex> lock(slotsMutex_);
    return slotAt(index);
}

// No second lock and no share taken: every native pays for this lookup.
PKCS11Slot& PKCS11Module::getSlotUnderCallLock(unsigned int index) const
{
    return *slotAt(index);
}

unsigned int PKCS11Module::getNumberOfSlots() const
{
    std::lock_guard<std::mutex> lock(slotsMutex_);
    return static_cast<unsigned int>(slots_.size());
}

// A module whose every slot is fixed (SoftHSM2, p11-kit's trust module) gets
// the blocking wait it was asked for, outside the call lock: it either
// refuses it at once or waits for an event it can report, and the caller
// learns which. A module with a removable slot (OpenSC), or one whose slots
// cannot be told, is polled instead: its blocking wait deadlocks in PC/SC or
// corrupts its state beside another call, yet C_Initialize(NULL_PTR) promised
// it one caller at a time. Each look is a non-blocking call under the lock,
// and the sleeps between looks are outside it.
CK_SLOT_ID PKCS11Module::waitForSlotEvent()
{
    const std::lock_guard<std::mutex> oneWaiter(slotEventMutex_);
    if (hasOnlyFixedSlots()) {
        CK_SLOT_ID slotID = 0;
        const CK_RV rv = functionList_->C_WaitForSlotEvent(0, &slotID, NULL_PTR);
        if (rv != CKR_OK) {
            throwSlotEventFailure(rv);
        }
        return slotID;
    }
    for (;;) {
        CK_SLOT_ID slotID = 0;
        const CK_RV rv = pollSlotEvent(slotID);
        if (rv == CKR_OK) {
            return slotID;
        }
        if (rv != CKR_NO_EVENT) {
            throwSlotEventFailure(rv);
        }
        std::this_thread::sleep_for(kSlotEventPollInterval);
    }
}

// Every slot the module has counts, with a token or without: an empty card
// reader beside fixed token slots is still a reader. No slot at all may be a
// reader not yet reported, and a list or a slot that cannot be read may have
// gone: each counts as removable.
bool PKCS11Module::hasOnlyFixedSlots()
{
    const DiagnosticLog::HeldLines lines;
    const std::lock_guard<CallLock> calls(*callLock_);
    std::vector<CK_SLOT_ID> slotIds;
    if (!listEverySlot(slotIds) || slotIds.empty()) {
        return false;
    }
    for (const CK_SLOT_ID slotId : slotIds) {
        CK_SLOT_INFO info;
        info.flags = 0;
        if (functionList_->C_GetSlotInfo(slotId, &info) != CKR_OK || (info.flags & CKF_REMOVABLE_DEVICE) != 0) {
            return false;
        }
    }
    return true;
}

// Callers hold the call lock. False when the module cannot list its slots.
bool PKCS11Module::listEverySlot(std::vector<CK_SLOT_ID>& slotIds)
{
    CK_ULONG count = 0;
    if (functionList_->C_GetSlotList(CK_FALSE, NULL_PTR, &count) != CKR_OK || count > kLongestSlotList) {
        return false;
    }
    slotIds.resize(count);
    if (count != 0 && functionList_->C_GetSlotList(CK_FALSE, slotIds.data(), &count) != CKR_OK) {
        return false;
    }
    // A module cannot have written more ids than the buffer holds.
    slotIds.resize(std::min<CK_ULONG>(count, slotIds.size()));
    return true;
}

CK_RV PKCS11Module::pollSlotEvent(CK_SLOT_ID& slotID)
{
    const DiagnosticLog::HeldLines lines;
    const std::lock_guard<CallLock> calls(*callLock_);
    return functionList_->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slotID, NULL_PTR);
}

PKCS11Module& PKCS11Module::getModule(unsigned int moduleId)
{
    std::lock_guard<std::mutex> lock(moduleTableMutex_);
    for (PKCS11Module* module : moduleTable_) {
        if (module->moduleId_ == moduleId) {
            return *module;
        }
    }
    throw PKCS11Exception(String("PKCS11Module::getModule(unsigned int) - A PKCS11Module with a moduleId of '")
                              .append(static_cast<int>(moduleId))
                              .append("' was not found"));
}

} // namespace PKCS11Bridge
