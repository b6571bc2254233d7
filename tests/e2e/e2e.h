#pragma once

#include "support/childprocess.h"
#include "support/scopedenvironment.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelmora::e2e {

inline const std::filesystem::path kKelmora = KELMORA_PATH;

// Runs a shell command and returns what it printed on standard output.
std::string RunCommand(const std::string& command);

// Polls `condition` every 100 ms, handling Qt's events in between, until it holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Whether the task's last span is still open in its file.
bool LastIntervalOpen(const std::filesystem::path& data, std::int32_t id);

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
IconLook LookOf(const std::vector<std::array<int, 3>>& pixels);

// A private X server, and a data folder, settings, runtime folder and desktop opener of its own, so nothing
// the user has is touched and tests cannot see each other. The opener ("xdg-open") only notes what it is
// handed. No notification area, window manager or session bus until a test starts one.
class Desktop : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts trayer as the notification area and waits until its panel is there.
    void StartTray();
    // Starts openbox and waits until it manages the screen.
    void StartWindowManager();
    void StartKelmora(const std::filesystem::path& program = kKelmora);
    // Ends the running kelmora through "/t" and waits for it: its exit status.
    std::optional<int> TerminateKelmora();
    testsupport::ChildProcess& KelmoraProcess() { return *m_kelmora; }
    const std::filesystem::path& DataFolder() const { return m_data; }
    const std::filesystem::path& Root() const { return m_root.path(); }

    // kelmora-cli on the same data folder; returns its output.
    std::string Cli(const std::vector<std::string>& arguments);
    void SetSetting(const std::string& name, int value);
    std::string Xdotool(const std::vector<std::string>& arguments);
    // Types keys (xdotool key names) into the focused window.
    void Keys(const std::vector<std::string>& keys);
    // Waits until the desktop's opener has been handed `count` files or links: the last one.
    std::string WaitForOpened(std::size_t count);
    // For the programs started from now on; the old value comes back at the end of the test.
    void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

    // The program's icons in trayer's panel.
    std::vector<Geometry> TrayIcons();
    std::optional<Geometry> WaitForTrayIcon();
    // Waits until the tray icon, wherever the tray has put it by then, looks as expected.
    bool WaitForTrayIconLook(IconLook look);
    // Clicks the middle of the tray icon with `button`, `clicks` times.
    void ClickTrayIcon(int button, int clicks = 1);
    // Right-clicks the tray icon, waits for the menu and types `key` into it.
    void ChooseFromTrayMenu(const std::string& key);

    // Ids of the visible windows titled exactly `title`.
    std::vector<std::string> VisibleWindows(const std::string& title);
    bool Shown(const std::string& title) { return !VisibleWindows(title).empty(); }
    // Waits for a visible window titled exactly `title` and gives it the keyboard: its id, or empty.
    std::string WaitForWindow(const std::string& title);
    // The width and height of a window, as the window manager has it.
    std::optional<std::pair<int, int>> WindowSize(const std::string& id);
    // Saves the whole screen under the build folder, for a person to look at.
    void Screenshot(const std::string& name);

private:
    testsupport::TempDir m_root;
    std::filesystem::path m_data;
    std::vector<std::unique_ptr<testsupport::ScopedEnvironment>> m_environment;
    std::unique_ptr<testsupport::ChildProcess> m_xvfb;
    std::unique_ptr<testsupport::ChildProcess> m_trayer;
    std::unique_ptr<testsupport::ChildProcess> m_windowManager;
    std::unique_ptr<testsupport::ChildProcess> m_kelmora;
    std::vector<std::unique_ptr<testsupport::ChildProcess>> m_earlierKelmoras;
    std::map<std::string, int> m_settings;
};

} // namespace kelmora::e2e
