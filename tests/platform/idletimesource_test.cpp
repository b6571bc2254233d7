#include "platform/idletimesource_backends.h"
#include "support/childprocess.h"

#include <QDBusConnection>
#include <QThread>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace kelmora::platform {
namespace {

// The two desktop services as small objects that report a fixed idle time.
class FakeMutter final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")

public slots:
    quint64 GetIdletime() { return 4321; }
};

class FakeScreenSaver final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public slots:
    uint GetSessionIdleTime() { return 1234; }
};

// A private session bus with the chosen fakes on it. The services answer from a thread of their own, so a
// blocking call from the test's thread gets its reply.
class PrivateBus
{
public:
    PrivateBus(bool mutter, bool screenSaver)
        : m_daemon("/usr/bin/dbus-daemon", {"--session", "--print-address", "--nofork"})
    {
        const auto address = m_daemon.readLine(std::chrono::seconds(10));
        if (!address) {
            return;
        }
        m_address = QString::fromStdString(*address);
        QDBusConnection services = QDBusConnection::connectToBus(m_address, QStringLiteral("services"));
        m_thread.start();
        if (mutter) {
            m_mutter.moveToThread(&m_thread);
            services.registerService(QStringLiteral("org.gnome.Mutter.IdleMonitor"));
            services.registerObject(QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"), &m_mutter,
                                    QDBusConnection::ExportAllSlots);
        }
        if (screenSaver) {
            m_screenSaver.moveToThread(&m_thread);
            services.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
            services.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &m_screenSaver,
                                    QDBusConnection::ExportAllSlots);
        }
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("services"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        m_thread.quit();
        m_thread.wait();
    }

    QDBusConnection Client() const { return QDBusConnection::connectToBus(m_address, QStringLiteral("client")); }
    bool Started() const { return !m_address.isEmpty(); }

private:
    testsupport::ChildProcess m_daemon;
    QString m_address;
    QThread m_thread;
    FakeMutter m_mutter;
    FakeScreenSaver m_screenSaver;
};

TEST(IdleTimeSource, DesktopServicesThenXServer_ChosenInOrderAndAskedWhileThere)
{
    struct Case
    {
        bool mutter;
        bool screenSaver;
        std::string name;
        std::optional<std::int64_t> idleMs;
    };
    for (const Case& c : {Case{true, true, "GNOME Mutter IdleMonitor", 4321},
                          Case{false, true, "freedesktop ScreenSaver", 1234}, Case{false, false, "none", {}}}) {
        SCOPED_TRACE(c.name);
        auto bus = std::make_unique<PrivateBus>(c.mutter, c.screenSaver);
        ASSERT_TRUE(bus->Started()) << "dbus-daemon did not start";
        IdleSourceCandidates candidates;
        candidates.bus = bus->Client();
        ASSERT_TRUE(candidates.bus.isConnected());
        const std::unique_ptr<IdleTimeSource> source = ChooseIdleTimeSource(candidates);
        EXPECT_EQ(source->Name(), c.name);
        EXPECT_EQ(source->IdleMs(), c.idleMs);
        // Once the service is gone the source cannot tell.
        bus.reset();
        EXPECT_EQ(source->IdleMs(), std::nullopt);
    }
    // Without a bus but with an X server, the screen saver extension tells.
    if (!std::filesystem::exists("/usr/bin/Xvfb")) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    testsupport::ChildProcess xvfb("/usr/bin/Xvfb",
                                   {"-displayfd", "1", "-screen", "0", "320x240x24", "-nolisten", "tcp"});
    const auto display = xvfb.readLine(std::chrono::seconds(15));
    ASSERT_TRUE(display && !display->empty()) << "Xvfb did not start";
    IdleSourceCandidates candidates;
    candidates.tryX11 = true;
    candidates.x11Display = ":" + *display;
    const std::unique_ptr<IdleTimeSource> source = ChooseIdleTimeSource(candidates);
    EXPECT_EQ(source->Name(), "X11 screen saver");
    const std::optional<std::int64_t> idle = source->IdleMs();
    ASSERT_TRUE(idle.has_value());
    EXPECT_GE(*idle, 0);

    candidates.x11Display = ":" + *display + "9";
    EXPECT_EQ(ChooseIdleTimeSource(candidates)->Name(), "none") << "a display that cannot be opened";
}

} // namespace
} // namespace kelmora::platform

#include "idletimesource_test.moc"
