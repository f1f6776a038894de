// The function list the bridge calls a module through. With the diagnostic
// log on it is a copy of the module's own whose entries write one line per
// call (C_ name, slot or session, flags or mechanism, return value's name,
// duration) and forward to the module's; with it off it is the module's own,
// so the calls cost nothing extra.
#ifndef ORV_PKCS11BRIDGE_LOGGEDFUNCTIONLIST_H
#define ORV_PKCS11BRIDGE_LOGGEDFUNCTIONLIST_H

#include "pkcs11bridge/Cryptoki.h"

namespace PKCS11Bridge {

class LoggedFunctionList {
public:
    // One copy per module list, kept for the life of the process as the
    // modules are. Past the first few libraries, a library's calls go
    // unlogged (said once in the log).
    static CK_FUNCTION_LIST_PTR wrap(CK_FUNCTION_LIST_PTR module) noexcept;
};

} // namespace PKCS11Bridge

#endif
