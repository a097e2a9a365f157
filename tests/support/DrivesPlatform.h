#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/DriveType.h"
#include "platform/Platform.h"

namespace sarvoli::testing {

// A drive of a test: its letter stands for one of the test's folders.
struct TestDrive {
    char letter;
    std::string folder;
    int type = platform::DriveFixed;
    bool hasMedium = true;
};

// The system's platform on which the test's drive letters stand for the test's folders, so
// that the same path texts ("D:\src\") serve a test on every system.
std::unique_ptr<platform::Platform> drivesPlatform(const std::vector<TestDrive>& drives);

// Passes every call to another platform; tests put the faults they need on top of it. Every
// call of the seam is pure virtual, so a call left out here does not compile.
class ForwardingPlatform : public platform::Platform {
public:
    explicit ForwardingPlatform(std::unique_ptr<platform::Platform> inner) : m_inner(std::move(inner)) {}

    platform::FolderSearch findFirst(std::string_view folderPath, std::string_view pattern,
                                     std::uint32_t attributeMask, bool withDetails) override
    {
        return m_inner->findFirst(folderPath, pattern, attributeMask, withDetails);
    }
    void holdFolders(bool hold) override { m_inner->holdFolders(hold); }
    void guardBelow(std::string_view root) override { m_inner->guardBelow(root); }
    platform::FolderAccess folderAccess(std::string_view path) override { return m_inner->folderAccess(path); }
    bool fileExists(std::string_view path) override { return m_inner->fileExists(path); }
    platform::FileAge fileAge(std::string_view path) override { return m_inner->fileAge(path); }
    std::vector<platform::FileAge> fileAges(std::string_view folderPath,
                                            const std::vector<std::string_view>& names) override
    {
        return m_inner->fileAges(folderPath, names);
    }
    bool directoryExists(std::string_view path) override { return m_inner->directoryExists(path); }
    platform::FolderPlace folderPlace(std::string_view path) override { return m_inner->folderPlace(path); }
    platform::OpResult forceDirectories(std::string_view path, bool& created) override
    {
        return m_inner->forceDirectories(path, created);
    }
    platform::OpResult copyFile(std::string_view source, std::string_view destination,
                                const platform::CopyDecision& decision) override
    {
        return m_inner->copyFile(source, destination, decision);
    }
    platform::FinishResult finishCopies() override { return m_inner->finishCopies(); }
    void removeLeftovers(std::string_view folderPath) override { m_inner->removeLeftovers(folderPath); }
    platform::OpResult removeFolder(std::string_view path) override { return m_inner->removeFolder(path); }
    platform::OpResult previewCopy(std::string_view source, std::string_view destination) override
    {
        return m_inner->previewCopy(source, destination);
    }
    platform::Verification verifyCopy(std::string_view source, std::string_view copy) override
    {
        return m_inner->verifyCopy(source, copy);
    }
    std::optional<platform::FolderId> folderId(std::string_view path) override { return m_inner->folderId(path); }
    std::string refusedName(std::string_view name) override { return m_inner->refusedName(name); }
    bool foldsCase(std::string_view folderPath) override { return m_inner->foldsCase(folderPath); }
    std::string foldedName(std::string_view name) override { return m_inner->foldedName(name); }
    platform::FileContent readFile(std::string_view path) override { return m_inner->readFile(path); }
    platform::OpResult replaceFile(std::string_view path, std::string_view content) override
    {
        return m_inner->replaceFile(path, content);
    }
    std::string executablePath() override { return m_inner->executablePath(); }
    bool setCurrentDirectory(std::string_view path) override { return m_inner->setCurrentDirectory(path); }
    std::optional<std::string> systemPath(std::string_view pathText) override { return m_inner->systemPath(pathText); }
    std::optional<std::string> pathTextOf(std::string_view path) override { return m_inner->pathTextOf(path); }
    platform::DestinationClass destinationClass(std::string_view folderPath) override
    {
        return m_inner->destinationClass(folderPath);
    }
    std::uint64_t answers() override { return m_inner->answers(); }
    std::int64_t openFileLimit() override { return m_inner->openFileLimit(); }
    int driveType(std::string_view rootPath) override { return m_inner->driveType(rootPath); }
    std::int64_t diskSize(int driveNumber) override { return m_inner->diskSize(driveNumber); }
    unsigned setErrorMode(unsigned mode) override { return m_inner->setErrorMode(mode); }
    text::DateTimeValue localNow() override { return m_inner->localNow(); }
    std::int64_t monotonicNanos() override { return m_inner->monotonicNanos(); }
    text::RegionalSettings regionalSettings() override { return m_inner->regionalSettings(); }

protected:
    platform::Platform& inner() { return *m_inner; }

private:
    std::unique_ptr<platform::Platform> m_inner;
};

}  // namespace sarvoli::testing
