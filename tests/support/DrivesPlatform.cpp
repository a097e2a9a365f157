#include "DrivesPlatform.h"

#ifdef _WIN32
#include <algorithm>
#include <cstring>
#include <array>
#include <optional>

#include "platform/win32/Win32Platform.h"
#else
#include "platform/posix/PosixPlatform.h"
#endif

namespace sarvoli::testing {

#ifdef _WIN32

namespace {

// The Windows platform with the test's drives: a path text on a test drive is handed on with
// the drive's folder in place of its letter; the drive answers type and medium as told.
class MappedPlatform : public ForwardingPlatform {
public:
    explicit MappedPlatform(const std::vector<TestDrive>& drives)
        : ForwardingPlatform(std::make_unique<platform::Win32Platform>())
    {
        for (TestDrive d : drives) {
            std::replace(d.folder.begin(), d.folder.end(), '/', '\\');
            while (!d.folder.empty() && d.folder.back() == '\\')
                d.folder.pop_back();
            m_drives[index(d.letter)] = d;
        }
    }

    platform::FolderSearch findFirst(std::string_view folder, std::string_view pattern, std::uint32_t mask,
                                     bool details) override
    {
        return ForwardingPlatform::findFirst(mapped(folder), pattern, mask, details);
    }
    platform::FolderAccess folderAccess(std::string_view p) override
    {
        return ForwardingPlatform::folderAccess(mapped(p));
    }
    bool fileExists(std::string_view p) override { return ForwardingPlatform::fileExists(mapped(p)); }
    platform::FileAge fileAge(std::string_view p) override { return ForwardingPlatform::fileAge(mapped(p)); }
    std::vector<platform::FileAge> fileAges(std::string_view p, const std::vector<std::string_view>& names) override
    {
        return ForwardingPlatform::fileAges(mapped(p), names);
    }
    bool directoryExists(std::string_view p) override { return ForwardingPlatform::directoryExists(mapped(p)); }
    platform::FolderPlace folderPlace(std::string_view p) override { return ForwardingPlatform::folderPlace(mapped(p)); }
    platform::OpResult forceDirectories(std::string_view p, bool& created) override
    {
        return ForwardingPlatform::forceDirectories(mapped(p), created);
    }
    platform::OpResult copyFile(std::string_view s, std::string_view d, const platform::CopyDecision& decision) override
    {
        platform::CopyDecision onDrive = decision;
        if (!onDrive.keepAs.empty())
            onDrive.keepAs = mapped(onDrive.keepAs);
        return ForwardingPlatform::copyFile(mapped(s), mapped(d), onDrive);
    }
    std::optional<platform::FolderId> folderId(std::string_view p) override
    {
        return ForwardingPlatform::folderId(mapped(p));
    }
    bool foldsCase(std::string_view p) override { return ForwardingPlatform::foldsCase(mapped(p)); }
    void guardBelow(std::string_view root) override { ForwardingPlatform::guardBelow(mapped(root)); }
    platform::FileContent readFile(std::string_view p) override { return ForwardingPlatform::readFile(mapped(p)); }
    platform::OpResult replaceFile(std::string_view p, std::string_view c) override
    {
        return ForwardingPlatform::replaceFile(mapped(p), c);
    }
    bool setCurrentDirectory(std::string_view p) override { return ForwardingPlatform::setCurrentDirectory(mapped(p)); }
    platform::OpResult previewCopy(std::string_view s, std::string_view d) override
    {
        return ForwardingPlatform::previewCopy(mapped(s), mapped(d));
    }
    platform::Verification verifyCopy(std::string_view s, std::string_view c) override
    {
        return ForwardingPlatform::verifyCopy(mapped(s), mapped(c));
    }
    void removeLeftovers(std::string_view p) override { ForwardingPlatform::removeLeftovers(mapped(p)); }
    platform::OpResult removeFolder(std::string_view p) override { return ForwardingPlatform::removeFolder(mapped(p)); }
    // A folder of the system (as a folder picker gives it) is written on the test's drive.
    std::optional<std::string> systemPath(std::string_view text) override { return mapped(text); }
    std::optional<std::string> pathTextOf(std::string_view path) override
    {
        std::string p(path);
        std::replace(p.begin(), p.end(), '/', '\\');
        for (const auto& d : m_drives) {
            if (!d || p.size() < d->folder.size() || _strnicmp(p.c_str(), d->folder.c_str(), d->folder.size()) != 0)
                continue;
            const std::string rest = p.substr(d->folder.size());
            if (!rest.empty() && rest[0] != '\\')
                continue;
            return std::string(1, d->letter) + ":" + (rest.empty() ? std::string("\\") : rest);
        }
        return p;
    }
    int driveType(std::string_view root) override
    {
        if (const TestDrive* d = driveOf(root); d && root.size() == 3 && root[1] == ':' && root[2] == '\\')
            return d->type;
        return ForwardingPlatform::driveType(root);
    }
    std::int64_t diskSize(int driveNumber) override
    {
        if (driveNumber >= 1 && driveNumber <= 26) {
            if (const auto& d = m_drives[static_cast<std::size_t>(driveNumber - 1)])
                return d->hasMedium ? ForwardingPlatform::diskSize(3) : -1;  // the size of C:
        }
        return ForwardingPlatform::diskSize(driveNumber);
    }

private:
    static std::size_t index(char letter) { return static_cast<std::size_t>((letter | 0x20) - 'a'); }

    const TestDrive* driveOf(std::string_view path) const
    {
        if (path.size() < 2 || path[1] != ':' || !((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z'))
            return nullptr;
        const auto& d = m_drives[index(path[0])];
        return d ? &*d : nullptr;
    }

    std::string mapped(std::string_view path) const
    {
        const TestDrive* d = driveOf(path);
        if (!d)
            return std::string(path);
        const std::string_view rest = path.size() > 2 ? path.substr(2) : std::string_view("\\");
        std::string out = d->folder;
        out.append(rest);
        return out;
    }

    std::array<std::optional<TestDrive>, 26> m_drives;
};

}  // namespace

std::unique_ptr<platform::Platform> drivesPlatform(const std::vector<TestDrive>& drives)
{
    return std::make_unique<MappedPlatform>(drives);
}

#else

std::unique_ptr<platform::Platform> drivesPlatform(const std::vector<TestDrive>& drives)
{
    platform::DriveTable table;
    for (const TestDrive& d : drives)
        table.set(d.letter, platform::Drive{d.folder, d.type, d.hasMedium});
    return std::make_unique<platform::PosixPlatform>(std::move(table));
}

#endif

}  // namespace sarvoli::testing
