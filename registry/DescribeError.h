// Text for a failed Windows call: our message, the code and the system's text.
#ifndef ORV_REGISTRY_DESCRIBEERROR_H
#define ORV_REGISTRY_DESCRIBEERROR_H

#include <cstdint>
#include <string>

namespace RegistryBridge {

// "<message>\nThe error code is: <code>\nThe error message is: <system text>\n";
// the system text is empty when Windows has none for the code.
std::string describeError(const char* message, std::int32_t code);

} // namespace RegistryBridge

#endif
