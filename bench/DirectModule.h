// A PKCS#11 module loaded by path with nothing of the bridge in between: the
// reference the benchmark and the call-sequence test hold the bridge against.
#ifndef ORV_BENCH_DIRECTMODULE_H
#define ORV_BENCH_DIRECTMODULE_H

#include "pkcs11bridge/Cryptoki.h"

#include <string>

namespace Bench {

class DirectModule {
public:
    // Loads and initialises the module; throws std::runtime_error on failure.
    explicit DirectModule(const std::string& path);
    DirectModule(const DirectModule&) = delete;
    DirectModule& operator=(const DirectModule&) = delete;

    CK_FUNCTION_LIST_PTR functions() const noexcept { return functionList; }

    // The slot whose token carries this label (blank padding ignored).
    CK_SLOT_ID slotOfToken(const std::string& label) const;

private:
    CK_FUNCTION_LIST_PTR functionList = nullptr;
};

} // namespace Bench

#endif
