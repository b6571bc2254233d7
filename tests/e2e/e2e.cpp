#include "e2e.h"

#include <algorithm>
#include <array>
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

std::size_t Indent(const std::string& line)
{
    return line.find_first_not_of(' ');
}

} // namespace

fs::path KelmoraPath()
{
    return KELMORA_PATH;
}

fs::path KelmoraCliPath()
{
    return KELMORA_CLI_PATH;
}

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
    }
    return true;
}

void Desktop::SetEnvironment(const std::string& name, const std::optional<std::string>& value)
{
    if (!m_savedEnvironment.contains(name)) {
        const char* old = std::getenv(name.c_str());
        m_savedEnvironment[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

void Desktop::SetUp()
{
    m_data = m_root.path() / "data";
    m_config = m_root.path() / "config";
    m_runtime = m_root.path() / "runtime";
    fs::create_directories(m_config);
    fs::create_directories(m_runtime);
    fs::permissions(m_runtime, fs::perms::owner_all, fs::perm_options::replace);

    // Xvfb picks a free display itself and names it once it listens.
    m_xvfb = std::make_unique<testsupport::ChildProcess>(
        "/usr/bin/Xvfb",
        std::vector<std::string>{"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
    const auto display = m_xvfb->readLine(std::chrono::seconds(15));
    ASSERT_TRUE(display && !display->empty()) << "Xvfb did not start";
    m_display = *display;
    SetEnvironment("DISPLAY", ":" + m_display);
    // The display must answer before any client starts: clients started at once sometimes failed with
    // "cannot open display".
    ASSERT_TRUE(WaitUntil([] { return RunCommand("xdpyinfo >/dev/null 2>&1 && echo ok") == "ok\n"; }))
        << "display :" << m_display << " does not answer";
    SetEnvironment("WAYLAND_DISPLAY", std::nullopt);
    SetEnvironment("QT_QPA_PLATFORM", std::nullopt);
    SetEnvironment("XDG_CONFIG_HOME", m_config.string());
    SetEnvironment("XDG_RUNTIME_DIR", m_runtime.string());
    SetEnvironment("KELMORA_DATA_DIR", m_data.string());
    SetEnvironment("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    if (TrayAtStart()) {
        StartTray();
    }
}

void Desktop::StartTray()
{
    m_trayer = std::make_unique<testsupport::ChildProcess>(
        "/usr/bin/trayer", std::vector<std::string>{"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                                    "--width", "160", "--heighttype", "pixel", "--height", "32",
                                                    "--transparent", "false", "--tint", "0xdcdcdc"});
    ASSERT_TRUE(WaitUntil([] {
        return RunCommand("xwininfo -root -tree").find("(\"panel\" \"trayer\")") != std::string::npos;
    })) << "trayer did not start";
}

void Desktop::StartWindowManager()
{
    m_windowManager = std::make_unique<testsupport::ChildProcess>("/usr/bin/openbox", std::vector<std::string>{});
    ASSERT_TRUE(WaitUntil([] {
        return RunCommand("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") != std::string::npos;
    })) << "openbox did not start";
}

std::optional<int> Desktop::TerminateKelmora()
{
    testsupport::ChildProcess terminate(KelmoraPath(), {"/t"});
    EXPECT_EQ(terminate.waitForExit(std::chrono::seconds(15)), 0);
    return m_kelmora->waitForExit(std::chrono::seconds(5));
}

void Desktop::TearDown()
{
    m_kelmora.reset();
    m_earlierKelmoras.clear();
    // Asked to end rather than killed, the servers remove their sockets and locks, which would otherwise
    // mislead the next server that takes the same display number.
    for (auto* client : {&m_windowManager, &m_trayer}) {
        if (*client) {
            (*client)->terminate(std::chrono::seconds(5));
            client->reset();
        }
    }
    if (m_xvfb) {
        EXPECT_TRUE(m_xvfb->terminate(std::chrono::seconds(10))) << "Xvfb did not end when asked";
        m_xvfb.reset();
    }
    for (const auto& [name, value] : m_savedEnvironment) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
}

void Desktop::StartKelmora(const std::vector<std::string>& arguments)
{
    if (m_kelmora) {
        m_earlierKelmoras.push_back(std::move(m_kelmora));
    }
    m_kelmora = std::make_unique<testsupport::ChildProcess>(KelmoraPath(), arguments);
}

std::string Desktop::Cli(const std::vector<std::string>& arguments)
{
    std::string command = Quote(KelmoraCliPath().string());
    for (const std::string& argument : arguments) {
        command += " " + Quote(argument);
    }
    return RunCommand(command);
}

void Desktop::SetSetting(const std::string& name, int value)
{
    m_settings[name] = value;
    fs::create_directories(m_config / "Kelmora");
    std::ofstream out(m_config / "Kelmora" / "kelmora.conf", std::ios::trunc);
    out << "[General]\n";
    for (const auto& [key, number] : m_settings) {
        out << key << "=" << number << "\n";
    }
}

std::string Desktop::Xdotool(const std::vector<std::string>& arguments)
{
    std::string command = "xdotool";
    for (const std::string& argument : arguments) {
        command += " " + Quote(argument);
    }
    return RunCommand(command + " 2>/dev/null");
}

// The tray icons are the children of trayer's panel window that belong to kelmora.
std::optional<Geometry> Desktop::TrayIcon()
{
    const std::vector<std::string> lines = Lines(RunCommand("xwininfo -root -tree"));
    // e.g.   0x400006 "Kelmora": ("kelmora" "Kelmora")  22x30+0+0  +1001+1
    static const std::regex child(R"(\("kelmora" "Kelmora"\)\s+(\d+)x(\d+)[+-]\d+[+-]\d+\s+\+(-?\d+)\+(-?\d+))");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("(\"panel\" \"trayer\")") == std::string::npos) {
            continue;
        }
        for (std::size_t j = i + 1; j < lines.size() && Indent(lines[j]) > Indent(lines[i]); ++j) {
            std::smatch match;
            if (std::regex_search(lines[j], match, child)) {
                return Geometry{std::stoi(match[3]), std::stoi(match[4]), std::stoi(match[1]), std::stoi(match[2])};
            }
        }
    }
    return std::nullopt;
}

int Desktop::TrayIconCount()
{
    const std::vector<std::string> lines = Lines(RunCommand("xwininfo -root -tree"));
    int count = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("(\"panel\" \"trayer\")") == std::string::npos) {
            continue;
        }
        for (std::size_t j = i + 1; j < lines.size() && Indent(lines[j]) > Indent(lines[i]); ++j) {
            count += lines[j].find("(\"kelmora\" \"Kelmora\")") != std::string::npos ? 1 : 0;
        }
    }
    return count;
}

std::optional<Geometry> Desktop::WaitForTrayIcon()
{
    std::optional<Geometry> icon;
    WaitUntil([&] {
        icon = TrayIcon();
        return icon.has_value() && icon->width > 1;
    });
    return icon;
}

// Reads the icon's pixels: the running icon is green, the idle one grey, against the light panel.
IconLook Desktop::TrayIconLook(const Geometry& icon)
{
    const std::string crop = std::to_string(icon.width) + "x" + std::to_string(icon.height) + "+" +
                             std::to_string(icon.x) + "+" + std::to_string(icon.y);
    const std::string pixels = RunCommand("import -window root -crop " + crop + " -depth 8 txt:- 2>/dev/null");
    static const std::regex pixel(R"(#([0-9A-Fa-f]{2})([0-9A-Fa-f]{2})([0-9A-Fa-f]{2}))");
    int green = 0;
    int grey = 0;
    for (const std::string& line : Lines(pixels)) {
        std::smatch match;
        if (!std::regex_search(line, match, pixel)) {
            continue;
        }
        const int r = std::stoi(match[1], nullptr, 16);
        const int g = std::stoi(match[2], nullptr, 16);
        const int b = std::stoi(match[3], nullptr, 16);
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

bool Desktop::WaitForTrayIconLook(IconLook look)
{
    return WaitUntil([&] {
        const auto icon = TrayIcon();
        return icon.has_value() && TrayIconLook(*icon) == look;
    });
}

void Desktop::ChooseFromTrayMenu(const Geometry& icon, const std::string& key)
{
    // The menu carries a title of its own, so neither a tooltip nor another window passes for it. The
    // tray may still be settling the icon's place, so the icon is looked up afresh for each try. The move
    // is not waited for: "mousemove --sync" onto the place where the pointer already is waits ~15 s for a
    // motion that never comes, which made every second menu of a test that slow; the click follows the
    // move in order anyway.
    bool opened = false;
    for (int attempt = 0; attempt < 5 && !opened; ++attempt) {
        const Geometry target = TrayIcon().value_or(icon);
        Xdotool({"mousemove", std::to_string(target.x + target.width / 2), std::to_string(target.y + target.height / 2),
                 "click", "3"});
        opened = WaitUntil([&] { return !VisibleWindows("Kelmora tray menu").empty(); }, std::chrono::seconds(2));
    }
    ASSERT_TRUE(opened) << "the tray menu did not open";
    Xdotool({"key", "--clearmodifiers", key});
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

void Desktop::Keys(const std::vector<std::string>& keys)
{
    std::vector<std::string> arguments{"key", "--clearmodifiers", "--delay", "40"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    Xdotool(arguments);
}

std::optional<Geometry> Desktop::WindowGeometry(const std::string& id)
{
    // e.g. "X=10\nY=20\nWIDTH=700\nHEIGHT=500\n"
    const std::string text = Xdotool({"getwindowgeometry", "--shell", id});
    static const std::regex field(R"((X|Y|WIDTH|HEIGHT)=(-?\d+))");
    Geometry geometry;
    int found = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), field), end; it != end; ++it, ++found) {
        const int value = std::stoi((*it)[2]);
        const std::string name = (*it)[1];
        (name == "X"       ? geometry.x
         : name == "Y"     ? geometry.y
         : name == "WIDTH" ? geometry.width
                           : geometry.height) = value;
    }
    return found == 4 ? std::optional<Geometry>(geometry) : std::nullopt;
}

std::vector<std::string> Desktop::VisibleWindows(const std::string& title)
{
    return Lines(Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}));
}

void Desktop::Screenshot(const std::string& name)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path folder = fs::current_path() / "e2e-screenshots";
    fs::create_directories(folder);
    const std::string file =
        (folder / (std::string(info->test_suite_name()) + "." + info->name() + "-" + name + ".png")).string();
    RunCommand("import -window root " + Quote(file));
}

} // namespace kelmora::e2e
