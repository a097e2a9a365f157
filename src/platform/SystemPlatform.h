#pragma once

#include <memory>

#include "platform/Platform.h"

namespace sarvoli::platform {

// The platform of the system the program was built for.
std::unique_ptr<Platform> createSystemPlatform();

}  // namespace sarvoli::platform
