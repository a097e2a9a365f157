#pragma once

#include <array>
#include <atomic>
#include <memory>

#include "DrivesPlatform.h"

namespace sarvoli::testing {

// The operations of the platform that the walk and the settings file use.
enum class Operation { FindFirst, FileAge, DirectoryExists, ForceDirectories, CopyFile, FolderId, ReadFile, ReplaceFile };
inline constexpr const char* kInjectedReason = "injected failure";

// Makes the n-th call of one chosen operation fail, as the system would: a search that finds
// nothing, a file or folder that is not there, an operation that reports a failure.
class FailingPlatform : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;

    // Fails the `nth` call (from 1) of `operation` counted from now; 0 fails none.
    void failAt(Operation operation, int nth)
    {
        m_failing = operation;
        m_nth = nth;
        for (auto& c : m_calls)
            c = 0;
    }
    int calls(Operation operation) const { return m_calls[static_cast<std::size_t>(operation)]; }

    platform::FolderSearch findFirst(std::string_view folder, std::string_view pattern, std::uint32_t mask,
                                     bool details) override
    {
        if (fails(Operation::FindFirst))
            return {};
        return ForwardingPlatform::findFirst(folder, pattern, mask, details);
    }
    platform::FileAge fileAge(std::string_view path) override
    {
        if (!fails(Operation::FileAge))
            return ForwardingPlatform::fileAge(path);
        platform::FileAge unknown;
        unknown.result = platform::OpResult::failure(kInjectedReason);
        return unknown;
    }
    // Asked a name at a time, each a call that may fail, as the walk's batched question is.
    std::vector<platform::FileAge> fileAges(std::string_view folderPath,
                                            const std::vector<std::string_view>& names) override
    {
        return platform::agesOneByOne(*this, folderPath, names);
    }
    bool directoryExists(std::string_view path) override
    {
        return !fails(Operation::DirectoryExists) && ForwardingPlatform::directoryExists(path);
    }
    platform::OpResult forceDirectories(std::string_view path, bool& created) override
    {
        created = false;
        return fails(Operation::ForceDirectories) ? platform::OpResult::failure(kInjectedReason)
                                                  : ForwardingPlatform::forceDirectories(path, created);
    }
    platform::OpResult copyFile(std::string_view source, std::string_view destination,
                                const platform::CopyDecision& decision) override
    {
        return fails(Operation::CopyFile) ? platform::OpResult::failure(kInjectedReason)
                                          : ForwardingPlatform::copyFile(source, destination, decision);
    }
    std::optional<platform::FolderId> folderId(std::string_view path) override
    {
        return fails(Operation::FolderId) ? std::nullopt : ForwardingPlatform::folderId(path);
    }
    platform::FileContent readFile(std::string_view path) override
    {
        if (fails(Operation::ReadFile))
            return {platform::OpResult::failure(kInjectedReason), false, {}};
        return ForwardingPlatform::readFile(path);
    }
    platform::OpResult replaceFile(std::string_view path, std::string_view content) override
    {
        return fails(Operation::ReplaceFile) ? platform::OpResult::failure(kInjectedReason)
                                             : ForwardingPlatform::replaceFile(path, content);
    }

private:
    bool fails(Operation operation)
    {
        const int call = ++m_calls[static_cast<std::size_t>(operation)];
        return operation == m_failing && call == m_nth;
    }

    std::array<std::atomic<int>, 8> m_calls{};  // workers read folders ahead of the walk
    Operation m_failing = Operation::FindFirst;
    int m_nth = 0;
};

}  // namespace sarvoli::testing
