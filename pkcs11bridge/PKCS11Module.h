// A PKCS#11 library loaded by path, kept under a process-wide module id, with
// one slot object per slot that held a token at the last slot list.
#ifndef ORV_PKCS11BRIDGE_PKCS11MODULE_H
#define ORV_PKCS11BRIDGE_PKCS11MODULE_H

#include "jnibridge/LongArray.h"
#include "jnibridge/String.h"
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
    // Blocks without the call lock, so the module's other calls go on.
    CK_SLOT_ID waitForSlotEvent();

    // The library was initialised without locking, so it may assume that no two
    // threads call it at once: every sequence of calls into it runs under this
    // lock, shared by every module object over the same loaded library.
    std::unique_lock<std::mutex> lockCalls() const { return std::unique_lock<std::mutex>(*callMutex); }
    unsigned int getModuleId() const noexcept { return moduleId; }
    const JNIBridge::String& getModulePath() const noexcept { return modulePath; }

    static PKCS11Module& getModule(unsigned int moduleId);

private:
    static unsigned int takeNextModuleId();
    static void enterInModuleTable(PKCS11Module* module);
    static std::shared_ptr<std::mutex> callMutexOf(const void* library);
    const std::shared_ptr<PKCS11Slot>& slotAt(unsigned int index) const;

    JNIBridge::String modulePath;
    // Written under the call lock and slotsMutex, so read under either.
    std::vector<std::shared_ptr<PKCS11Slot>> slots;
    mutable std::mutex slotsMutex;
    CK_FUNCTION_LIST_PTR functionList = nullptr;
    unsigned int moduleId = 0;
    std::shared_ptr<std::mutex> callMutex;
    // The standard leaves two concurrent waits undefined, so waiters queue.
    std::mutex slotEventMutex;

    // Lock order, outermost first: slotEventMutex (never held with another);
    // a library's callMutex; slotsMutex; moduleTableMutex. The last two are
    // leaves: no module call and no call into Java is made while they are held.
    static std::vector<PKCS11Module*> moduleTable; // guarded by moduleTableMutex
    static unsigned int nextModuleId;              // guarded by moduleTableMutex
    // One call mutex per loaded library file, kept for the life of the process
    // as the libraries are. Guarded by moduleTableMutex.
    static std::map<const void*, std::shared_ptr<std::mutex>> libraryCallMutexes;
    static std::mutex moduleTableMutex;
};

} // namespace PKCS11Bridge

#endif
