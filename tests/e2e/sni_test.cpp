// The tray on desktops that show StatusNotifierItems over D-Bus instead of XEmbed icons (KDE Plasma, GNOME
// with the AppIndicator extension, waybar): the real kelmora on a private X server and a private session bus
// with a stand-in StatusNotifierWatcher, read and driven the way such a panel does.
//
// KELMORA_SNI_TEST_PROGRAM runs another kelmora, e.g. an installed one, to show that it finds its manual.
#include "e2e.h"

#include "support/scopedenvironment.h"
#include "support/testsupport.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace kelmora::e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::ChildProcess;

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

struct Pixmap
{
    int width = 0;
    int height = 0;
    QByteArray argb; // big-endian ARGB32, as the protocol carries it
};

struct MenuEntry
{
    int id = 0;
    QString label;
    std::vector<MenuEntry> children;
};

std::vector<Pixmap> ReadPixmaps(const QDBusArgument& argument)
{
    std::vector<Pixmap> pixmaps;
    argument.beginArray();
    while (!argument.atEnd()) {
        Pixmap pixmap;
        argument.beginStructure();
        argument >> pixmap.width >> pixmap.height >> pixmap.argb;
        argument.endStructure();
        pixmaps.push_back(pixmap);
    }
    argument.endArray();
    return pixmaps;
}

// The program's tray icons are a filled dial: grey while idle, green while a task runs. A point left of the
// centre shows the fill in both, clear of the clock hands and the play mark.
IconLook LookOf(const std::vector<Pixmap>& pixmaps)
{
    for (const Pixmap& pixmap : pixmaps) {
        if (pixmap.width != 32 || pixmap.height != 32 || pixmap.argb.size() != 32 * 32 * 4) {
            continue;
        }
        const auto at = [&pixmap](int offset) {
            return static_cast<unsigned char>(pixmap.argb[(16 * 32 + 8) * 4 + offset]);
        };
        const auto near = [](int value, int wanted) { return std::abs(value - wanted) <= 16; };
        if (at(0) > 200 && near(at(1), 0x8a) && near(at(2), 0x8f) && near(at(3), 0x96)) {
            return IconLook::Idle;
        }
        if (at(0) > 200 && near(at(1), 0x1e) && near(at(2), 0xa0) && near(at(3), 0x4b)) {
            return IconLook::Running;
        }
    }
    return IconLook::None;
}

MenuEntry ReadMenuEntry(const QDBusArgument& argument)
{
    MenuEntry entry;
    QVariantMap properties;
    argument.beginStructure();
    argument >> entry.id >> properties;
    entry.label = properties.value(QStringLiteral("label")).toString();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        entry.children.push_back(ReadMenuEntry(qvariant_cast<QDBusArgument>(child.variant())));
    }
    argument.endArray();
    argument.endStructure();
    return entry;
}

QStringList Labels(const MenuEntry& menu)
{
    QStringList labels;
    for (const MenuEntry& entry : menu.children) {
        if (!entry.label.isEmpty()) {
            labels << entry.label;
        }
    }
    return labels;
}

const MenuEntry* Find(const MenuEntry& menu, const QString& label)
{
    for (const MenuEntry& entry : menu.children) {
        if (entry.label == label) {
            return &entry;
        }
    }
    return nullptr;
}

class StatusNotifierTray : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(m_root.path() / "runtime");
        fs::permissions(m_root.path() / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(m_root.path() / "bin");
        // Help opens the manual through xdg-open; this one notes what it was asked to open.
        const fs::path opener = m_root.path() / "bin" / "xdg-open";
        testsupport::WriteFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$KELMORA_TEST_OPENED\"\n");
        fs::permissions(opener, fs::perms::owner_all);
        testsupport::WriteFile(m_root.path() / "bus.conf",
                               "<busconfig><type>session</type><listen>unix:dir=" + m_root.path().string() +
                                   "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                   "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                   "<allow own=\"*\"/></policy></busconfig>\n");

        m_xvfb =
            std::make_unique<ChildProcess>("/usr/bin/Xvfb", std::vector<std::string>{"-displayfd", "1", "-screen", "0",
                                                                                     "800x600x24", "-nolisten", "tcp"});
        const auto display = m_xvfb->readLine(std::chrono::seconds(15));
        ASSERT_TRUE(display && !display->empty()) << "Xvfb did not start";
        // No service files: nothing is started on demand on this bus.
        m_bus = std::make_unique<ChildProcess>(
            "/usr/bin/dbus-daemon", std::vector<std::string>{"--config-file=" + (m_root.path() / "bus.conf").string(),
                                                             "--nofork", "--print-address=1"});
        const auto address = m_bus->readLine(std::chrono::seconds(15));
        ASSERT_TRUE(address && !address->empty()) << "dbus-daemon did not start";

        const char* path = std::getenv("PATH");
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::optional<std::string>>>{
                 {"DISPLAY", ":" + *display},
                 {"DBUS_SESSION_BUS_ADDRESS", *address},
                 {"PATH", (m_root.path() / "bin").string() + ":" + (path != nullptr ? path : "/usr/bin:/bin")},
                 {"KELMORA_TEST_OPENED", Opened().string()},
                 {"KELMORA_DATA_DIR", (m_root.path() / "data").string()},
                 {"XDG_CONFIG_HOME", (m_root.path() / "config").string()},
                 {"XDG_RUNTIME_DIR", (m_root.path() / "runtime").string()},
                 {"WAYLAND_DISPLAY", std::nullopt},
                 {"QT_QPA_PLATFORM", std::nullopt},
                 {"XDG_CURRENT_DESKTOP", std::nullopt},
             }) {
            m_environment.push_back(std::make_unique<testsupport::ScopedEnvironment>(name, value));
        }

        m_watcher = std::make_unique<ChildProcess>(KELMORA_SNI_WATCHER_PATH, std::vector<std::string>{});
        ASSERT_EQ(m_watcher->readLine(std::chrono::seconds(15)), "ready") << "the watcher did not start";
        m_connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(*address), QStringLiteral("sni-test")));
        ASSERT_TRUE(m_connection->isConnected());
    }

    void TearDown() override
    {
        m_kelmora.reset();
        m_connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("sni-test"));
        m_watcher.reset();
        m_bus.reset();
        m_xvfb.reset();
        m_environment.clear();
    }

    fs::path Opened() const { return m_root.path() / "opened.txt"; }

    // Starts kelmora and waits until it has registered its item with the watcher.
    void StartKelmora()
    {
        const char* other = std::getenv("KELMORA_SNI_TEST_PROGRAM");
        m_program = other != nullptr && *other != '\0' ? fs::path(other) : KelmoraPath();
        m_kelmora = std::make_unique<ChildProcess>(m_program, std::vector<std::string>{});
        const auto line = m_watcher->readLine(std::chrono::seconds(20));
        ASSERT_TRUE(line) << "kelmora registered no StatusNotifierItem";
        const QStringList words = QString::fromStdString(*line).split(QLatin1Char(' '));
        ASSERT_EQ(words.size(), 3) << *line;
        m_service = words[1];
        m_path = words[2];
    }

    QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(m_service, path, interface, method);
        call.setArguments(arguments);
        return m_connection->call(call, QDBus::Block, 5000);
    }

    QVariant ItemProperty(const QString& name)
    {
        const QDBusMessage reply = Call(m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                        QStringLiteral("Get"), {kItemInterface, name});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            ADD_FAILURE() << "no property " << name.toStdString() << ": " << reply.errorMessage().toStdString();
            return {};
        }
        return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
    }

    IconLook Look()
    {
        return LookOf(ReadPixmaps(qvariant_cast<QDBusArgument>(ItemProperty(QStringLiteral("IconPixmap")))));
    }

    // The tooltip's title, the line a panel shows. (Qt sends no tooltip icon: panels show the item's.)
    QString ToolTip()
    {
        const QDBusArgument argument = qvariant_cast<QDBusArgument>(ItemProperty(QStringLiteral("ToolTip")));
        QString iconName;
        QString title;
        QString text;
        argument.beginStructure();
        argument >> iconName;
        ReadPixmaps(argument);
        argument >> title >> text;
        argument.endStructure();
        return title;
    }

    // What a panel reads when the user opens the menu: it announces the opening, then asks for the layout.
    MenuEntry OpenMenu()
    {
        const QString menu = qvariant_cast<QDBusObjectPath>(ItemProperty(QStringLiteral("Menu"))).path();
        m_menuPath = menu;
        Call(menu, kMenuInterface, QStringLiteral("AboutToShow"), {0});
        const QDBusMessage reply = Call(menu, kMenuInterface, QStringLiteral("GetLayout"), {0, -1, QStringList()});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2) {
            ADD_FAILURE() << "GetLayout failed: " << reply.errorMessage().toStdString();
            return {};
        }
        return ReadMenuEntry(qvariant_cast<QDBusArgument>(reply.arguments()[1]));
    }

    void Click(const MenuEntry& entry)
    {
        const QDBusMessage reply =
            Call(m_menuPath, kMenuInterface, QStringLiteral("Event"),
                 {entry.id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QVariant(0))), 0U});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    std::string Cli(const std::vector<std::string>& arguments)
    {
        std::string command = "'" + KelmoraCliPath().string() + "'";
        for (const std::string& argument : arguments) {
            command += " '" + argument + "'";
        }
        return RunCommand(command);
    }

    // The name of the task kelmora-cli sees running, from its "ID NAME DURATION running CATEGORY" lines.
    std::string RunningTask()
    {
        std::istringstream lines(Cli({"tasks"}));
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> fields;
            std::istringstream record(line);
            for (std::string field; std::getline(record, field, '\t');) {
                fields.push_back(field);
            }
            if (fields.size() >= 4 && fields[3] == "running") {
                return fields[1];
            }
        }
        return {};
    }

    testsupport::TempDir m_root;
    std::vector<std::unique_ptr<testsupport::ScopedEnvironment>> m_environment;
    std::unique_ptr<ChildProcess> m_xvfb;
    std::unique_ptr<ChildProcess> m_bus;
    std::unique_ptr<ChildProcess> m_watcher;
    std::unique_ptr<ChildProcess> m_kelmora;
    std::unique_ptr<QDBusConnection> m_connection;
    fs::path m_program;
    QString m_service;
    QString m_path;
    QString m_menuPath;
};

TEST_F(StatusNotifierTray, RegistersShowsItsStateAndStartsATaskFromItsMenu)
{
    Cli({"create", "Writing"});
    Cli({"create", "Reading"});
    ASSERT_NO_FATAL_FAILURE(StartKelmora());

    EXPECT_EQ(ItemProperty(QStringLiteral("Title")).toString(), "Kelmora");
    EXPECT_EQ(ItemProperty(QStringLiteral("Status")).toString(), "Active");
    EXPECT_TRUE(WaitUntil([this] { return Look() == IconLook::Idle; })) << "the idle icon is not shown";
    EXPECT_EQ(ToolTip(), "No started task");

    MenuEntry menu = OpenMenu();
    EXPECT_EQ(Labels(menu),
              (QStringList{"Open _Task List...", "Sta_rt Task", "_Create Task...", "_Generate Report", "_Settings...",
                           "_Help", "_About Kelmora...", "Send _feedback to author...", "_Exit Kelmora"}));
    const MenuEntry* start = Find(menu, "Sta_rt Task");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(Labels(*start), (QStringList{"Writing", "Reading"}));
    const MenuEntry* reading = Find(*start, "Reading");
    ASSERT_NE(reading, nullptr);
    Click(*reading);

    EXPECT_TRUE(WaitUntil([this] { return RunningTask() == "Reading"; })) << Cli({"tasks"});
    EXPECT_TRUE(WaitUntil([this] { return Look() == IconLook::Running; })) << "the running icon is not shown";
    EXPECT_TRUE(WaitUntil([this] { return ToolTip().startsWith("Reading (00:00:"); })) << ToolTip().toStdString();
    menu = OpenMenu();
    EXPECT_TRUE(Find(menu, "S_witch to Task") != nullptr) << Labels(menu).join(", ").toStdString();

    // Help finds the manual: beside the program in a build tree, under share/kelmora when installed.
    const MenuEntry* help = Find(menu, "_Help");
    ASSERT_NE(help, nullptr);
    Click(*help);
    ASSERT_TRUE(WaitUntil([this] { return fs::exists(Opened()); })) << "Help opened nothing";
    std::string url;
    std::getline(std::ifstream(Opened()), url);
    const std::string prefix = "file://";
    ASSERT_EQ(url.rfind(prefix, 0), 0U) << url;
    const fs::path manual = fs::weakly_canonical(url.substr(prefix.size()));
    const fs::path folder = fs::weakly_canonical(m_program).parent_path();
    EXPECT_TRUE(manual == folder / "manual.html" || manual == folder.parent_path() / "share/kelmora/manual.html")
        << url;
    EXPECT_TRUE(fs::is_regular_file(manual)) << url;
}

} // namespace
} // namespace kelmora::e2e
