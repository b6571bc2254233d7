#include "trayicon.h"

#include "icons.h"
#include "kelmoraapp.h"
#include "mainwnd.h"

#include "model/category.h"
#include "model/task.h"
#include "model/taskfile.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

#include <algorithm>
#include <unordered_map>

namespace kelmora::app {

namespace {

// Longest task name a menu item shows whole; a longer one would stretch its menu across the screen.
constexpr qsizetype kMaxMenuName = 60;
// Shorter in the stop command, which is in the main menu with the others.
constexpr qsizetype kMaxStopName = 40;
// How many recently tracked tasks lead a task menu too long for the screen.
constexpr std::size_t kRecentTasks = 10;
// Rows of the Quick Task Access menu besides its tasks: Open, Stop, Main Menu, Exit and four separators.
constexpr int kQuickMenuOwnRows = 8;

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
    // A double click shows or hides the Task List window; a single click does nothing. Wayland panels show the
    // icon as a StatusNotifierItem, which knows no double click: the panel's click asks for the main action. A
    // panel that draws no menu of its own (swaybar) asks the item to show it instead.
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        const bool statusNotifier = QGuiApplication::platformName() == QLatin1String("wayland");
        if (reason == QSystemTrayIcon::DoubleClick || (statusNotifier && reason == QSystemTrayIcon::Trigger)) {
            m_mainWnd.OnCommand(kCmdOpenTaskList);
        } else if (statusNotifier && reason == QSystemTrayIcon::Context) {
            ShowMenu();
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
// It names the task it stops.
void CTrayIcon::AddStopCommand(QMenu& menu)
{
    CKelmoraApp& app = m_mainWnd.App();
    model::Task task;
    task.id = app.CurrentTaskId();
    task.Load(app.DataFolder());
    QString name = MenuText(task.name);
    if (name.size() > kMaxStopName) {
        name = name.left(kMaxStopName - 1) + QChar(0x2026);
    }
    const QString shortcut = m_stopShortcutText ? m_stopShortcutText() : QString();
    AddCommand(menu,
               QStringLiteral("Sto&p Current Task (%1)").arg(name) + (shortcut.isEmpty() ? QString() : "\t" + shortcut),
               kCmdStopCurrentTask);
}

int CTrayIcon::RowsOnScreen() const
{
    // A menu of one item and of two tells the style's item height and frame, whatever the theme and scale.
    QMenu probe;
    probe.setFont(m_menu->font());
    probe.addAction(QStringLiteral("Xg"));
    const int one = probe.sizeHint().height();
    probe.addAction(QStringLiteral("Xg"));
    const int item = std::max(probe.sizeHint().height() - one, 1);
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const int height = screen != nullptr ? screen->availableGeometry().height() : 480;
    return std::max((height - (one - item)) / item, 1);
}

QAction* CTrayIcon::AddTaskItem(QMenu& menu, const TaskItem& task)
{
    const int id = kCmdFirstTask + task.position;
    QAction* action = menu.addAction(MenuText(task.name));
    action->setData(id);
    connect(action, &QAction::triggered, &m_mainWnd, [this, id] { m_mainWnd.OnCommand(id); });
    // The running task is marked in every task menu.
    action->setCheckable(true);
    action->setChecked(task.id == m_mainWnd.App().CurrentTaskId());
    return action;
}

// One item per task in store order (or the reverse), each naming its task-store position, while they fit
// in `room` rows. Otherwise the most recently tracked tasks, newest first, then one submenu per category
// and "More tasks...", which opens the Task List at its filter: a menu never grows past the screen.
void CTrayIcon::AddTaskItems(QMenu& menu, bool reversed, int room)
{
    CKelmoraApp& app = m_mainWnd.App();
    const std::vector<std::int32_t> ids = app.Store().TaskIds();
    std::vector<TaskItem> tasks;
    tasks.reserve(ids.size());
    // Only each file's name and last span: a menu of a thousand tasks must not read their whole histories.
    const model::TaskFolderPeek peek(app.DataFolder());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::size_t position = reversed ? ids.size() - 1 - i : i;
        auto glance = peek.GlanceAt(ids[position]);
        const bool tracked = glance && glance->last;
        TaskItem item{
            static_cast<int>(position), ids[position], glance ? std::move(glance->name) : std::string(), {}, tracked};
        if (tracked) {
            item.lastTracked = glance->last->EffectiveStop();
        }
        tasks.push_back(std::move(item));
    }
    if (static_cast<int>(tasks.size()) <= room) {
        for (const TaskItem& task : tasks) {
            AddTaskItem(menu, task);
        }
        return;
    }

    std::vector<const TaskItem*> recent;
    for (const TaskItem& task : tasks) {
        if (task.tracked) {
            recent.push_back(&task);
        }
    }
    const std::size_t recentCount = std::min<std::size_t>({kRecentTasks, recent.size(), std::size_t(room / 2)});
    std::partial_sort(recent.begin(), recent.begin() + static_cast<std::ptrdiff_t>(recentCount), recent.end(),
                      [](const TaskItem* a, const TaskItem* b) { return a->lastTracked > b->lastTracked; });
    recent.resize(recentCount);
    for (const TaskItem* task : recent) {
        AddTaskItem(menu, *task);
    }
    if (!recent.empty()) {
        menu.addSeparator();
    }

    // Each task under the first category of the store that holds it, the rest under "(No category)".
    std::unordered_map<std::int32_t, const TaskItem*> byId;
    for (const TaskItem& task : tasks) {
        byId.emplace(task.id, &task);
    }
    std::vector<std::pair<QString, std::vector<const TaskItem*>>> groups;
    if (const auto categories = model::Category::LoadAll(app.DataFolder())) {
        std::unordered_map<std::int32_t, const model::Category*> categoryById;
        for (const model::Category& category : *categories) {
            categoryById.emplace(category.Id(), &category);
        }
        for (const std::int32_t categoryId : app.Store().CategoryIds()) {
            const auto category = categoryById.find(categoryId);
            if (category == categoryById.end()) {
                continue;
            }
            std::vector<const TaskItem*> members;
            for (const std::int32_t member : category->second->TaskIds()) {
                if (const auto task = byId.find(member); task != byId.end()) {
                    members.push_back(task->second);
                    byId.erase(task);
                }
            }
            if (!members.empty()) {
                groups.emplace_back(MenuText(category->second->GetName()), std::move(members));
            }
        }
    }
    std::vector<const TaskItem*> uncategorised;
    for (const TaskItem& task : tasks) {
        if (byId.contains(task.id)) {
            uncategorised.push_back(&task);
        }
    }
    if (!uncategorised.empty() && !groups.empty()) {
        groups.emplace_back(QStringLiteral("(No category)"), std::move(uncategorised));
    }
    // The submenus only when they and "More tasks..." fit beside the recent tasks; a submenu holds what fits
    // in a column, and says where the rest is.
    const int rows = RowsOnScreen();
    if (static_cast<int>(groups.size() + recent.size()) + 2 <= room) {
        for (const auto& [title, members] : groups) {
            QMenu& submenu = AddSubmenu(menu, title);
            const std::size_t shown = members.size() <= std::size_t(rows) ? members.size() : std::size_t(rows - 1);
            for (std::size_t i = 0; i < shown; ++i) {
                AddTaskItem(submenu, *members[i]);
            }
            if (shown < members.size()) {
                AddCommand(submenu, QStringLiteral("More tasks..."), kCmdMoreTasks);
            }
        }
    }
    AddCommand(menu, QStringLiteral("&More tasks..."), kCmdMoreTasks);
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
        AddTaskItems(AddSubmenu(*m_menu, QStringLiteral("S&witch to Task")), false, RowsOnScreen());
        AddCommand(*m_menu, QStringLiteral("Ro&llback Current Task"), kCmdRollback);
    } else if (app.Store().TaskCount() > 0) {
        AddTaskItems(AddSubmenu(*m_menu, QStringLiteral("Sta&rt Task")), false, RowsOnScreen());
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
        // The last task of the store comes first; the menu's own items take some of the rows.
        AddTaskItems(*m_menu, true, RowsOnScreen() - kQuickMenuOwnRows);
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
