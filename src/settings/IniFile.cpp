#include "settings/IniFile.h"

#include "settings/IniText.h"

namespace sarvoli::settings {

SettingsWriteError::SettingsWriteError(const std::string& path) : std::runtime_error("Unable to write to " + path) {}

IniFile::IniFile(platform::SettingsStore& platform, std::string path) : m_platform(platform), m_path(std::move(path)) {}

std::string IniFile::read(std::string_view section, std::string_view key) const
{
    const platform::FileContent file = m_platform.readFile(m_path);
    return file.result.ok ? iniValue(file.bytes, section, key) : std::string();
}

std::string IniFile::readForUpdate(std::string_view section, std::string_view key) const
{
    const platform::FileContent file = m_platform.readFile(m_path);
    if (!file.result.ok)
        throw SettingsWriteError(m_path);
    return iniValue(file.bytes, section, key);
}

void IniFile::write(std::string_view section, std::string_view key, std::string_view value)
{
    const platform::FileContent file = m_platform.readFile(m_path);
    // A file that is there but cannot be read must not be replaced by one value alone.
    if (!file.result.ok)
        throw SettingsWriteError(m_path);
    const std::string text = withIniValue(file.bytes, section, key, value);
    if (file.exists && text == file.bytes)
        return;
    if (!m_platform.replaceFile(m_path, text).ok)
        throw SettingsWriteError(m_path);
}

void IniFile::remove(std::string_view section, std::string_view key)
{
    const platform::FileContent file = m_platform.readFile(m_path);
    if (!file.result.ok || !file.exists)
        return;
    const std::string text = withoutIniKey(file.bytes, section, key);
    if (text != file.bytes)
        (void)m_platform.replaceFile(m_path, text);
}

}  // namespace sarvoli::settings
