#pragma once

#include "platform/settingsstore.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace kelmora::platform {

// Preferences in memory, for tests and for runs that must not touch the user's own settings. Safe to use from
// several threads, like the real store.
class FakeSettingsStore final : public SettingsStore
{
public:
    std::int32_t GetSetting(std::string_view name, std::int32_t defaultValue) const override;
    bool SetSetting(std::string_view name, std::int32_t value) override;
    bool IsAutostart() const override;
    bool SetAutostart(bool on) override;

    // The stored value, or nothing when it was never written.
    std::optional<std::int32_t> storedValue(std::string_view name) const;
    std::size_t storedCount() const;
    // While failing, writes change nothing and report failure, as a read-only or full disk would.
    void setFailing(bool failing);

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::int32_t, std::less<>> m_values;
    bool m_autostart = false;
    bool m_failing = false;
};

} // namespace kelmora::platform
