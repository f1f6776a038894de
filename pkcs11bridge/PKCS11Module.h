// A PKCS#11 library loaded by path, kept under a process-wide module id, with
// one slot object per slot that held a token at the last slot list.
#ifndef ORV_PKCS11BRIDGE_PKCS11MODULE_H
#define ORV_PKCS11BRIDGE_PKCS11MODULE_H

#include "jnibridge/LongArray.h"
#include "jnibridge/String.h"
#include "pkcs11bridge/Cryptoki.h"
#include "pkcs11bridge/PKCS11Slot.h"

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
    JNIBridge::LongArray getSlotList();
    void refresh();
    // Callers keep the slot alive for the whole call, so a refresh running
    // meanwhile on another thread cannot delete it under them.
    std::shared_ptr<PKCS11Slot> getSlot(unsigned int index) const;
    unsigned int getNumberOfSlots() const;
    CK_SLOT_ID waitForSlotEvent();
    unsigned int getModuleId() const noexcept { return moduleId; }
    const JNIBridge::String& getModulePath() const noexcept { return modulePath; }

    static PKCS11Module& getModule(unsigned int moduleId);

private:
    static unsigned int takeNextModuleId();
    static void enterInModuleTable(PKCS11Module* module);

    JNIBridge::String modulePath;
    std::vector<std::shared_ptr<PKCS11Slot>> slots; // guarded by slotsMutex
    mutable std::mutex slotsMutex;
    CK_FUNCTION_LIST_PTR functionList = nullptr;
    unsigned int moduleId = 0;

    static std::vector<PKCS11Module*> moduleTable; // guarded by moduleTableMutex
    static unsigned int nextModuleId;              // guarded by moduleTableMutex
    static std::mutex moduleTableMutex;
};

} // namespace PKCS11Bridge

#endif
