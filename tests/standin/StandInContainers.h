// Test hooks for the stand-in's key containers (Linux only): make signing with
// a container's keys fail with ERROR_CANCELLED, as a smart card's provider does
// when the user cancels its PIN prompt.
#ifndef ORV_PLATFORM_STAND_IN_CONTAINERS_H
#define ORV_PLATFORM_STAND_IN_CONTAINERS_H

#include <string>

namespace orv::standin {

// Which CryptSignHashA call cancels: the length query (no output buffer), the
// call that signs, or none.
enum class CancelSigning { Never, AtSizeQuery, AtSignature };

// For a container of the RSA providers; false when it does not exist or its
// state cannot be written.
bool cancelSigning(const std::string& container, CancelSigning at);

} // namespace orv::standin

#endif
