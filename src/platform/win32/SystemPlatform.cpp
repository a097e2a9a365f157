#include "platform/SystemPlatform.h"

#include "platform/win32/Win32Platform.h"

namespace sarvoli::platform {

std::unique_ptr<Platform> createSystemPlatform() { return std::make_unique<Win32Platform>(); }

}  // namespace sarvoli::platform
