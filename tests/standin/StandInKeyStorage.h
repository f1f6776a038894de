// Test hooks for the stand-in's key storage providers (Linux only): put a key
// behind a provider, and make it refuse its use as a smart card does when the
// user cancels the PIN prompt. Provider names as NCryptOpenStorageProvider
// takes them; both return false when the state directory cannot be written
// or the provider is unknown.
#ifndef ORV_PLATFORM_STAND_IN_KEY_STORAGE_H
#define ORV_PLATFORM_STAND_IN_KEY_STORAGE_H

#include "platform/Win32.h"

#include <cstddef>
#include <string>

namespace orv::standin {

// The key comes as a CryptoAPI PRIVATEKEYBLOB; legacy key spec 1 or 2.
bool storeKeyStorageKey(const std::string& provider, const std::string& keyName, DWORD legacyKeySpec, bool machine,
                        const BYTE* privateKeyBlob, DWORD size);
// NCryptSignHash and NCryptDecrypt with the key then fail with `status`, or
// NCryptOpenKey does (Open), or NCryptGetProperty on the key (Property); 0
// lets them work again.
enum class RefuseAt { Use, Open, Property };
bool refuseKeyStorageKey(const std::string& provider, const std::string& keyName, bool machine, LONG status,
                         RefuseAt at = RefuseAt::Use);
// CNG provider and key handles not yet freed, in this process.
std::size_t openKeyStorageHandles();

} // namespace orv::standin

#endif
