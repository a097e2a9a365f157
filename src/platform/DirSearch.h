#pragma once

#include <string>
#include <system_error>
#include <vector>

#include "platform/DirEntry.h"

namespace sarvoli::platform {

// An open directory search; destroying it closes the search.
class DirSearch {
public:
    virtual ~DirSearch() = default;
    // Fills the next entry; false when there are no more.
    virtual bool next(DirEntry& entry) = 0;
    // The folders of the searched folder that a walk enters: neither system folders nor
    // symbolic links or junctions, hidden ones only with `hidden`, "." and ".." left out, in the
    // order the system lists them, whatever the search's pattern and attributes. Asked once
    // next() has returned false, so that one reading of the folder serves both passes of the
    // walk where the system allows it.
    virtual std::vector<std::string> subfolders(bool hidden) = 0;
    // Why the listing broke off before its end (a failing disk, a stale network handle): the
    // system's code, or none when it reached its end. Asked once next() has returned false.
    virtual std::error_code failure() const = 0;
};

}  // namespace sarvoli::platform
