#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace sarvoli::run {

// Held while a run records itself or the window saves, so that two programs writing the same
// settings file one value at a time cannot lose each other's values. The lock is a file beside
// the settings file; one left by a program that died is taken over. Where the lock cannot be
// had (a folder that cannot be written, a holder that does not let go within the wait) the
// work goes on without it: each single write still replaces the file whole.
class SettingsLock {
public:
    explicit SettingsLock(const QString& settingsHostPath, int waitMs = 10'000);
    bool held() const { return m_lock && m_lock->isLocked(); }

private:
    std::unique_ptr<QLockFile> m_lock;
};

}  // namespace sarvoli::run
