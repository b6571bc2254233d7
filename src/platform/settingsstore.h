#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace kelmora::platform {

// User preferences: 32-bit numbers by name, read at the moment of use. Values are never created up front,
// so a value that is missing, unreadable or not a 32-bit number reads as the default the caller passes.
// Also the entry that starts the program with the desktop session.
//
// GetSetting and SetSetting may be called from any thread; IsAutostart and SetAutostart belong to the
// user-interface thread.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    virtual std::int32_t GetSetting(std::string_view name, std::int32_t defaultValue) const = 0;
    // False when the value could not be stored; callers may ignore it.
    virtual bool SetSetting(std::string_view name, std::int32_t value) = 0;

    // True while an autostart entry exists, whatever program it names.
    virtual bool IsAutostart() const = 0;
    // On: (re)writes the entry for this program's executable. Off: removes the entry. False on failure.
    virtual bool SetAutostart(bool on) = 0;
};

// A stored value and the default its readers use.
struct Setting
{
    std::string_view name;
    std::int32_t defaultValue;
};

// Every value the program stores, with the default its readers pass.
namespace setting {

inline constexpr Setting kShowWindow{"ShowWindow", 0};
inline constexpr Setting kAutoStop{"AutoStop", 0};
inline constexpr Setting kRemind{"Remind", 1};
inline constexpr Setting kUseQuickAccessMenu{"UseQuickAccessMenu", 0};
// "Timeout" (idle seconds) has two readers with different defaults: a missing value shows as two minutes on
// the Timeouts page, while the idle monitor takes it as zero.
inline constexpr Setting kTimeoutOnTimeoutsPage{"Timeout", 120};
inline constexpr Setting kTimeoutInIdleMonitor{"Timeout", 0};
inline constexpr Setting kRemindTimeout{"RemindTimeout", 300};
inline constexpr Setting kUseIdleDetection{"UseIdleDetection", 0};
inline constexpr Setting kIdleContinue{"IdleContinue", 0};
inline constexpr Setting kHotkeyUsed{"HotkeyUsed", 0};
inline constexpr Setting kReportPeriod{"ReportPeriod", 0};
inline constexpr Setting kPeriod{"Period", 0};
inline constexpr Setting kLeft{"left", 100};
inline constexpr Setting kRight{"right", 800};
inline constexpr Setting kTop{"top", 100};
inline constexpr Setting kBottom{"bottom", 600};

// The fifteen stored values, "Timeout" with the Timeouts page's default.
inline constexpr std::array<Setting, 15> kAll{
    kShowWindow,
    kAutoStop,
    kRemind,
    kUseQuickAccessMenu,
    kTimeoutOnTimeoutsPage,
    kRemindTimeout,
    kUseIdleDetection,
    kIdleContinue,
    kHotkeyUsed,
    kReportPeriod,
    kPeriod,
    kLeft,
    kRight,
    kTop,
    kBottom,
};

} // namespace setting

inline std::int32_t GetSetting(const SettingsStore& store, const Setting& setting)
{
    return store.GetSetting(setting.name, setting.defaultValue);
}

inline bool SetSetting(SettingsStore& store, const Setting& setting, std::int32_t value)
{
    return store.SetSetting(setting.name, value);
}

// The store of the platform this program was built for, at the user's usual location.
std::unique_ptr<SettingsStore> createSettingsStore();

} // namespace kelmora::platform
