#pragma once

#include "support/childprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelmora::e2e {

std::filesystem::path KelmoraPath();
std::filesystem::path KelmoraCliPath();

// Runs a shell command and returns what it printed on standard output.
std::string RunCommand(const std::string& command);

// Polls `condition` every 100 ms until it holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10));

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

// A private X server with a notification area, and a data folder, settings and runtime folder of its own,
// so nothing the user has is touched and tests cannot see each other.
class Desktop : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Whether SetUp starts the notification area; a fixture may start it later with StartTray.
    virtual bool TrayAtStart() const { return true; }
    // Starts trayer and waits until its panel is there.
    void StartTray();
    // Starts openbox and waits until it manages the screen.
    void StartWindowManager();
    // Ends the running kelmora through "/t" and waits for it: its exit status.
    std::optional<int> TerminateKelmora();

    void StartKelmora(const std::vector<std::string>& arguments = {});
    testsupport::ChildProcess& KelmoraProcess() { return *m_kelmora; }
    const std::filesystem::path& DataFolder() const { return m_data; }

    // kelmora-cli on the same data folder; returns its output.
    std::string Cli(const std::vector<std::string>& arguments);
    void SetSetting(const std::string& name, int value);
    std::string Xdotool(const std::vector<std::string>& arguments);

    std::optional<Geometry> TrayIcon();
    std::optional<Geometry> WaitForTrayIcon();
    int TrayIconCount();
    IconLook TrayIconLook(const Geometry& icon);
    // Waits until the tray icon, wherever the tray has put it by then, looks as expected.
    bool WaitForTrayIconLook(IconLook look);
    // Right-clicks the tray icon, waits for the menu and types `key` into it.
    void ChooseFromTrayMenu(const Geometry& icon, const std::string& key);
    // Waits for a visible window titled exactly `title` and gives it the keyboard: its id, or empty.
    std::string WaitForWindow(const std::string& title);
    // Types keys (xdotool key names) into the focused window.
    void Keys(const std::vector<std::string>& keys);
    // The outer size and place of a window, as the window manager has it.
    std::optional<Geometry> WindowGeometry(const std::string& id);
    // Ids of the visible windows titled exactly `title`.
    std::vector<std::string> VisibleWindows(const std::string& title);
    // Saves the whole screen under the build folder, for a person to look at.
    void Screenshot(const std::string& name);
    // For the programs started from now on; the old value comes back at the end of the test.
    void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

private:
    testsupport::TempDir m_root;
    std::filesystem::path m_data;
    std::filesystem::path m_config;
    std::filesystem::path m_runtime;
    std::unique_ptr<testsupport::ChildProcess> m_xvfb;
    std::string m_display;
    std::unique_ptr<testsupport::ChildProcess> m_trayer;
    std::unique_ptr<testsupport::ChildProcess> m_windowManager;
    std::unique_ptr<testsupport::ChildProcess> m_kelmora;
    std::vector<std::unique_ptr<testsupport::ChildProcess>> m_earlierKelmoras;
    std::map<std::string, int> m_settings;
    std::map<std::string, std::optional<std::string>> m_savedEnvironment;
};

} // namespace kelmora::e2e
