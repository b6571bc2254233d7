// The program on a real Wayland compositor: Debian's sway, headless, with swaybar's tray as the
// StatusNotifierItem host on a private session bus. sway refuses to run as root, so under root it runs as
// "nobody", and the test's programs reach its sockets by absolute path.
#include "e2e.h"

#include <unistd.h>

namespace kelmora::e2e {
namespace {

using namespace std::chrono_literals;

const std::string kTaskList = "Kelmora: Task List";

class SwayDesktop : public Desktop
{
protected:
    SwayDesktop() { m_x11 = false; }

    void SetUp() override
    {
        if (!fs::exists("/usr/bin/sway")) {
            GTEST_SKIP() << "sway is not installed (scripts/install-deps.sh installs it)";
        }
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
        SetEnvironment("DBUS_SESSION_BUS_ADDRESS", *bus);
        m_busAddress = *bus;
    }

    void TearDown() override
    {
        if (HasFailure()) {
            Screenshot(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".png");
        }
        Desktop::TearDown();
        if (m_sway) {
            m_sway->terminate(5s);
        }
        m_bus.reset();
    }

    // The bus name of the item swaybar's watcher holds, or empty.
    std::string TrayItem()
    {
        static const std::regex item(R"re("(:[0-9.]+)/StatusNotifierItem")re");
        std::smatch match;
        const std::string items = DBusSend(
            {"--dest=org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties.Get",
             "string:org.kde.StatusNotifierWatcher", "string:RegisteredStatusNotifierItems"});
        return std::regex_search(items, match, item) ? match[1].str() : std::string();
    }

    std::string DBusSend(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {"--bus=" + m_busAddress, "--print-reply"});
        return RunProgram("/usr/bin/dbus-send", arguments);
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

    std::string m_busAddress;
    std::unique_ptr<testsupport::ChildProcess> m_bus;
    std::unique_ptr<testsupport::ChildProcess> m_sway;
};

TEST_F(SwayDesktop, TrayItemWithSwaybarIdleQuestionAfterRealAbsence_DoNotCountShortensTheSpan)
{
    SetSetting("Remind", 0);
    SetSetting("UseIdleDetection", 1);
    SetSetting("Timeout", 1);
    Cli({"create", "Writing"});
    Cli({"start", "Writing"});
    StartKelmora();
    ASSERT_TRUE(WaitUntil([&] { return !TrayItem().empty(); }, 20s)) << "no item registered with swaybar";

    // Nobody touches the seat for three seconds: the compositor's one-second notice comes, and the monitor sees
    // more than the timeout pass. Moving the seat's pointer is input. A loaded machine may start the program's
    // loops late, and so not yet count the first pause: the next one then does.
    const std::string question = "Idle period diring \\\"Writing\\\"";
    bool asked = false;
    for (int attempt = 0; attempt < 3 && !asked; ++attempt) {
        std::this_thread::sleep_for(3s);
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
    std::int64_t countedMs = 0;
    for (std::int32_t i = 0; i < task.intervals.Count(); ++i) {
        countedMs += task.intervals.At(i).stop.ToUnixMs() - task.intervals.At(i).start.ToUnixMs();
    }
    const std::int64_t spanMs =
        task.intervals.At(task.intervals.Count() - 1).stop.ToUnixMs() - task.intervals.At(0).start.ToUnixMs();
    EXPECT_LE(countedMs, spanMs - 2000) << Cli({"intervals", "Writing"});

    // swaybar draws no menu of its own: its right click asks the item to show one, its left click for the
    // item's main action, the Task List. (The headless seat has no pointer, so the test clicks for it.)
    for (const auto& [method, window] : std::vector<std::pair<std::string, std::string>>{
             {"ContextMenu", "Kelmora tray menu"}, {"Activate", kTaskList}}) {
        DBusSend({"--dest=" + TrayItem(), "/StatusNotifierItem", "org.kde.StatusNotifierItem." + method, "int32:0",
                  "int32:0"});
        EXPECT_TRUE(WaitUntil([&] { return Shown(window); })) << method;
    }
    EXPECT_EQ(TerminateKelmora(), 0) << "closed, not killed";
}

} // namespace
} // namespace kelmora::e2e
