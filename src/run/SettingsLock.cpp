#include "run/SettingsLock.h"

namespace sarvoli::run {

SettingsLock::SettingsLock(const QString& settingsHostPath, int waitMs)
{
    if (settingsHostPath.isEmpty())
        return;
    m_lock = std::make_unique<QLockFile>(settingsHostPath + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(30'000);
    (void)m_lock->tryLock(waitMs);
}

}  // namespace sarvoli::run
