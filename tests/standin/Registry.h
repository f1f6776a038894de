// The stand-in registry: every *.reg file under <root>/registry, applied in
// file-name order. orvwin's import-reg adds files there.
#ifndef ORV_PLATFORM_REGISTRY_H
#define ORV_PLATFORM_REGISTRY_H

#include "tests/standin/RegFile.h"

#include <memory>
#include <string>
#include <vector>

namespace orv::platform {

// Current registry contents; re-read when the files changed.
bool loadRegistry(std::shared_ptr<const RegForest>& forest, RegParseError& error);

// Checks the file and stores a copy, applied after the ones already there.
bool importRegistryFile(const std::string& path, RegParseError& error);

std::vector<std::string> registryFiles();

} // namespace orv::platform

#endif
