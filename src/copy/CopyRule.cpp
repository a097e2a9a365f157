#include "copy/CopyRule.h"

namespace sarvoli::copy {

bool copyIsNeeded(const platform::FileAge& source, const platform::FileAge& copy)
{
    if (!copy.exists || source.time > copy.time)
        return true;
    if (copy.size == 0 && source.size > 0)
        return true;
    return source.time == copy.time && source.size != copy.size;
}

}  // namespace sarvoli::copy
