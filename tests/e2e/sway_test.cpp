// The program on a real Wayland compositor: Debian's sway, headless, with swaybar as the tray: the
// StatusNotifierItem host (KDE Plasma, GNOME's AppIndicator extension and the Wayland bars show the same items)
// on a private session bus. The test reads and clicks the item the way swaybar does. sway refuses to run as
// root, so under root it runs as "nobody", and the test's programs reach its sockets by absolute path.
//
// KELMORA_SNI_TEST_PROGRAM runs another kelmora, e.g. an installed one, to show that it finds its manual.
#include "e2e.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <unistd.h>

namespace kelmora::e2e {
namespace {

using namespace std::chrono_literals;

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

class SwayDesktop : public Desktop
{
protected:
    SwayDesktop() { m_x11 = false; }

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Desktop::SetUp());
        const fs::path runtime = Root() / "sway";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
        std::string command = "exec env -i PATH=/usr/bin:/bin HOME=" + runtime.string() +
                              " XDG_RUNTIME_DIR=" + runtime.string() +
                              " WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman";
        if (::geteuid() == 0) {
            // Its user reaches the configuration and the bus in the test's folder, and nothing else there.
            fs::permissions(Root(), fs::perms::owner_all | fs::perms::others_exec, fs::perm_options::replace);
            ASSERT_EQ(::chown(runtime.c_str(), 65534, 65534), 0);
            command = "exec setpriv --reuid=65534 --regid=65534 --clear-groups sh -c '" + command;
        }
        testsupport::WriteFile(Root() / "bus.conf",
                               "<busconfig><type>session</type><listen>unix:dir=" + Root().string() +
                                   "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
                                   "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                   "<allow own=\"*\"/></policy></busconfig>\n");
        m_bus = std::make_unique<testsupport::ChildProcess>(
            "/usr/bin/dbus-daemon", std::vector<std::string>{"--config-file=" + (Root() / "bus.conf").string(),
                                                             "--nofork", "--print-address=1"});
        const auto bus = m_bus->readLine(15s);
        ASSERT_TRUE(bus && !bus->empty()) << "dbus-daemon did not start";
        testsupport::WriteFile(Root() / "sway.conf", "output HEADLESS-1 resolution 1024x768\nxwayland disable\n"
                                                     "bar {\n position top\n}\n");
        fs::permissions(Root() / "sway.conf", fs::perms::owner_read | fs::perms::others_read);
        command += " DBUS_SESSION_BUS_ADDRESS=" + *bus + " sway -c " + (Root() / "sway.conf").string() + " >" +
                   (runtime / "sway.log").string() + " 2>&1" + (::geteuid() == 0 ? "'" : "");
        m_sway = std::make_unique<testsupport::ChildProcess>("/bin/sh", std::vector<std::string>{"-c", command});
        fs::path display;
        fs::path ipc;
        if (!WaitUntil([&] {
                for (const auto& entry : fs::directory_iterator(runtime)) {
                    const std::string name = entry.path().filename().string();
                    if (entry.is_socket() && name.starts_with("wayland-")) {
                        display = entry.path();
                    } else if (entry.is_socket() && name.starts_with("sway-ipc.")) {
                        ipc = entry.path();
                    }
                }
                return !display.empty() && !ipc.empty();
            })) {
            GTEST_SKIP() << "sway cannot run here: " << testsupport::ReadFile(runtime / "sway.log");
        }
        SetEnvironment("WAYLAND_DISPLAY", display.string());
        SetEnvironment("SWAYSOCK", ipc.string());
        SetEnvironment("QT_QPA_PLATFORM", "wayland");
        // Qt's Wayland plugin and D-Bus tray and Mesa's EGL leave allocations behind at exit, which a sanitizer
        // build would blame on the program; the Wayland idle source's own are checked by its unit tests.
        const char* sanitizer = std::getenv("ASAN_OPTIONS");
        SetEnvironment("ASAN_OPTIONS", std::string(sanitizer != nullptr ? sanitizer : "") + ":detect_leaks=0");
        SetEnvironment("DBUS_SESSION_BUS_ADDRESS", *bus);
        m_connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(*bus), QStringLiteral("sway-test")));
        // Qt decides once, at the program's start, whether a StatusNotifierItem host is there.
        ASSERT_TRUE(WaitUntil([&] {
            return Property(kWatcher, QStringLiteral("/StatusNotifierWatcher"), kWatcher,
                            QStringLiteral("IsStatusNotifierHostRegistered"))
                .toBool();
        })) << "swaybar's tray did not start";
    }

    void TearDown() override
    {
        if (HasFailure()) {
            Screenshot(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".png");
        }
        m_connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("sway-test"));
        Desktop::TearDown();
        if (m_sway) {
            m_sway->terminate(5s);
        }
        m_bus.reset();
    }

    // Starts kelmora and waits until swaybar's watcher holds its item. (Qt's items name their own bus name, with
    // the item at /StatusNotifierItem.)
    void StartRegisteredKelmora()
    {
        const char* other = std::getenv("KELMORA_SNI_TEST_PROGRAM");
        m_program = other != nullptr && *other != '\0' ? fs::path(other) : kKelmora;
        StartKelmora(m_program);
        ASSERT_TRUE(WaitUntil(
            [&] {
                const QStringList items = Property(kWatcher, QStringLiteral("/StatusNotifierWatcher"), kWatcher,
                                                   QStringLiteral("RegisteredStatusNotifierItems"))
                                              .toStringList();
                m_service = items.isEmpty() ? QString() : items.first().section(QLatin1Char('/'), 0, 0);
                return !m_service.isEmpty();
            },
            20s))
            << "no item registered with swaybar";
    }

    QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments, const QString& service = {})
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(service.isEmpty() ? m_service : service, path, interface, method);
        call.setArguments(arguments);
        return m_connection->call(call, QDBus::Block, 5000);
    }

    QVariant Property(const QString& service, const QString& path, const QString& interface, const QString& name)
    {
        const QDBusMessage reply = Call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                        {interface, name}, service);
        return reply.arguments().isEmpty() ? QVariant()
                                           : qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
    }

    bool Shown(const std::string& title)
    {
        return RunProgram("/usr/bin/swaymsg", {"-t", "get_tree"}).find("\"name\": \"" + title) != std::string::npos;
    }

    void Screenshot(const std::string& name)
    {
        const fs::path folder = fs::current_path() / "e2e-screenshots";
        fs::create_directories(folder);
        RunProgram("/usr/bin/grim", {(folder / name).string()});
    }

    std::unique_ptr<testsupport::ChildProcess> m_bus;
    std::unique_ptr<testsupport::ChildProcess> m_sway;
    std::unique_ptr<QDBusConnection> m_connection;
    fs::path m_program;
    QString m_service;
};

TEST_F(SwayDesktop, TrayItemWithSwaybar_IdleQuestionAfterRealAbsence_MenuFindsTheManual)
{
    SetSetting("Remind", 0);
    SetSetting("UseIdleDetection", 1);
    SetSetting("Timeout", 1);
    Cli({"create", "Writing"});
    Cli({"start", "Writing"});
    ASSERT_NO_FATAL_FAILURE(StartRegisteredKelmora());

    // Nobody touches the seat for four seconds: the compositor's one-second notice comes, and the monitor sees
    // more than the timeout pass. Moving the seat's pointer is input. A loaded machine may start the program's
    // loops late, and so not yet count the first pause: the next one then does.
    const std::string question = "Idle period diring \\\"Writing\\\"";
    bool asked = false;
    for (int attempt = 0; attempt < 3 && !asked; ++attempt) {
        std::this_thread::sleep_for(4s);
        EXPECT_FALSE(Shown(question)) << "before any input";
        RunProgram("/usr/bin/swaymsg", {"seat", "-", "cursor", "move", "5", "5"});
        asked = WaitUntil([&] { return Shown(question); }, 5s);
    }
    ASSERT_TRUE(asked) << "the idle question did not appear";
    Screenshot("sway-idle-question.png");
    // The pause before the keys would otherwise be one more absence for the open question. The seat has a
    // keyboard only while wtype's virtual one exists, and the dialog needs a moment to be given it.
    SetSetting("UseIdleDetection", 0);
    RunProgram("/usr/bin/wtype", {"-s", "1000", "-k", "Down", "-s", "100", "-k", "Return", "-s", "300"});
    ASSERT_TRUE(WaitUntil([&] { return !Shown(question); }));

    // The question counts whole seconds over the one-second timeout: at least two are gone from the span,
    // which ends when the question is answered.
    model::Task task;
    task.id = 0;
    ASSERT_TRUE(task.Load(DataFolder()));
    ASSERT_FALSE(task.intervals.IsRunning());
    const model::Interval span(task.intervals.At(0).start, task.intervals.At(task.intervals.Count() - 1).stop);
    EXPECT_LE(task.intervals.TotalIn(span).TotalMs(), span.Duration().TotalMs() - 2000)
        << Cli({"intervals", "Writing"});

    // swaybar draws no menu of its own: its right click asks the item to show one, which the keyboard then drives
    // ("&Help": the manual, beside the program in a build tree, under share/kelmora when installed); its left
    // click asks for the item's main action, the Task List. (The headless seat has no pointer, so the test
    // clicks for it.)
    Call(QStringLiteral("/StatusNotifierItem"), kItemInterface, QStringLiteral("ContextMenu"), {0, 0});
    ASSERT_TRUE(WaitUntil([&] { return Shown(kTrayMenu); }));
    RunProgram("/usr/bin/wtype", {"-s", "1000", "-k", "h", "-s", "300"});
    const std::string url = WaitForOpened(1);
    const std::string prefix = "file://";
    ASSERT_EQ(url.rfind(prefix, 0), 0U) << "Help opened " << url;
    const fs::path manual = fs::weakly_canonical(url.substr(prefix.size()));
    const fs::path folder = fs::weakly_canonical(m_program).parent_path();
    EXPECT_TRUE(manual == folder / "manual.html" || manual == folder.parent_path() / "share/kelmora/manual.html")
        << url;
    EXPECT_TRUE(fs::is_regular_file(manual)) << url;
    Call(QStringLiteral("/StatusNotifierItem"), kItemInterface, QStringLiteral("Activate"), {0, 0});
    EXPECT_TRUE(WaitUntil([&] { return Shown(kTaskList); }));
    EXPECT_EQ(TerminateKelmora(), 0) << "closed, not killed";
}

} // namespace
} // namespace kelmora::e2e
