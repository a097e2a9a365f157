#include "platform/SystemPlatform.h"

#include "platform/posix/PosixPlatform.h"

namespace sarvoli::platform {

std::unique_ptr<Platform> createSystemPlatform() { return std::make_unique<PosixPlatform>(); }

}  // namespace sarvoli::platform
