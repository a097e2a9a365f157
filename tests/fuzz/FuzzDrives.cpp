// The drive table: a path text never leads out of its drive's folder, whatever "." and ".."
// it holds; a host path written as a path text leads back to itself.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "platform/DriveTable.h"

using namespace sarvoli::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const DriveTable table = [] {
        DriveTable t = DriveTable::standard();
        t.set('D', Drive{"/srv/data/", DriveFixed, true});
        t.set('E', Drive{"/media/card", DriveRemovable, false});
        return t;
    }();
    FuzzedDataProvider in(data, size);
    const bool asText = in.ConsumeBool();
    const std::string path = in.ConsumeRemainingBytesAsString();
    if (asText) {
        const auto host = table.hostPath(path);
        if (host && path.size() >= 2 && (path[0] == 'D' || path[0] == 'd'))
            FUZZ_CHECK(*host == "/srv/data" || host->starts_with("/srv/data/"), path + " -> " + *host);
        if (path.size() >= 2 && (path[0] == 'E' || path[0] == 'e'))
            FUZZ_CHECK(!host, path);  // no medium
        return 0;
    }
    const auto text = table.pathText(path);
    if (!text)
        return 0;
    FUZZ_CHECK(path.find('\\') == std::string::npos, path);
    const auto back = table.hostPath(*text);
    bool plain = true;  // no "." or ".." component and no doubled or trailing slash
    for (std::size_t i = 0; i < path.size(); ++i)
        if (path[i] == '/' && (i + 1 == path.size() || path[i + 1] == '/' || path[i + 1] == '.'))
            plain = false;
    const bool onCard = (*text)[0] == 'E';  // a drive without a medium leads nowhere
    const auto trimmed = [](std::string p) {
        while (p.size() > 1 && p.back() == '/')
            p.pop_back();
        return p;
    };
    if (plain && path.size() > 1 && !onCard)
        FUZZ_CHECK(back && trimmed(*back) == trimmed(path), path + " -> " + *text);
    return 0;
}
