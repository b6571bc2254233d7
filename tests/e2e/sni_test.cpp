// The tray on desktops that show StatusNotifierItems over D-Bus instead of XEmbed icons (KDE Plasma, GNOME
// with the AppIndicator extension, waybar): the real kelmora on a private session bus where this test stands
// in for the StatusNotifierWatcher, and reads and drives the item the way such a panel does.
//
// KELMORA_SNI_TEST_PROGRAM runs another kelmora, e.g. an installed one, to show that it finds its manual.
#include "e2e.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace kelmora::e2e {
namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

struct MenuEntry
{
    int id = 0;
    QString label;
    std::vector<MenuEntry> children;
};

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

const MenuEntry* Find(const MenuEntry& menu, const QString& label)
{
    for (const MenuEntry& entry : menu.children) {
        if (entry.label == label) {
            return &entry;
        }
    }
    return nullptr;
}

// Says that a host shows the items, and notes the bus name of each item that registers. (Qt's items name
// their own bus name, with the item at /StatusNotifierItem.)
class Watcher final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)

public:
    bool IsStatusNotifierHostRegistered() const { return true; }
    QStringList items;

public slots:
    void RegisterStatusNotifierItem(const QString& service) { items << service; }
};

class StatusNotifierTray : public Desktop
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Desktop::SetUp());
        testsupport::WriteFile(Root() / "bus.conf",
                               "<busconfig><type>session</type><listen>unix:dir=" + Root().string() +
                                   "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                   "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                   "<allow own=\"*\"/></policy></busconfig>\n");
        // No service files: nothing is started on demand on this bus.
        m_bus = std::make_unique<testsupport::ChildProcess>(
            "/usr/bin/dbus-daemon", std::vector<std::string>{"--config-file=" + (Root() / "bus.conf").string(),
                                                             "--nofork", "--print-address=1"});
        const auto address = m_bus->readLine(std::chrono::seconds(15));
        ASSERT_TRUE(address && !address->empty()) << "dbus-daemon did not start";
        SetEnvironment("DBUS_SESSION_BUS_ADDRESS", *address);
        m_connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(*address), QStringLiteral("sni-test")));
        ASSERT_TRUE(m_connection->registerObject(QStringLiteral("/StatusNotifierWatcher"), &m_watcher,
                                                 QDBusConnection::ExportAllContents));
        ASSERT_TRUE(m_connection->registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    }

    void TearDown() override
    {
        m_connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("sni-test"));
        Desktop::TearDown();
    }

    // Starts kelmora and waits until it has registered its item with the watcher.
    void StartRegisteredKelmora()
    {
        const char* other = std::getenv("KELMORA_SNI_TEST_PROGRAM");
        m_program = other != nullptr && *other != '\0' ? fs::path(other) : kKelmora;
        StartKelmora(m_program);
        ASSERT_TRUE(WaitUntil([this] { return !m_watcher.items.empty(); }, std::chrono::seconds(20)))
            << "kelmora registered no StatusNotifierItem";
        m_service = m_watcher.items.front();
    }

    QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(m_service, path, interface, method);
        call.setArguments(arguments);
        // With the events handled meanwhile, the watcher can answer the program while the program answers this.
        return m_connection->call(call, QDBus::BlockWithGui, 5000);
    }

    QVariant ItemProperty(const QString& name)
    {
        const QDBusMessage reply =
            Call(QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("Get"), {kItemInterface, name});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            ADD_FAILURE() << "no property " << name.toStdString() << ": " << reply.errorMessage().toStdString();
            return {};
        }
        return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
    }

    // The opaque pixels of the item's pictures, which the protocol carries as big-endian ARGB32.
    IconLook Look()
    {
        const auto argument = qvariant_cast<QDBusArgument>(ItemProperty(QStringLiteral("IconPixmap")));
        std::vector<std::array<int, 3>> pixels;
        argument.beginArray();
        while (!argument.atEnd()) {
            int width = 0;
            int height = 0;
            QByteArray argb;
            argument.beginStructure();
            argument >> width >> height >> argb;
            argument.endStructure();
            for (qsizetype i = 0; i + 3 < argb.size(); i += 4) {
                const auto byte = [&](qsizetype at) { return static_cast<unsigned char>(argb[at]); };
                if (byte(i) > 200) {
                    pixels.push_back({byte(i + 1), byte(i + 2), byte(i + 3)});
                }
            }
        }
        argument.endArray();
        return LookOf(pixels);
    }

    // What a panel reads when the user opens the menu: it announces the opening, then asks for the layout.
    MenuEntry OpenMenu()
    {
        m_menuPath = qvariant_cast<QDBusObjectPath>(ItemProperty(QStringLiteral("Menu"))).path();
        Call(m_menuPath, kMenuInterface, QStringLiteral("AboutToShow"), {0});
        const QDBusMessage reply =
            Call(m_menuPath, kMenuInterface, QStringLiteral("GetLayout"), {0, -1, QStringList()});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2) {
            ADD_FAILURE() << "GetLayout failed: " << reply.errorMessage().toStdString();
            return {};
        }
        return ReadMenuEntry(qvariant_cast<QDBusArgument>(reply.arguments()[1]));
    }

    void Click(const MenuEntry* entry)
    {
        ASSERT_NE(entry, nullptr);
        const QDBusMessage reply =
            Call(m_menuPath, kMenuInterface, QStringLiteral("Event"),
                 {entry->id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QVariant(0))), 0U});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    std::unique_ptr<testsupport::ChildProcess> m_bus;
    Watcher m_watcher;
    std::unique_ptr<QDBusConnection> m_connection;
    fs::path m_program;
    QString m_service;
    QString m_menuPath;
};

TEST_F(StatusNotifierTray, RegistersShowsItsStateStartsATaskFromItsMenuAndFindsTheManual)
{
    Cli({"create", "Writing"});
    Cli({"create", "Reading"});
    ASSERT_NO_FATAL_FAILURE(StartRegisteredKelmora());
    EXPECT_EQ(ItemProperty(QStringLiteral("Title")).toString(), "Kelmora");
    EXPECT_TRUE(WaitUntil([this] { return Look() == IconLook::Idle; })) << "the idle icon is not shown";

    const MenuEntry menu = OpenMenu();
    const MenuEntry* start = Find(menu, "Sta_rt Task");
    ASSERT_NE(start, nullptr);
    ASSERT_EQ(start->children.size(), 2U);
    Click(Find(*start, "Reading"));
    EXPECT_TRUE(WaitUntil([this] { return LastIntervalOpen(DataFolder(), 1); })) << "Reading was not started";
    EXPECT_TRUE(WaitUntil([this] { return Look() == IconLook::Running; })) << "the running icon is not shown";
    const MenuEntry running = OpenMenu();
    EXPECT_NE(Find(running, "S_witch to Task"), nullptr);

    // Help finds the manual: beside the program in a build tree, under share/kelmora when installed.
    Click(Find(running, "_Help"));
    const std::string url = WaitForOpened(1);
    const std::string prefix = "file://";
    ASSERT_EQ(url.rfind(prefix, 0), 0U) << "Help opened " << url;
    const fs::path manual = fs::weakly_canonical(url.substr(prefix.size()));
    const fs::path folder = fs::weakly_canonical(m_program).parent_path();
    EXPECT_TRUE(manual == folder / "manual.html" || manual == folder.parent_path() / "share/kelmora/manual.html")
        << url;
    EXPECT_TRUE(fs::is_regular_file(manual)) << url;
}

} // namespace
} // namespace kelmora::e2e

#include "sni_test.moc"
