#pragma once

#include "model/task.h"
#include "platform/settingsstore.h"
#include "support/childprocess.h"
#include "support/scopedenvironment.h"
#include "support/testsupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The harness of the end-to-end tests, whole in this header.
namespace kelmora::e2e {

namespace fs = std::filesystem;

inline const fs::path kKelmora = KELMORA_PATH;
inline const std::string kTaskList = "Kelmora: Task List";
inline const std::string kTrayMenu = "Kelmora tray menu";

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

// Runs a program and returns what it printed on standard output.
inline std::string RunProgram(const fs::path& program, const std::vector<std::string>& arguments)
{
    testsupport::ChildProcess child(program, arguments);
    std::string output;
    while (const auto line = child.readLine(std::chrono::seconds(30))) {
        output += *line + "\n";
    }
    child.waitForExit(std::chrono::seconds(30));
    return output;
}

// Polls `condition` every 100 ms, handling Qt's events in between, until it holds or `timeout` passes.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // A test that serves the session bus answers the program's calls meanwhile.
        QCoreApplication::processEvents();
    }
    return true;
}

// Whether the task's last span is still open in its file.
inline bool LastIntervalOpen(const fs::path& data, std::int32_t id)
{
    model::Task task;
    task.id = id;
    return task.Load(data) && task.intervals.IsRunning();
}

// Position and size on the screen, in pixels.
struct Geometry
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

enum class IconLook
{
    None,
    Idle,
    Running,
};

// The running icon is green, the idle one grey: the look of a picture from its 8-bit RGB pixels.
inline IconLook LookOf(const std::vector<std::array<int, 3>>& pixels)
{
    int green = 0;
    int grey = 0;
    for (const auto& [r, g, b] : pixels) {
        if (g > r + 50 && g > b + 30) {
            ++green;
        } else if (std::abs(r - g) < 24 && std::abs(g - b) < 24 && r > 90 && r < 180) {
            ++grey;
        }
    }
    if (green > 20) {
        return IconLook::Running;
    }
    return grey > 20 ? IconLook::Idle : IconLook::None;
}

// A private X server, and a data folder, settings, runtime folder and desktop opener of its own, so nothing
// the user has is touched and tests cannot see each other. The opener ("xdg-open") only notes what it is
// handed. No notification area, window manager or session bus until a test starts one.
class Desktop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_data = Root() / "data";
        for (const char* folder : {"config", "runtime", "bin"}) {
            fs::create_directories(Root() / folder);
        }
        fs::permissions(Root() / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        std::ofstream(Root() / "bin" / "xdg-open")
            << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << (Root() / "opened.txt").string() << "'\n";
        fs::permissions(Root() / "bin" / "xdg-open", fs::perms::owner_all);

        // Xvfb picks a free display itself and names it once it listens.
        std::optional<std::string> display;
        if (m_x11) {
            m_xvfb = std::make_unique<testsupport::ChildProcess>(
                "/usr/bin/Xvfb", std::vector<std::string>{"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                                                          "tcp", "-noreset"});
            display = m_xvfb->readLine(std::chrono::seconds(15));
            ASSERT_TRUE(display && !display->empty()) << "Xvfb did not start";
            display = ":" + *display;
        }
        const char* path = std::getenv("PATH");
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::optional<std::string>>>{
                 {"DISPLAY", display},
                 {"WAYLAND_DISPLAY", std::nullopt},
                 {"QT_QPA_PLATFORM", std::nullopt},
                 {"XDG_CONFIG_HOME", (Root() / "config").string()},
                 {"XDG_RUNTIME_DIR", (Root() / "runtime").string()},
                 {"KELMORA_DATA_DIR", m_data.string()},
                 {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                 {"PATH", (Root() / "bin").string() + ":" + (path != nullptr ? path : "/usr/bin:/bin")},
                 // Without a desktop of its own Qt hands files and links to xdg-open.
                 {"XDG_CURRENT_DESKTOP", std::nullopt},
                 {"DESKTOP_SESSION", std::nullopt},
             }) {
            SetEnvironment(name, value);
        }
        // The display must answer before any client starts: clients started at once sometimes failed with
        // "cannot open display".
        ASSERT_TRUE(!m_x11 || WaitUntil([] { return !RunProgram("/usr/bin/xdpyinfo", {}).empty(); }))
            << "display " << display.value_or("") << " does not answer";
    }

    void TearDown() override
    {
        // A failed test leaves the screen as it was then under the build folder, for a person to look at.
        if (HasFailure() && m_xvfb) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            const fs::path folder = fs::current_path() / "e2e-screenshots";
            fs::create_directories(folder);
            const std::string name = std::string(info->test_suite_name()) + "." + info->name() + ".png";
            RunProgram("/usr/bin/import", {"-window", "root", (folder / name).string()});
        }
        m_kelmora.reset();
        m_trayer.reset();
        m_windowManager.reset();
        // Asked to end rather than killed, Xvfb removes its socket and lock, which would otherwise mislead the
        // next server that takes the same display number.
        if (m_xvfb) {
            EXPECT_TRUE(m_xvfb->terminate(std::chrono::seconds(10))) << "Xvfb did not end when asked";
        }
        // Last set, first restored: a variable set twice gets its first value back.
        while (!m_environment.empty()) {
            m_environment.pop_back();
        }
    }

    // Starts trayer as the notification area and waits until its panel is there.
    void StartTray()
    {
        m_trayer = std::make_unique<testsupport::ChildProcess>(
            "/usr/bin/trayer", std::vector<std::string>{"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                                        "--width", "160", "--heighttype", "pixel", "--height", "32",
                                                        "--transparent", "false", "--tint", "0xdcdcdc"});
        ASSERT_TRUE(WaitUntil([] {
            return RunProgram("/usr/bin/xwininfo", {"-root", "-tree"}).find("(\"panel\" \"trayer\")") !=
                   std::string::npos;
        })) << "trayer did not start";
    }

    // Starts openbox and waits until it manages the screen.
    void StartWindowManager()
    {
        m_windowManager = std::make_unique<testsupport::ChildProcess>("/usr/bin/openbox", std::vector<std::string>{});
        ASSERT_TRUE(WaitUntil([] {
            return RunProgram("/usr/bin/xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") !=
                   std::string::npos;
        })) << "openbox did not start";
    }

    void StartKelmora(const fs::path& program = kKelmora)
    {
        m_kelmora = std::make_unique<testsupport::ChildProcess>(program, std::vector<std::string>{});
    }

    // Ends the running kelmora through "/t" and waits for it: its exit status.
    std::optional<int> TerminateKelmora()
    {
        testsupport::ChildProcess terminate(kKelmora, {"/t"});
        EXPECT_EQ(terminate.waitForExit(std::chrono::seconds(15)), 0);
        return m_kelmora->waitForExit(std::chrono::seconds(5));
    }

    testsupport::ChildProcess& KelmoraProcess() { return *m_kelmora; }
    const fs::path& DataFolder() const { return m_data; }
    const fs::path& Root() const { return m_root.path(); }

    // kelmora-cli on the same data folder; returns its output.
    std::string Cli(const std::vector<std::string>& arguments) { return RunProgram(KELMORA_CLI_PATH, arguments); }

    // Through the program's own settings store, which it reads at the moment of use.
    void SetSetting(const std::string& name, int value)
    {
        ASSERT_TRUE(platform::createSettingsStore()->SetSetting(name, value));
    }

    std::string Xdotool(const std::vector<std::string>& arguments) { return RunProgram("/usr/bin/xdotool", arguments); }

    // Types keys (xdotool key names) into the focused window.
    void Keys(const std::vector<std::string>& keys)
    {
        std::vector<std::string> arguments{"key", "--clearmodifiers", "--delay", "40"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        Xdotool(arguments);
    }

    // Waits until the desktop's opener has been handed `count` files or links: the last one.
    std::string WaitForOpened(std::size_t count)
    {
        std::vector<std::string> lines;
        WaitUntil([&] {
            lines = Lines(testsupport::ReadFile(Root() / "opened.txt"));
            return lines.size() >= count;
        });
        return lines.size() >= count ? lines[count - 1] : std::string();
    }

    // For the programs started from now on; the old value comes back at the end of the test.
    void SetEnvironment(const std::string& name, const std::optional<std::string>& value)
    {
        m_environment.push_back(std::make_unique<testsupport::ScopedEnvironment>(name, value));
    }

    // The program's icons: the children of trayer's panel window that belong to kelmora.
    std::vector<Geometry> TrayIcons()
    {
        const std::vector<std::string> lines = Lines(RunProgram("/usr/bin/xwininfo", {"-root", "-tree"}));
        // e.g.   0x400006 "Kelmora": ("kelmora" "Kelmora")  22x30+0+0  +1001+1
        static const std::regex child(R"(\("kelmora" "Kelmora"\)\s+(\d+)x(\d+)[+-]\d+[+-]\d+\s+\+(-?\d+)\+(-?\d+))");
        std::vector<Geometry> icons;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find("(\"panel\" \"trayer\")") == std::string::npos) {
                continue;
            }
            const auto indent = [](const std::string& line) { return line.find_first_not_of(' '); };
            for (std::size_t j = i + 1; j < lines.size() && indent(lines[j]) > indent(lines[i]); ++j) {
                std::smatch match;
                if (std::regex_search(lines[j], match, child)) {
                    icons.push_back(
                        {std::stoi(match[3]), std::stoi(match[4]), std::stoi(match[1]), std::stoi(match[2])});
                }
            }
        }
        return icons;
    }

    std::optional<Geometry> WaitForTrayIcon()
    {
        std::vector<Geometry> icons;
        WaitUntil([&] { return !(icons = TrayIcons()).empty() && icons.front().width > 1; });
        return icons.empty() ? std::nullopt : std::optional<Geometry>(icons.front());
    }

    // Waits until the tray icon, wherever the tray has put it by then, looks as expected.
    bool WaitForTrayIconLook(IconLook look)
    {
        return WaitUntil([&] {
            const auto icon = WaitForTrayIcon();
            if (!icon) {
                return false;
            }
            const std::string crop = std::to_string(icon->width) + "x" + std::to_string(icon->height) + "+" +
                                     std::to_string(icon->x) + "+" + std::to_string(icon->y);
            static const std::regex pixel(R"(#([0-9A-Fa-f]{2})([0-9A-Fa-f]{2})([0-9A-Fa-f]{2}))");
            std::vector<std::array<int, 3>> pixels;
            for (const std::string& line :
                 Lines(RunProgram("/usr/bin/import", {"-window", "root", "-crop", crop, "-depth", "8", "txt:-"}))) {
                if (std::smatch match; std::regex_search(line, match, pixel)) {
                    pixels.push_back({std::stoi(match[1], nullptr, 16), std::stoi(match[2], nullptr, 16),
                                      std::stoi(match[3], nullptr, 16)});
                }
            }
            return LookOf(pixels) == look;
        });
    }

    // Clicks the middle of the tray icon with `button`, `clicks` times.
    void ClickTrayIcon(int button, int clicks = 1)
    {
        // The tray may still be settling the icon's place, so it is looked up afresh for each click. The move is
        // not waited for: "mousemove --sync" onto the place where the pointer already is waits ~15 s for a motion
        // that never comes; the click follows the move in order anyway.
        const Geometry icon = WaitForTrayIcon().value_or(Geometry{});
        Xdotool({"mousemove", std::to_string(icon.x + icon.width / 2), std::to_string(icon.y + icon.height / 2),
                 "click", "--repeat", std::to_string(clicks), "--delay", "60", std::to_string(button)});
    }

    // Right-clicks the tray icon, waits for the menu and types `key` into it.
    void ChooseFromTrayMenu(const std::string& key)
    {
        // The menu carries a title of its own, so neither a tooltip nor another window passes for it.
        bool opened = false;
        for (int attempt = 0; attempt < 5 && !opened; ++attempt) {
            ClickTrayIcon(3);
            opened = WaitUntil([&] { return Shown("Kelmora tray menu"); }, std::chrono::seconds(2));
        }
        ASSERT_TRUE(opened) << "the tray menu did not open";
        Xdotool({"key", "--clearmodifiers", key});
    }

    // Ids of the visible windows titled exactly `title`.
    std::vector<std::string> VisibleWindows(const std::string& title)
    {
        return Lines(Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}));
    }

    bool Shown(const std::string& title) { return !VisibleWindows(title).empty(); }

    // Waits for a visible window titled exactly `title` and gives it the keyboard: its id, or empty.
    std::string WaitForWindow(const std::string& title)
    {
        std::string id;
        WaitUntil([&] {
            const std::vector<std::string> ids = VisibleWindows(title);
            id = ids.empty() ? std::string() : ids.front();
            return !id.empty();
        });
        if (!id.empty()) {
            if (m_windowManager) {
                Xdotool({"windowactivate", "--sync", id});
            }
            Xdotool({"windowfocus", "--sync", id});
        }
        return id;
    }

    // False: no X server; the test brings a Wayland compositor.
    bool m_x11 = true;

private:
    testsupport::TempDir m_root;
    fs::path m_data;
    std::vector<std::unique_ptr<testsupport::ScopedEnvironment>> m_environment;
    std::unique_ptr<testsupport::ChildProcess> m_xvfb;
    std::unique_ptr<testsupport::ChildProcess> m_trayer;
    std::unique_ptr<testsupport::ChildProcess> m_windowManager;
    std::unique_ptr<testsupport::ChildProcess> m_kelmora;
};

} // namespace kelmora::e2e
