// The stand-in's key storage providers: their names, and their keys and refusals on disk.
#include "tests/standin/KeyStorage.h"

#include "tests/standin/StandInKeyStorage.h"

#include "tests/standin/KeyBlob.h"
#include "tests/standin/Providers.h"
#include "tests/standin/StateRoot.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orv::platform {
namespace {

const char* const kKeyStorageProviders[] = {
    "Microsoft Software Key Storage Provider",
    "Microsoft Smart Card Key Storage Provider",
};

const char kRefusalFile[] = "refuse";
// After the status in the refusal file, by stage: use, open, property read.
const char* const kStageMarks[] = {"", " open", " property"};

} // namespace

const char* keyStorageProviderName(const std::string& name)
{
    if (name.empty()) {
        return kKeyStorageProviders[0];
    }
    for (const char* known : kKeyStorageProviders) {
        if (equalsIgnoreCase(known, name)) {
            return known;
        }
    }
    return nullptr;
}

std::string KeyStorage::path(const std::string& keyName, bool create) const
{
    std::string dir = stateDir("ksp/" + encodeName(provider_) + (machine_ ? "/machine" : "/user"), create);
    if (dir.empty()) {
        return "";
    }
    std::string keyDir = dir + "/" + encodeName(keyName);
    if (create && !makeDirs(keyDir)) {
        return "";
    }
    return keyDir;
}

PkeyPtr KeyStorage::loadKey(const std::string& keyName, DWORD legacyKeySpec, LONG& error) const
{
    std::string dir = path(keyName, false);
    PkeyPtr key;
    error = 0;
    if (!dir.empty() && legacyKeySpec != AT_SIGNATURE) {
        key = readKeyFile(dir + "/" + keyFileName(AT_KEYEXCHANGE), error, true);
    }
    if (!key && error == 0 && !dir.empty() && legacyKeySpec != AT_KEYEXCHANGE) {
        key = readKeyFile(dir + "/" + keyFileName(AT_SIGNATURE), error, true);
    }
    if (!key && error == 0) {
        error = NTE_BAD_KEYSET;
    }
    return key;
}

bool KeyStorage::storeKey(const std::string& keyName, DWORD legacyKeySpec, EVP_PKEY* key) const
{
    std::string dir = path(keyName, true);
    return !dir.empty() && writeKeyFile(dir + "/" + keyFileName(legacyKeySpec), key);
}

LONG KeyStorage::refusal(const std::string& keyName, Stage stage) const
{
    Bytes text;
    if (!readFile(path(keyName, false) + "/" + kRefusalFile, text)) {
        return 0;
    }
    text.push_back(0);
    char* rest = nullptr;
    const auto status = static_cast<LONG>(std::strtoul(reinterpret_cast<const char*>(text.data()), &rest, 0));
    const std::string mark(rest, std::strcspn(rest, "\n"));
    return mark == kStageMarks[static_cast<int>(stage)] ? status : 0;
}

bool KeyStorage::setRefusal(const std::string& keyName, LONG status, Stage stage) const
{
    std::string dir = path(keyName, false);
    if (dir.empty() || !isDirectory(dir)) {
        return false;
    }
    std::string file = dir + "/" + kRefusalFile;
    if (status == 0) {
        return removeFile(file);
    }
    char text[24];
    int length = std::snprintf(text, sizeof text, "0x%08X%s\n", static_cast<unsigned>(status),
                               kStageMarks[static_cast<int>(stage)]);
    return writeFileAtomic(file, reinterpret_cast<const BYTE*>(text), static_cast<std::size_t>(length), 0600);
}

} // namespace orv::platform

namespace orv::standin {

bool storeKeyStorageKey(const std::string& provider, const std::string& keyName, DWORD legacyKeySpec, bool machine,
                        const BYTE* privateKeyBlob, DWORD size)
{
    const char* name = platform::keyStorageProviderName(provider);
    platform::ImportedKey imported;
    if (name == nullptr || keyName.empty() || (legacyKeySpec != AT_KEYEXCHANGE && legacyKeySpec != AT_SIGNATURE) ||
        platform::rsaKeyFromBlob(privateKeyBlob, size, imported) != 0 || !imported.isPrivate) {
        return false;
    }
    return platform::KeyStorage(name, machine).storeKey(keyName, legacyKeySpec, imported.key.get());
}

bool refuseKeyStorageKey(const std::string& provider, const std::string& keyName, bool machine, LONG status,
                         RefuseAt at)
{
    using Stage = platform::KeyStorage::Stage;
    const Stage stage = at == RefuseAt::Open ? Stage::Open : at == RefuseAt::Property ? Stage::Property : Stage::Use;
    const char* name = platform::keyStorageProviderName(provider);
    return name != nullptr && !keyName.empty() &&
           platform::KeyStorage(name, machine).setRefusal(keyName, status, stage);
}

} // namespace orv::standin
