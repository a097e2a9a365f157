#pragma once

#include "platform/Platform.h"

namespace sarvoli::copy {

// Whether a file is copied over what stands at its target: nothing, a copy older than its
// source, an empty copy of a source that holds data (what a copy cut off before its first byte
// leaves), or a copy of another size within the same two seconds as its source (a file saved
// twice within them, with a run between, or still being written when it was copied). A copy as
// new as its source, or newer, is kept otherwise. `source` holds the source's time and size.
bool copyIsNeeded(const platform::FileAge& source, const platform::FileAge& copy);

}  // namespace sarvoli::copy
