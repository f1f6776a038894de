// The slot a Java call names, held together with its module's call lock: a
// native's whole sequence of module calls (session check, searches, attribute
// reads, Init, length query, final call) then runs as one, and no other thread
// reaches the module in between.
//
//   const ByteArray signature = PKCS11SlotCall(moduleId, slotIndex)->signData(...);
//
// Convert Java arguments before making one and Java results after it is gone,
// so that no lock is held while Java runs.
#ifndef ORV_PKCS11BRIDGE_PKCS11SLOTCALL_H
#define ORV_PKCS11BRIDGE_PKCS11SLOTCALL_H

#include "jnibridge/DiagnosticLog.h"
#include "pkcs11bridge/CallLock.h"
#include "pkcs11bridge/PKCS11Slot.h"

#include <memory>
#include <mutex>

namespace PKCS11Bridge {

class PKCS11Module;

class PKCS11SlotCall {
public:
    // Throws what getModule and getSlot throw, holding no lock.
    PKCS11SlotCall(unsigned int moduleId, unsigned int slotIndex);
    PKCS11SlotCall(const PKCS11Module& module, unsigned int slotIndex);
    PKCS11SlotCall(const PKCS11SlotCall&) = delete;
    PKCS11SlotCall& operator=(const PKCS11SlotCall&) = delete;

    PKCS11Slot* operator->() const noexcept { return &slot_; }
    PKCS11Slot& operator*() const noexcept { return slot_; }

private:
    // Before calls_, so the lines of the module calls are written once the lock is given back.
    JNIBridge::DiagnosticLog::HeldLines lines_;
    std::unique_lock<CallLock> calls_;
    PKCS11Slot& slot_;
};

} // namespace PKCS11Bridge

#endif
