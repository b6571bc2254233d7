#include "trayicon.h"

#include "icons.h"
#include "kelmoraapp.h"
#include "mainwnd.h"

#include "model/task.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

namespace kelmora::app {

namespace {

// Longest task name a menu item shows whole; a longer one would stretch its menu across the screen.
constexpr qsizetype kMaxMenuName = 60;

// Menus read "&" as a mnemonic mark; a task called "R&D" must show as written.
QString MenuText(const std::string& name)
{
    QString text = QString::fromStdString(name);
    if (text.size() > kMaxMenuName) {
        text = text.left(kMaxMenuName - 1) + QChar(0x2026);
    }
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

CTrayIcon::CTrayIcon(CMainWnd& mainWnd)
    : m_mainWnd(mainWnd), m_menu(std::make_unique<QMenu>()), m_icon(std::make_unique<QSystemTrayIcon>())
{
    m_menu->setObjectName("trayMenu");
    // Names the menu's window, for assistive tools and for the end-to-end tests to find it by.
    m_menu->setWindowTitle(QStringLiteral("Kelmora tray menu"));
    m_icon->setContextMenu(m_menu.get());
    connect(m_menu.get(), &QMenu::aboutToShow, this, &CTrayIcon::RebuildMenu);
    // A double click shows or hides the Task List window; a single click does nothing.
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick) {
            m_mainWnd.OnCommand(kCmdOpenTaskList);
        }
    });
    RebuildMenu();
}

CTrayIcon::~CTrayIcon()
{
    SetIcon(0);
}

void CTrayIcon::SetIcon(std::int32_t iconId)
{
    m_iconId = iconId;
    if (iconId == 0) {
        m_icon->hide();
        return;
    }
    m_icon->setIcon(MakeIcon(iconId == kRunningIconId ? IconKind::Running : IconKind::Idle));
    UpdateTip();
    m_icon->show();
}

QString CTrayIcon::TipText() const
{
    CKelmoraApp& app = m_mainWnd.App();
    if (app.CurrentTaskId() == -1) {
        return QStringLiteral("No started task");
    }
    model::Task task;
    task.id = app.CurrentTaskId();
    task.Load(app.DataFolder());
    const std::int32_t period = platform::GetSetting(app.Settings(), platform::setting::kPeriod);
    const QString time =
        QStringLiteral(" (%1)").arg(QString::fromStdString(task.TotalInCalendarPeriod(period).Format()));
    QString name = QString::fromStdString(task.name);
    // Too long for the tray: the name gives way, the time is always shown whole.
    if (name.size() + time.size() > kMaxTipLength) {
        name = name.left(std::max<qsizetype>(0, kMaxTipLength - time.size() - 1)) + QChar(0x2026);
    }
    return name + time;
}

void CTrayIcon::UpdateTip()
{
    m_icon->setToolTip(TipText());
}

void CTrayIcon::ShowMenu()
{
    RebuildMenu();
    QPoint position = QCursor::pos();
    if (!m_menuAtCursor) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen != nullptr) {
            position = screen->availableGeometry().bottomRight();
        }
        m_menuAtCursor = true;
    }
    m_menu->popup(position);
}

bool CTrayIcon::ShowBalloon(const QString& title, const QString& text, int seconds)
{
    m_icon->showMessage(title, text, QSystemTrayIcon::Information, seconds * 1000);
    return true;
}

void CTrayIcon::AddCommand(QMenu& menu, const QString& text, int id)
{
    QAction* action = menu.addAction(text);
    action->setData(id);
    connect(action, &QAction::triggered, &m_mainWnd, [this, id] { m_mainWnd.OnCommand(id); });
}

QMenu& CTrayIcon::AddSubmenu(QMenu& parent, const QString& title)
{
    m_submenus.push_back(std::make_unique<QMenu>(title));
    QMenu& submenu = *m_submenus.back();
    parent.addMenu(&submenu);
    return submenu;
}

QMenu& CTrayIcon::ReportSubmenu(QMenu& parent)
{
    QMenu& reports = AddSubmenu(parent, QStringLiteral("&Generate Report"));
    AddCommand(reports, QStringLiteral("for This Day"), kCmdReportDay);
    AddCommand(reports, QStringLiteral("for This Week"), kCmdReportWeek);
    AddCommand(reports, QStringLiteral("for This Month"), kCmdReportMonth);
    AddCommand(reports, QStringLiteral("for This Year"), kCmdReportYear);
    return reports;
}

// The shortcut shown is the one that works now: none when the stop hotkey is not registered.
void CTrayIcon::AddStopCommand(QMenu& menu)
{
    const QString shortcut = m_stopShortcutText ? m_stopShortcutText() : QString();
    AddCommand(menu, QStringLiteral("Sto&p Current Task") + (shortcut.isEmpty() ? QString() : "\t" + shortcut),
               kCmdStopCurrentTask);
}

// One item per task in store order (or the reverse), each naming its task-store position.
void CTrayIcon::AddTaskItems(QMenu& menu, bool checkable, bool reversed)
{
    CKelmoraApp& app = m_mainWnd.App();
    const std::vector<std::int32_t> ids = app.Store().TaskIds();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::size_t position = reversed ? ids.size() - 1 - i : i;
        model::Task task;
        task.id = ids[position];
        task.Load(app.DataFolder());
        const int id = kCmdFirstTask + static_cast<int>(position);
        QAction* action = menu.addAction(MenuText(task.name));
        action->setData(id);
        connect(action, &QAction::triggered, &m_mainWnd, [this, id] { m_mainWnd.OnCommand(id); });
        if (checkable) {
            action->setCheckable(true);
            action->setChecked(task.id == app.CurrentTaskId());
        }
    }
}

void CTrayIcon::BuildUsualMenu()
{
    CKelmoraApp& app = m_mainWnd.App();
    const bool listVisible = m_mainWnd.TaskList() != nullptr && m_mainWnd.TaskList()->IsVisible();
    AddCommand(*m_menu, listVisible ? QStringLiteral("Hide &Task List...") : QStringLiteral("Open &Task List..."),
               kCmdOpenTaskList);
    m_menu->addSeparator();
    if (app.CurrentTaskId() != -1) {
        AddStopCommand(*m_menu);
        AddTaskItems(AddSubmenu(*m_menu, QStringLiteral("S&witch to Task")), false, false);
        AddCommand(*m_menu, QStringLiteral("Ro&llback Current Task"), kCmdRollback);
    } else if (app.Store().TaskCount() > 0) {
        AddTaskItems(AddSubmenu(*m_menu, QStringLiteral("Sta&rt Task")), false, false);
    }
    AddCommand(*m_menu, QStringLiteral("&Create Task..."), kCmdCreateTask);
    ReportSubmenu(*m_menu);
    AddCommand(*m_menu, QStringLiteral("&Settings..."), kCmdSettings);
    m_menu->addSeparator();
    AddCommand(*m_menu, QStringLiteral("&Help"), kCmdHelp);
    AddCommand(*m_menu, QStringLiteral("&About Kelmora..."), kCmdAbout);
    AddCommand(*m_menu, QStringLiteral("Send &feedback to author..."), kCmdFeedback);
    m_menu->addSeparator();
    AddCommand(*m_menu, QStringLiteral("&Exit Kelmora"), kCmdExit);
}

void CTrayIcon::BuildQuickAccessMenu()
{
    CKelmoraApp& app = m_mainWnd.App();
    const bool current = app.CurrentTaskId() != -1;
    AddCommand(*m_menu, QStringLiteral("Open &Task List..."), kCmdOpenTaskList);
    m_menu->addSeparator();
    if (app.Store().TaskCount() > 0) {
        if (current) {
            AddStopCommand(*m_menu);
            m_menu->addSeparator();
        }
        // The last task of the store comes first.
        AddTaskItems(*m_menu, true, true);
    }
    m_menu->addSeparator();
    QMenu& main = AddSubmenu(*m_menu, QStringLiteral("&Main Menu"));
    AddCommand(main, QStringLiteral("&Create Task..."), kCmdCreateTask);
    ReportSubmenu(main);
    if (current) {
        AddCommand(main, QStringLiteral("Ro&llback Current Task"), kCmdRollback);
    }
    AddCommand(main, QStringLiteral("&Settings..."), kCmdSettings);
    main.addSeparator();
    AddCommand(main, QStringLiteral("&Help"), kCmdHelp);
    AddCommand(main, QStringLiteral("&About Kelmora..."), kCmdAbout);
    AddCommand(main, QStringLiteral("Send &feedback to author..."), kCmdFeedback);
    m_menu->addSeparator();
    AddCommand(*m_menu, QStringLiteral("&Exit Kelmora"), kCmdExit);
}

void CTrayIcon::RebuildMenu()
{
    m_menu->clear();
    m_submenus.clear();
    if (platform::GetSetting(m_mainWnd.App().Settings(), platform::setting::kUseQuickAccessMenu) != 0) {
        BuildQuickAccessMenu();
    } else {
        BuildUsualMenu();
    }
    m_menu->setDefaultAction(m_menu->actions().value(0));
}

} // namespace kelmora::app
