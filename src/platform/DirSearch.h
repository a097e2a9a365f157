#pragma once

#include "platform/DirEntry.h"

namespace sarvoli::platform {

// An open directory search; destroying it closes the search.
class DirSearch {
public:
    virtual ~DirSearch() = default;
    // Fills the next entry; false when there are no more.
    virtual bool next(DirEntry& entry) = 0;
};

}  // namespace sarvoli::platform
