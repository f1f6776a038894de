// Taking a module's call lock and finding the slot under it.
#include "pkcs11bridge/PKCS11SlotCall.h"

#include "pkcs11bridge/PKCS11Module.h"

namespace PKCS11Bridge {

PKCS11SlotCall::PKCS11SlotCall(unsigned int moduleId, unsigned int slotIndex)
    : PKCS11SlotCall(PKCS11Module::getModule(moduleId), slotIndex)
{
}

// The slot is looked up under the lock, so a refresh cannot replace the slot
// list between the lookup and the calls.
PKCS11SlotCall::PKCS11SlotCall(const PKCS11Module& module, unsigned int slotIndex)
    : calls_(module.lockCalls()), slot_(module.getSlotUnderCallLock(slotIndex))
{
}

} // namespace PKCS11Bridge
