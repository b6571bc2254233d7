#include "platform/globalshortcutsportal.h"
#include "platform/globalshortcutsx11.h"
#include "support/childprocess.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace kelmora::platform {
namespace {

using testsupport::ChildProcess;

constexpr std::uint32_t kAltShift = kModAlt | kModShift;
constexpr int kEventWaitMs = 5000;

std::vector<ShortcutBinding> Bindings(const std::vector<std::pair<std::uint32_t, char>>& keys)
{
    std::vector<ShortcutBinding> bindings;
    for (const auto& [modifiers, key] : keys) {
        bindings.push_back({static_cast<int>(0xB000 + bindings.size()), QStringLiteral("command"), modifiers,
                            static_cast<std::uint32_t>(key)});
    }
    return bindings;
}

std::vector<ShortcutState> States(const GlobalShortcuts& shortcuts)
{
    std::vector<ShortcutState> states;
    for (std::size_t i = 0; i < shortcuts.StatusCount(); ++i) {
        states.push_back(shortcuts.Status(i).state);
    }
    return states;
}

// A private X server; the grabs are tested on a connection of our own, whose events the test hands to the
// backend as Qt's native event filter would. Grabbed combinations fire also with Num Lock or Caps Lock on. One that
// another program holds, a repeated one and a key without a key code are unavailable, and the others still work.
TEST(X11Shortcuts, GrabbedCombinations_FireWithLocksOn_HeldOnesAreUnavailable)
{
    ChildProcess xvfb("/usr/bin/Xvfb", {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
    const auto number = xvfb.readLine(std::chrono::seconds(15));
    ASSERT_TRUE(number && !number->empty()) << "Xvfb did not start";
    const std::string display = ":" + *number;
    using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;
    const Connection own(xcb_connect(display.c_str(), nullptr), &xcb_disconnect);
    const Connection other(xcb_connect(display.c_str(), nullptr), &xcb_disconnect);
    ASSERT_EQ(xcb_connection_has_error(own.get()), 0);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(own.get())).data->root;
    X11GlobalShortcuts holder(other.get(), root);
    X11GlobalShortcuts shortcuts(own.get(), root);
    const auto xdotool = [&](const std::string& keys) {
        const std::string command = "DISPLAY=" + display + " xdotool key --clearmodifiers " + keys;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    };
    // Feeds our connection's events to the backend until one of them was a grabbed press; returns its id.
    const auto nextActivation = [&]() -> std::optional<int> {
        QSignalSpy spy(&shortcuts, &GlobalShortcuts::activated);
        const bool fired = QTest::qWaitFor(
            [&] {
                while (xcb_generic_event_t* event = xcb_poll_for_event(own.get())) {
                    shortcuts.HandleEvent(event);
                    std::free(event);
                }
                return spy.count() > 0;
            },
            kEventWaitMs);
        return fired ? std::optional<int>(spy.front().front().toInt()) : std::nullopt;
    };

    holder.RegisterAll(Bindings({{kAltShift, 'P'}}));
    ASSERT_EQ(holder.Status(0).state, ShortcutState::Active);
    shortcuts.RegisterAll(
        Bindings({{kAltShift, 'M'}, {kAltShift, 'T'}, {kAltShift, 'P'}, {kAltShift, 'T'}, {kAltShift, '#'}}));
    EXPECT_EQ(States(shortcuts), (std::vector{ShortcutState::Active, ShortcutState::Active, ShortcutState::Unavailable,
                                              ShortcutState::Unavailable, ShortcutState::Unavailable}));
    EXPECT_NE(shortcuts.LockMask() & ~XCB_MOD_MASK_LOCK, 0) << "Num Lock has a modifier";
    for (const std::string lock : {"", "Num_Lock", "Caps_Lock"}) {
        SCOPED_TRACE(lock);
        if (!lock.empty()) {
            xdotool(lock);
        }
        xdotool("alt+shift+t");
        EXPECT_EQ(nextActivation(), 0xB001);
        if (!lock.empty()) {
            xdotool(lock);
        }
    }
    // Each time the next grabbed press is the first activation, so the presses before it did nothing.
    xdotool("alt+t alt+shift+p alt+shift+m");
    EXPECT_EQ(nextActivation(), 0xB000);
    shortcuts.RegisterAll(Bindings({{kModControl, 'T'}}));
    xdotool("alt+shift+m ctrl+t");
    EXPECT_EQ(nextActivation(), 0xB000);
}

// The portal side of the GlobalShortcuts interface, as far as the program uses it: sessions, binding with the
// keys the "user" picked in `m_chosen`, and the Activated signal.
class FakePortal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    explicit FakePortal(QDBusConnection bus) : m_bus(std::move(bus)) {}
    uint version() const { return 1; }

    // Set by the test before the program binds; read by the test once the binding is answered.
    std::mutex m_mutex;
    std::map<QString, QString> m_chosen;
    std::set<QString> m_refused;
    PortalShortcutList m_bound;
    QString m_session;
    bool m_cancel = false;

    void Activate(const QString& id)
    {
        std::lock_guard lock(m_mutex);
        QDBusMessage signal =
            QDBusMessage::createSignal(QString::fromLatin1(kPortalPath), QString::fromLatin1(kGlobalShortcutsInterface),
                                       QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(m_session)) << id << qulonglong(0) << QVariantMap();
        m_bus.send(signal);
    }

public slots:
    QDBusObjectPath CreateSession(const QVariantMap& options)
    {
        std::lock_guard lock(m_mutex);
        m_session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                        .arg(Sender(), options.value(QStringLiteral("session_handle_token")).toString());
        return Respond(options, 0, {{QStringLiteral("session_handle"), m_session}});
    }

    QDBusObjectPath BindShortcuts(const QDBusObjectPath& session,
                                  const kelmora::platform::PortalShortcutList& shortcuts,
                                  const QString& /*parentWindow*/, const QVariantMap& options)
    {
        std::lock_guard lock(m_mutex);
        EXPECT_EQ(session.path(), m_session);
        m_bound = shortcuts;
        PortalShortcutList result;
        for (PortalShortcut shortcut : shortcuts) {
            if (m_refused.count(shortcut.id) == 0) {
                const auto chosen = m_chosen.find(shortcut.id);
                shortcut.properties.insert(QStringLiteral("trigger_description"),
                                           chosen != m_chosen.end()
                                               ? chosen->second
                                               : shortcut.properties.value(QStringLiteral("preferred_trigger")));
                result.append(shortcut);
            }
        }
        return Respond(options, m_cancel ? 1u : 0u, {{QStringLiteral("shortcuts"), QVariant::fromValue(result)}});
    }

private:
    QString Sender() const { return message().service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')); }

    // Answers on the request path derived from the caller's token, after the call's own reply.
    QDBusObjectPath Respond(const QVariantMap& options, uint response, const QVariantMap& results)
    {
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(Sender(), options.value(QStringLiteral("handle_token")).toString());
        QTimer::singleShot(0, this, [this, path, response, results] {
            QDBusMessage signal = QDBusMessage::createSignal(path, QString::fromLatin1(kPortalRequestInterface),
                                                             QStringLiteral("Response"));
            signal << response << results;
            m_bus.send(signal);
        });
        return QDBusObjectPath(path);
    }

    QDBusConnection m_bus;
};

class PortalShortcutsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<PortalShortcutList>();
        m_daemon = std::make_unique<ChildProcess>("/usr/bin/dbus-daemon",
                                                  std::vector<std::string>{"--session", "--print-address", "--nofork"});
        const auto address = m_daemon->readLine(std::chrono::seconds(10));
        ASSERT_TRUE(address && !address->empty()) << "dbus-daemon did not start";
        m_address = QString::fromStdString(*address);
        QDBusConnection service = QDBusConnection::connectToBus(m_address, QStringLiteral("fake-portal"));
        ASSERT_TRUE(service.isConnected());
        // The portal answers from a thread of its own, as a separate process would, so that a blocking call of
        // the program does not wait for itself.
        m_portal = std::make_unique<FakePortal>(service);
        m_portalThread.start();
        m_portal->moveToThread(&m_portalThread);
        ASSERT_TRUE(service.registerObject(QString::fromLatin1(kPortalPath), m_portal.get(),
                                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(service.registerService(QString::fromLatin1(kPortalService)));
        m_client = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, QStringLiteral("app")));
    }

    void TearDown() override
    {
        m_shortcuts.reset();
        m_client.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("app"));
        QDBusConnection(QStringLiteral("fake-portal")).unregisterObject(QString::fromLatin1(kPortalPath));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-portal"));
        m_portalThread.quit();
        m_portalThread.wait();
    }

    // Registers and waits for the desktop's answer.
    void Register(const std::vector<ShortcutBinding>& bindings)
    {
        m_shortcuts = std::make_unique<PortalGlobalShortcuts>(*m_client);
        m_shortcuts->RegisterAll(bindings);
        EXPECT_EQ(m_shortcuts->Status(0).state, ShortcutState::Pending);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return m_shortcuts->Status(0).state != ShortcutState::Pending; }, kEventWaitMs));
    }

    std::unique_ptr<ChildProcess> m_daemon;
    QString m_address;
    QThread m_portalThread;
    std::unique_ptr<FakePortal> m_portal;
    std::unique_ptr<QDBusConnection> m_client;
    std::unique_ptr<PortalGlobalShortcuts> m_shortcuts;
};

TEST_F(PortalShortcutsTest, BindsWithPreferredTriggersShowsTheDesktopsKeysAndActsUnlessRefused)
{
    EXPECT_TRUE(PortalGlobalShortcuts::IsOffered(*m_client));
    EXPECT_FALSE(PortalGlobalShortcuts::IsOffered(QDBusConnection(QStringLiteral("not connected"))));
    m_portal->m_chosen[QStringLiteral("kelmora-hotkey-1")] = QStringLiteral("Ctrl+Alt+K");
    m_portal->m_refused.insert(QStringLiteral("kelmora-hotkey-2"));
    Register(Bindings({{kAltShift, 'M'}, {kAltShift, 'T'}, {kAltShift, 'R'}, {kAltShift, 'M'}}));

    std::unique_lock lock(m_portal->m_mutex);
    ASSERT_EQ(m_portal->m_bound.size(), 3) << "the repeated combination is not bound";
    EXPECT_EQ(m_portal->m_bound[0].properties.value(QStringLiteral("preferred_trigger")).toString(),
              QStringLiteral("SHIFT+ALT+m"));
    EXPECT_EQ(States(*m_shortcuts), (std::vector{ShortcutState::Active, ShortcutState::Active,
                                                 ShortcutState::Unavailable, ShortcutState::Unavailable}));
    EXPECT_EQ(m_shortcuts->Status(1).trigger, QStringLiteral("Ctrl+Alt+K"));
    lock.unlock();

    QSignalSpy spy(m_shortcuts.get(), &GlobalShortcuts::activated);
    m_portal->Activate(QStringLiteral("kelmora-hotkey-1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() == 1; }, kEventWaitMs));
    EXPECT_EQ(spy.front().front().toInt(), 0xB001);

    m_shortcuts->UnregisterAll();
    m_portal->Activate(QStringLiteral("kelmora-hotkey-0"));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(spy.count(), 1);

    // When the desktop refuses the binding, every shortcut is unavailable.
    m_portal->m_cancel = true;
    Register(Bindings({{kAltShift, 'M'}, {kAltShift, 'T'}}));
    EXPECT_EQ(States(*m_shortcuts), (std::vector{ShortcutState::Unavailable, ShortcutState::Unavailable}));
}

} // namespace
} // namespace kelmora::platform

#include "globalshortcuts_test.moc"
