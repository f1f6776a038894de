// The largest buffer the bridge allocates on the word of a caller or a module.
#ifndef ORV_PKCS11BRIDGE_LENGTHLIMIT_H
#define ORV_PKCS11BRIDGE_LENGTHLIMIT_H

namespace PKCS11Bridge {

class LengthLimit {
public:
    // Keys, signatures, certificates and random seeds are kilobytes; 128 MiB
    // leaves room for bulky data objects and for a Java heap to run out
    // first. A length beyond it is a mistake: serving it would take gigabytes
    // of a process whose 32-bit build has 2 GB of address space.
    static constexpr unsigned long kLongest = 128UL * 1024 * 1024;

    static constexpr bool allows(unsigned long length) noexcept { return length <= kLongest; }
};

} // namespace PKCS11Bridge

#endif
