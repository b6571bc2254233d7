#include "fakesettingsstore.h"

namespace kelmora::platform {

std::int32_t FakeSettingsStore::GetSetting(std::string_view name, std::int32_t defaultValue) const
{
    return storedValue(name).value_or(defaultValue);
}

bool FakeSettingsStore::SetSetting(std::string_view name, std::int32_t value)
{
    std::lock_guard lock(m_mutex);
    if (m_failing || name.empty()) {
        return false;
    }
    m_values.insert_or_assign(std::string(name), value);
    return true;
}

bool FakeSettingsStore::IsAutostart() const
{
    std::lock_guard lock(m_mutex);
    return m_autostart;
}

bool FakeSettingsStore::SetAutostart(bool on)
{
    std::lock_guard lock(m_mutex);
    if (m_failing) {
        return false;
    }
    m_autostart = on;
    return true;
}

std::optional<std::int32_t> FakeSettingsStore::storedValue(std::string_view name) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values.find(name);
    if (it == m_values.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::size_t FakeSettingsStore::storedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_values.size();
}

void FakeSettingsStore::setFailing(bool failing)
{
    std::lock_guard lock(m_mutex);
    m_failing = failing;
}

} // namespace kelmora::platform
