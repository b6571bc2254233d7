#pragma once

#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kelmora::platform {

// Modifier flags of a shortcut, numbered as "hotkeys.xml" stores them.
inline constexpr std::uint32_t kModAlt = 1;
inline constexpr std::uint32_t kModControl = 2;
inline constexpr std::uint32_t kModShift = 4;
inline constexpr std::uint32_t kModWin = 8;

// One system-wide key combination and the id reported when it is pressed. `key` is the character code of
// the key: 'A' to 'Z' or '0' to '9'.
struct ShortcutBinding
{
    int id = 0;
    QString description;
    std::uint32_t modifiers = 0;
    std::uint32_t key = 0;
};

enum class ShortcutState
{
    // Not registered (nothing asked for, or unregistered since).
    Off,
    // Asked for; the desktop has not answered yet.
    Pending,
    Active,
    // The desktop refused it: another program holds it, an earlier binding of the same set uses the same
    // combination, the key has no place on this keyboard, or there is no way to register shortcuts at all.
    Unavailable,
};

struct ShortcutStatus
{
    ShortcutState state = ShortcutState::Off;
    // What the desktop says triggers the shortcut, when it reports it (a desktop may let the user pick other
    // keys than the ones asked for); empty otherwise.
    QString trigger;
};

// System-wide keyboard shortcuts. The whole set is registered at once and replaced by the next RegisterAll;
// `activated` carries the binding's id when its combination is pressed anywhere on the desktop.
// Lives on the user-interface thread.
class GlobalShortcuts : public QObject
{
    Q_OBJECT

public:
    ~GlobalShortcuts() override = default;

    // How shortcuts are registered here, for the user: "X11 key grabs", "desktop portal", "none".
    virtual QString BackendName() const = 0;
    // Replaces whatever was registered by `bindings`. The status of each (by position) is known at once, or
    // for a desktop that answers later, after `statusChanged`.
    virtual void RegisterAll(const std::vector<ShortcutBinding>& bindings) = 0;
    virtual void UnregisterAll() = 0;

    // The status of the binding at `index` of the last RegisterAll; Off for any other index.
    ShortcutStatus Status(std::size_t index) const;
    std::size_t StatusCount() const { return m_status.size(); }

signals:
    void activated(int id);
    void statusChanged();

protected:
    // Sets every status and says so.
    void SetStatuses(std::vector<ShortcutStatus> status);

private:
    std::vector<ShortcutStatus> m_status;
};

// The position of an earlier binding with the same combination, or -1. One combination can start only one
// command, so the later binding is never registered.
int EarlierDuplicate(const std::vector<ShortcutBinding>& bindings, std::size_t index);

// The combination as a desktop-portal trigger ("SHIFT+ALT+t"); empty for a key that has no name there.
QString PortalTrigger(std::uint32_t modifiers, std::uint32_t key);

// Registers nothing and says so: every binding is Unavailable.
class NoGlobalShortcuts final : public GlobalShortcuts
{
    Q_OBJECT

public:
    QString BackendName() const override { return QStringLiteral("none"); }
    void RegisterAll(const std::vector<ShortcutBinding>& bindings) override;
    void UnregisterAll() override;
};

// The backend for this session, chosen at run time: X11 key grabs when the program runs on X11, the desktop
// portal's GlobalShortcuts interface when the session bus offers it, otherwise none. Needs a QGuiApplication.
std::unique_ptr<GlobalShortcuts> createGlobalShortcuts();

} // namespace kelmora::platform
