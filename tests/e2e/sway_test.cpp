// The program on a real Wayland compositor: Debian's sway, headless, with swaybar's tray as the
// StatusNotifierItem host on a private session bus. sway refuses to run as root, so under root it runs as
// "nobody", and the test's programs reach its sockets by absolute path.
#include "e2e.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QStringList>

#include <unistd.h>

namespace kelmora::e2e {
namespace {

using namespace std::chrono_literals;

constexpr unsigned kNobody = 65534;

class SwayDesktop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"/usr/bin/sway", "/usr/bin/swaybar", "/usr/bin/swaymsg", "/usr/bin/grim",
                                 "/usr/bin/wtype", "/usr/bin/setpriv", "/usr/bin/dbus-daemon"}) {
            if (!fs::exists(tool)) {
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
            }
        }
        const fs::path swayRuntime = Root() / "sway";
        for (const fs::path& folder : {Root() / "config", Root() / "runtime", swayRuntime}) {
            fs::create_directories(folder);
            fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
        }
        const bool root = ::geteuid() == 0;
        if (root) {
            // The compositor's user reaches its files, the bus and nothing else of the test's.
            fs::permissions(Root(), fs::perms::owner_all | fs::perms::others_exec, fs::perm_options::replace);
            ASSERT_EQ(::chown(swayRuntime.c_str(), kNobody, kNobody), 0);
        }
        testsupport::WriteFile(Root() / "bus.conf",
                               "<busconfig><type>session</type><listen>unix:dir=" + Root().string() +
                                   "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
                                   "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                   "<allow own=\"*\"/></policy></busconfig>\n");
        m_bus = std::make_unique<testsupport::ChildProcess>(
            "/usr/bin/dbus-daemon", std::vector<std::string>{"--config-file=" + (Root() / "bus.conf").string(),
                                                             "--nofork", "--print-address=1"});
        const auto address = m_bus->readLine(15s);
        ASSERT_TRUE(address && !address->empty()) << "dbus-daemon did not start";
        m_busAddress = *address;
        testsupport::WriteFile(Root() / "sway.conf", "output HEADLESS-1 resolution 1024x768\nxwayland disable\n"
                                                     "bar {\n position top\n tray_output *\n}\n");
        fs::permissions(Root() / "sway.conf", fs::perms::owner_read | fs::perms::others_read);

        std::string command = "exec env -i PATH=/usr/bin:/bin HOME=" + swayRuntime.string() +
                              " XDG_RUNTIME_DIR=" + swayRuntime.string() + " DBUS_SESSION_BUS_ADDRESS=" + m_busAddress +
                              " WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c " +
                              (Root() / "sway.conf").string() + " >" + (swayRuntime / "sway.log").string() + " 2>&1";
        if (root) {
            command = "exec setpriv --reuid=65534 --regid=65534 --clear-groups sh -c '" + command + "'";
        }
        m_sway = std::make_unique<testsupport::ChildProcess>("/bin/sh", std::vector<std::string>{"-c", command});
        fs::path display;
        fs::path ipc;
        const bool started = WaitUntil(
            [&] {
                for (const auto& entry : fs::directory_iterator(swayRuntime)) {
                    const std::string name = entry.path().filename().string();
                    if (entry.is_socket() && name.starts_with("wayland-")) {
                        display = entry.path();
                    } else if (entry.is_socket() && name.starts_with("sway-ipc.")) {
                        ipc = entry.path();
                    }
                }
                return !display.empty() && !ipc.empty();
            },
            20s);
        if (!started) {
            GTEST_SKIP() << "sway could not run here: " << testsupport::ReadFile(swayRuntime / "sway.log");
        }
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::optional<std::string>>>{
                 {"WAYLAND_DISPLAY", display.string()},
                 {"SWAYSOCK", ipc.string()},
                 {"QT_QPA_PLATFORM", "wayland"},
                 {"DISPLAY", std::nullopt},
                 {"XDG_SESSION_TYPE", "wayland"},
                 {"XDG_CURRENT_DESKTOP", "sway"},
                 {"XDG_CONFIG_HOME", (Root() / "config").string()},
                 {"XDG_RUNTIME_DIR", (Root() / "runtime").string()},
                 {"KELMORA_DATA_DIR", (Root() / "data").string()},
                 {"DBUS_SESSION_BUS_ADDRESS", m_busAddress},
             }) {
            m_environment.push_back(std::make_unique<testsupport::ScopedEnvironment>(name, value));
        }
    }

    void TearDown() override
    {
        m_kelmora.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("sway-test"));
        if (m_sway) {
            m_sway->terminate(5s);
        }
        m_bus.reset();
        m_environment.clear();
    }

    // The items swaybar's watcher holds.
    QStringList TrayItems()
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(m_busAddress), "sway-test");
        QDBusMessage call = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                                           "org.freedesktop.DBus.Properties", "Get");
        call.setArguments({"org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"});
        const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
        return reply.arguments().isEmpty()
                   ? QStringList()
                   : qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toStringList();
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

    const fs::path& Root() const { return m_root.path(); }

    testsupport::TempDir m_root;
    std::string m_busAddress;
    std::vector<std::unique_ptr<testsupport::ScopedEnvironment>> m_environment;
    std::unique_ptr<testsupport::ChildProcess> m_bus;
    std::unique_ptr<testsupport::ChildProcess> m_sway;
    std::unique_ptr<testsupport::ChildProcess> m_kelmora;
};

TEST_F(SwayDesktop, TrayItemWithSwaybarIdleQuestionAfterRealAbsence_DoNotCountShortensTheSpan)
{
    ASSERT_TRUE(platform::createSettingsStore()->SetSetting("Remind", 0));
    ASSERT_TRUE(platform::createSettingsStore()->SetSetting("UseIdleDetection", 1));
    ASSERT_TRUE(platform::createSettingsStore()->SetSetting("Timeout", 1));
    RunProgram(KELMORA_CLI_PATH, {"create", "Writing"});
    RunProgram(KELMORA_CLI_PATH, {"start", "Writing"});
    m_kelmora = std::make_unique<testsupport::ChildProcess>(kKelmora, std::vector<std::string>{});
    ASSERT_TRUE(WaitUntil([&] { return !TrayItems().isEmpty(); }, 20s)) << "no item registered with swaybar";

    // Nobody has touched the seat since sway started: the compositor's one-second notice has come, and the
    // monitor has seen more than the timeout pass two seconds later. Moving the seat's pointer is input.
    const std::string question = "Idle period diring \\\"Writing\\\"";
    std::this_thread::sleep_for(3s);
    EXPECT_FALSE(Shown(question));
    RunProgram("/usr/bin/swaymsg", {"seat", "-", "cursor", "move", "5", "5"});
    ASSERT_TRUE(WaitUntil([&] { return Shown(question); })) << "the idle question did not appear";
    Screenshot("sway-idle-question.png");
    // The seat has a keyboard only while wtype's virtual one exists: the dialog needs a moment to be given it.
    // The pause before the keys would otherwise be one more absence for the open question.
    ASSERT_TRUE(platform::createSettingsStore()->SetSetting("UseIdleDetection", 0));
    RunProgram("/usr/bin/wtype", {"-s", "1000", "-k", "Down", "-s", "100", "-k", "Return", "-s", "300"});
    ASSERT_TRUE(WaitUntil([&] { return !Shown(question); }));

    model::Task task;
    task.id = 0;
    ASSERT_TRUE(task.Load(Root() / "data"));
    ASSERT_FALSE(task.intervals.IsRunning());
    // The question counts whole seconds over the one-second timeout: at least two are gone from the span,
    // which ends when the question is answered.
    std::int64_t countedMs = 0;
    for (std::int32_t i = 0; i < task.intervals.Count(); ++i) {
        countedMs += task.intervals.At(i).stop.ToUnixMs() - task.intervals.At(i).start.ToUnixMs();
    }
    const std::int64_t spanMs =
        task.intervals.At(task.intervals.Count() - 1).stop.ToUnixMs() - task.intervals.At(0).start.ToUnixMs();
    EXPECT_LE(countedMs, spanMs - 2000) << RunProgram(KELMORA_CLI_PATH, {"intervals", "Writing"});

    testsupport::ChildProcess terminate(kKelmora, {"/t"});
    EXPECT_EQ(terminate.waitForExit(15s), 0);
    EXPECT_EQ(m_kelmora->waitForExit(5s), 0) << "closed, not killed";
}

} // namespace
} // namespace kelmora::e2e
