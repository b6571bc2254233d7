#include "e2e.h"

#include "model/task.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace kelmora::e2e {

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& word)
{
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string CommandLine(const std::string& program, const std::vector<std::string>& arguments)
{
    std::string command = program;
    for (const std::string& argument : arguments) {
        command += " " + Quote(argument);
    }
    return command;
}

std::vector<std::string> Lines(const std::string& text)
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

bool XWindowTreeHas(const std::string& text)
{
    return RunCommand("xwininfo -root -tree").find(text) != std::string::npos;
}

} // namespace

std::string RunCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    std::array<char, 4096> buffer{};
    while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        output.append(buffer.data(), got);
    }
    ::pclose(pipe);
    return output;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
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

bool LastIntervalOpen(const fs::path& data, std::int32_t id)
{
    model::Task task;
    task.id = id;
    return task.Load(data) && task.intervals.IsRunning();
}

IconLook LookOf(const std::vector<std::array<int, 3>>& pixels)
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

void Desktop::SetEnvironment(const std::string& name, const std::optional<std::string>& value)
{
    m_environment.push_back(std::make_unique<testsupport::ScopedEnvironment>(name, value));
}

void Desktop::SetUp()
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
    m_xvfb = std::make_unique<testsupport::ChildProcess>(
        "/usr/bin/Xvfb",
        std::vector<std::string>{"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
    const auto display = m_xvfb->readLine(std::chrono::seconds(15));
    ASSERT_TRUE(display && !display->empty()) << "Xvfb did not start";
    const char* path = std::getenv("PATH");
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::optional<std::string>>>{
             {"DISPLAY", ":" + *display},
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
    ASSERT_TRUE(WaitUntil([] { return RunCommand("xdpyinfo >/dev/null 2>&1 && echo ok") == "ok\n"; }))
        << "display :" << *display << " does not answer";
}

void Desktop::StartTray()
{
    m_trayer = std::make_unique<testsupport::ChildProcess>(
        "/usr/bin/trayer", std::vector<std::string>{"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                                    "--width", "160", "--heighttype", "pixel", "--height", "32",
                                                    "--transparent", "false", "--tint", "0xdcdcdc"});
    ASSERT_TRUE(WaitUntil([] { return XWindowTreeHas("(\"panel\" \"trayer\")"); })) << "trayer did not start";
}

void Desktop::StartWindowManager()
{
    m_windowManager = std::make_unique<testsupport::ChildProcess>("/usr/bin/openbox", std::vector<std::string>{});
    ASSERT_TRUE(WaitUntil([] {
        return RunCommand("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") != std::string::npos;
    })) << "openbox did not start";
}

void Desktop::TearDown()
{
    m_kelmora.reset();
    m_earlierKelmoras.clear();
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

void Desktop::StartKelmora(const fs::path& program)
{
    if (m_kelmora) {
        m_earlierKelmoras.push_back(std::move(m_kelmora));
    }
    m_kelmora = std::make_unique<testsupport::ChildProcess>(program, std::vector<std::string>{});
}

std::optional<int> Desktop::TerminateKelmora()
{
    testsupport::ChildProcess terminate(kKelmora, {"/t"});
    EXPECT_EQ(terminate.waitForExit(std::chrono::seconds(15)), 0);
    return m_kelmora->waitForExit(std::chrono::seconds(5));
}

std::string Desktop::Cli(const std::vector<std::string>& arguments)
{
    return RunCommand(CommandLine(Quote(KELMORA_CLI_PATH), arguments));
}

void Desktop::SetSetting(const std::string& name, int value)
{
    m_settings[name] = value;
    fs::create_directories(Root() / "config" / "Kelmora");
    std::ofstream out(Root() / "config" / "Kelmora" / "kelmora.conf", std::ios::trunc);
    out << "[General]\n";
    for (const auto& [key, number] : m_settings) {
        out << key << "=" << number << "\n";
    }
}

std::string Desktop::Xdotool(const std::vector<std::string>& arguments)
{
    return RunCommand(CommandLine("xdotool", arguments) + " 2>/dev/null");
}

void Desktop::Keys(const std::vector<std::string>& keys)
{
    std::vector<std::string> arguments{"key", "--clearmodifiers", "--delay", "40"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    Xdotool(arguments);
}

std::string Desktop::WaitForOpened(std::size_t count)
{
    std::vector<std::string> lines;
    WaitUntil([&] {
        lines = Lines(testsupport::ReadFile(Root() / "opened.txt"));
        return lines.size() >= count;
    });
    return lines.size() >= count ? lines[count - 1] : std::string();
}

// The tray icons are the children of trayer's panel window that belong to kelmora.
std::vector<Geometry> Desktop::TrayIcons()
{
    const std::vector<std::string> lines = Lines(RunCommand("xwininfo -root -tree"));
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
                icons.push_back({std::stoi(match[3]), std::stoi(match[4]), std::stoi(match[1]), std::stoi(match[2])});
            }
        }
    }
    return icons;
}

std::optional<Geometry> Desktop::WaitForTrayIcon()
{
    std::optional<Geometry> icon;
    WaitUntil([&] {
        const std::vector<Geometry> icons = TrayIcons();
        icon = icons.empty() ? std::nullopt : std::optional<Geometry>(icons.front());
        return icon.has_value() && icon->width > 1;
    });
    return icon;
}

bool Desktop::WaitForTrayIconLook(IconLook look)
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
             Lines(RunCommand("import -window root -crop " + crop + " -depth 8 txt:- 2>/dev/null"))) {
            if (std::smatch match; std::regex_search(line, match, pixel)) {
                pixels.push_back({std::stoi(match[1], nullptr, 16), std::stoi(match[2], nullptr, 16),
                                  std::stoi(match[3], nullptr, 16)});
            }
        }
        return LookOf(pixels) == look;
    });
}

void Desktop::ClickTrayIcon(int button, int clicks)
{
    // The tray may still be settling the icon's place, so it is looked up afresh for each click. The move is
    // not waited for: "mousemove --sync" onto the place where the pointer already is waits ~15 s for a motion
    // that never comes; the click follows the move in order anyway.
    const Geometry icon = WaitForTrayIcon().value_or(Geometry{});
    Xdotool({"mousemove", std::to_string(icon.x + icon.width / 2), std::to_string(icon.y + icon.height / 2), "click",
             "--repeat", std::to_string(clicks), "--delay", "60", std::to_string(button)});
}

void Desktop::ChooseFromTrayMenu(const std::string& key)
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

std::vector<std::string> Desktop::VisibleWindows(const std::string& title)
{
    return Lines(Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}));
}

std::string Desktop::WaitForWindow(const std::string& title)
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

std::optional<std::pair<int, int>> Desktop::WindowSize(const std::string& id)
{
    static const std::regex size(R"(WIDTH=(\d+)\s+HEIGHT=(\d+))");
    const std::string text = Xdotool({"getwindowgeometry", "--shell", id});
    if (std::smatch match; std::regex_search(text, match, size)) {
        return std::pair(std::stoi(match[1]), std::stoi(match[2]));
    }
    return std::nullopt;
}

void Desktop::Screenshot(const std::string& name)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path folder = fs::current_path() / "e2e-screenshots";
    fs::create_directories(folder);
    RunCommand(
        "import -window root " +
        Quote((folder / (std::string(info->test_suite_name()) + "." + info->name() + "-" + name + ".png")).string()));
}

} // namespace kelmora::e2e
