// A PKCS#11 library loaded by path, kept under a process-wide module id, with
// one slot object per slot that held a token at the last slot list.
#ifndef ORV_PKCS11BRIDGE_PKCS11MODULE_H
#define ORV_PKCS11BRIDGE_PKCS11MODULE_H

#include "jnibridge/LongArray.h"
#include "jnibridge/String.h"
#include "pkcs11bridge/CallLock.h"
#include "pkcs11bridge/Cryptoki.h"
#include "pkcs11bridge/PKCS11Slot.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace PKCS11Bridge {

class PKCS11Module {
public:
    // Loads and initialises the library, takes the next id, builds the slots
    // and enters the module in the table. Create on the heap: the table owns
    // the module from then on.
    explicit PKCS11Module(const JNIBridge::String& path);
    PKCS11Module(const PKCS11Module&) = delete;
    PKCS11Module& operator=(const PKCS11Module&) = delete;
    // Leaves the table, drops the slots and finalises the library. The library
    // itself never destroys a module.
    virtual ~PKCS11Module();

    void loadPKCS11Library();
    // Callers hold the call lock.
    JNIBridge::LongArray getSlotList();
    void refresh();
    // Callers hold the call lock for as long as they use the slot; their share
    // keeps the slot alive even so.
    std::shared_ptr<PKCS11Slot> getSlot(unsigned int index) const;
    // The same slot for a caller that holds the call lock for as long as it
    // uses the slot: a refresh, which replaces the list, waits for that lock.
    PKCS11Slot& getSlotUnderCallLock(unsigned int index) const;
    unsigned int getNumberOfSlots() const;
    // Waits until the module reports a slot event; the module's other calls
    // go on meanwhile. A module whose every slot, with a token or without, is
    // fixed is asked to block.
    CK_SLOT_ID waitForSlotEvent();

    // The library was initialised without locking, so it may assume that no two
    // threads call it at once: every sequence of calls into it runs under this
    // lock, shared by every module object over the same loaded library. Callers
    // get it in the order they asked for it.
    std::unique_lock<CallLock> lockCalls() const { return std::unique_lock<CallLock>(*callLock_); }
    const CallLock& getCallLock() const noexcept { return *callLock_; }
    unsigned int getModuleId() const noexcept { return moduleId_; }
    const JNIBridge::String& getModulePath() const noexcept { return modulePath_; }

    static PKCS11Module& getModule(unsigned int moduleId);

private:
    static unsigned int takeNextModuleId();
    static void enterInModuleTable(PKCS11Module* module);
    CK_RV pollSlotEvent(CK_SLOT_ID& slotID);
    bool hasOnlyFixedSlots();
    bool listEverySlot(std::vector<CK_SLOT_ID>& slotIds);
    static std::shared_ptr<CallLock> callLockOf(const void* library);
    const std::shared_ptr<PKCS11Slot>& slotAt(unsigned int index) const;

    JNIBridge::String modulePath_;
    // Written under the call lock and slotsMutex_, so read under either.
    std::vector<std::shared_ptr<PKCS11Slot>> slots_;
    mutable std::mutex slotsMutex_;
    CK_FUNCTION_LIST_PTR functionList_ = nullptr;
    // The module's list with its empty entries answered, when it has any.
    CK_FUNCTION_LIST answeredList_{};
    unsigned int moduleId_ = 0;
    std::shared_ptr<CallLock> callLock_;
    // The standard leaves two concurrent waits undefined, so waiters queue.
    std::mutex slotEventMutex_;

    // Lock order, outermost first: slotEventMutex_ (a waiter holds it across
    // its polls, each under the call lock);
    // a library's callLock_ (whose wait mutex is only held inside its lock and
    // unlock); slotsMutex_; moduleTableMutex_. The last two are
    // leaves: no module call and no call into Java is made while they are held.
    static std::vector<PKCS11Module*> moduleTable_; // guarded by moduleTableMutex_
    static unsigned int nextModuleId_;              // guarded by moduleTableMutex_
    // One call lock per loaded library file, kept for the life of the process
    // as the libraries are. Guarded by moduleTableMutex_.
    static std::map<const void*, std::shared_ptr<CallLock>> libraryCallLocks_;
    static std::mutex moduleTableMutex_;
};

} // namespace PKCS11Bridge

#endif
