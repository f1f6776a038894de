// Opening the key a key storage provider holds, and what kind of key it is.
#include "capi/CngPrivateKey.h"

#include "common/Win32CallLog.h"

#include <algorithm>
#include <cwchar>

namespace CAPIBridge {

namespace {

// What the legacy key spec of the key-provider information means to CNG: the
// two CryptoAPI key specs, or none (CERT_NCRYPT_KEY_SPEC and anything else).
DWORD legacyKeySpec(DWORD keySpec)
{
    return keySpec == AT_KEYEXCHANGE || keySpec == AT_SIGNATURE ? keySpec : 0;
}

} // namespace

SECURITY_STATUS CngPrivateKey::open(const CRYPT_KEY_PROV_INFO& info)
{
    key_.reset();
    provider_.reset();
    group_ = Group::Unknown;
    const NcryptFunctions& ncrypt = NcryptFunctions::get();
    if (ncrypt.missing != 0) {
        return static_cast<SECURITY_STATUS>(ncrypt.missing);
    }
    SECURITY_STATUS status = Common::Win32CallLog::status(
        "NCryptOpenStorageProvider", ncrypt.openStorageProvider(provider_.receive(), info.pwszProvName, 0));
    if (status != ERROR_SUCCESS) {
        provider_.take();
        return status;
    }
    const DWORD flags = (info.dwFlags & CRYPT_MACHINE_KEYSET) != 0 ? NCRYPT_MACHINE_KEY_FLAG : 0;
    status = Common::Win32CallLog::status(
        "NCryptOpenKey",
        ncrypt.openKey(provider_.get(), key_.receive(), info.pwszContainerName, legacyKeySpec(info.dwKeySpec), flags));
    if (status != ERROR_SUCCESS) {
        key_.take();
    }
    return status;
}

void CngPrivateKey::adopt(NCRYPT_PROV_HANDLE provider, NCRYPT_KEY_HANDLE key)
{
    key_.reset();
    provider_.reset(provider);
    key_.reset(key);
    group_ = Group::Unknown;
}

SECURITY_STATUS CngPrivateKey::readAlgorithmGroup()
{
    WCHAR group[32] = {};
    DWORD written = 0;
    const SECURITY_STATUS status = Common::Win32CallLog::status(
        "NCryptGetProperty",
        NcryptFunctions::get().getProperty(key_.get(), NCRYPT_ALGORITHM_GROUP_PROPERTY, reinterpret_cast<PBYTE>(group),
                                           sizeof group - sizeof(WCHAR), &written, 0));
    if (status != ERROR_SUCCESS) {
        group_ = Group::Unknown;
        return status;
    }
    if (std::wcscmp(group, NCRYPT_RSA_ALGORITHM_GROUP) == 0) {
        group_ = Group::Rsa;
    } else if (std::wcscmp(group, NCRYPT_DSA_ALGORITHM_GROUP) == 0) {
        group_ = Group::Dsa;
    } else {
        group_ = Group::Other;
    }
    return status;
}

void CngPrivateKey::toCryptoApiOrder(unsigned char* signature, std::size_t length, bool dsa) noexcept
{
    if (!dsa || length % 2 != 0) {
        std::reverse(signature, signature + length);
        return;
    }
    std::reverse(signature, signature + length / 2);
    std::reverse(signature + length / 2, signature + length);
}

} // namespace CAPIBridge
