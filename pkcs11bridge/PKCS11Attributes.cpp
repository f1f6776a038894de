// Search templates built from the caller's attributes.
#include "pkcs11bridge/PKCS11Attributes.h"

namespace PKCS11Bridge {

namespace {

void freeTemplate(void* records)
{
    delete[] static_cast<CK_ATTRIBUTE*>(records);
}

} // namespace

JNIBridge::SmartPointer<void> PKCS11Attributes::toTemplate() const
{
    CK_ATTRIBUTE* records = new CK_ATTRIBUTE[attributes_.empty() ? 1 : attributes_.size()]();
    for (std::size_t i = 0; i < attributes_.size(); ++i) {
        records[i] = *attributes_[i];
    }
    return JNIBridge::SmartPointer<void>(records, &freeTemplate);
}

} // namespace PKCS11Bridge
