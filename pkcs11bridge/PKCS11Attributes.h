// An ordered search template made of the caller's attributes, which must
// outlive every search that uses it.
#ifndef ORV_PKCS11BRIDGE_PKCS11ATTRIBUTES_H
#define ORV_PKCS11BRIDGE_PKCS11ATTRIBUTES_H

#include "jnibridge/SmartPointer.h"
#include "pkcs11bridge/Cryptoki.h"
#include "pkcs11bridge/PKCS11Attribute.h"

#include <vector>

namespace PKCS11Bridge {

class PKCS11Attributes {
public:
    template <typename T>
    PKCS11Attributes& add(const PKCS11Attribute<T>& attribute)
    {
        attributes_.push_back(&attribute.getRecord());
        return *this;
    }

    unsigned long count() const noexcept { return static_cast<unsigned long>(attributes_.size()); }

    // A flat CK_ATTRIBUTE array in list order, freed when its last holder goes.
    JNIBridge::SmartPointer<void> toTemplate() const;

private:
    std::vector<const CK_ATTRIBUTE*> attributes_;
};

} // namespace PKCS11Bridge

#endif
