// System certificate stores: <root>/stores/<NAME>/<sha1>.der, with the key
// provider information of a certificate beside it in <sha1>.keyprov.
#ifndef ORV_PLATFORM_CERTIFICATES_H
#define ORV_PLATFORM_CERTIFICATES_H

#include <string>
#include <vector>

namespace orv::platform {

// Store names as CertOpenSystemStoreA knows them (upper case).
std::vector<std::string> storeNames();

} // namespace orv::platform

#endif
