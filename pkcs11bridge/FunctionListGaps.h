// The load-time look at a module's function list. Some modules leave the
// entries of functions they do not implement empty instead of answering
// CKR_FUNCTION_NOT_SUPPORTED as the standard asks; a call through such an
// entry would jump to address 0 and take the Java VM down.
#ifndef ORV_PKCS11BRIDGE_FUNCTIONLISTGAPS_H
#define ORV_PKCS11BRIDGE_FUNCTIONLISTGAPS_H

#include "pkcs11bridge/Cryptoki.h"

namespace PKCS11Bridge {

class FunctionListGaps {
public:
    // The list itself when every function the bridge calls is there. Else a
    // copy in `answered` whose empty entries answer CKR_FUNCTION_NOT_SUPPORTED,
    // so every caller fails as the module would have had it answered; the
    // caller keeps `answered` as long as it uses the list.
    static CK_FUNCTION_LIST_PTR fill(CK_FUNCTION_LIST_PTR list, CK_FUNCTION_LIST& answered) noexcept;
};

} // namespace PKCS11Bridge

#endif
