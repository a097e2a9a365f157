#pragma once

#include <string>

#include "platform/Platform.h"

namespace sarvoli::platform {

// The platform on Windows: path texts go to the system's wide calls, of any length and with
// every name as it stands, and the program's results are those of the calls its behaviour is
// defined by.
class Win32Platform : public Platform {
public:
    Win32Platform();

    FolderSearch findFirst(std::string_view folderPath, std::string_view pattern, std::uint32_t attributeMask,
                           bool withDetails) override;
    void holdFolders(bool hold) override;
    void guardBelow(std::string_view root) override;
    bool fileExists(std::string_view path) override;
    FileAge fileAge(std::string_view path) override;
    std::vector<FileAge> fileAges(std::string_view folderPath, const std::vector<std::string_view>& names) override;
    bool directoryExists(std::string_view path) override;
    FolderPlace folderPlace(std::string_view path) override;
    OpResult forceDirectories(std::string_view path, bool& created) override;
    OpResult copyFile(std::string_view source, std::string_view destination, const CopyDecision& decision) override;
    FinishResult finishCopies() override;
    void removeLeftovers(std::string_view folderPath) override;
    OpResult removeFolder(std::string_view path) override;
    Verification verifyCopy(std::string_view source, std::string_view copy) override;
    OpResult previewCopy(std::string_view source, std::string_view destination) override;
    FolderAccess folderAccess(std::string_view folderPath) override;
    std::optional<FolderId> folderId(std::string_view path) override;
    std::string refusedName(std::string_view name) override;
    // NTFS and FAT as Windows programs see them.
    bool foldsCase(std::string_view /*folderPath*/) override { return true; }
    std::string foldedName(std::string_view name) override;
    FileContent readFile(std::string_view path) override;
    OpResult replaceFile(std::string_view path, std::string_view content) override;
    std::string executablePath() override;
    bool setCurrentDirectory(std::string_view path) override;
    std::optional<std::string> systemPath(std::string_view pathText) override { return std::string(pathText); }
    std::optional<std::string> pathTextOf(std::string_view systemPath) override { return std::string(systemPath); }

    DestinationClass destinationClass(std::string_view folderPath) override;
    // Each copy's calls end at once or fail: nothing to tell a slow device by.
    std::uint64_t answers() override { return 0; }
    // Handles are not counted against a limit as descriptors are.
    std::int64_t openFileLimit() override { return 1 << 20; }
    int driveType(std::string_view rootPath) override;
    std::int64_t diskSize(int driveNumber) override;
    unsigned setErrorMode(unsigned mode) override;

    text::DateTimeValue localNow() override;
    std::int64_t monotonicNanos() override;
    text::RegionalSettings regionalSettings() override;

protected:
    // The copy is made under its temporary name and not yet flushed: where another program
    // may open it first.
    virtual void copyMade(const std::string& /*temporary*/) {}

private:
    // A failure where a folder below the guarded root, on the way to `folder`, is a symbolic
    // link or junction (another program may have put one there since the walk looked).
    OpResult linkOnTheWay(std::string_view folder);

    std::int64_t m_counterFrequency = 1;
    // Set before a run's workers start and cleared after they end.
    std::string m_guardedRoot;
};

}  // namespace sarvoli::platform
