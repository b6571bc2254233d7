#include "trayicon.h"

#include "icons.h"
#include "kelmoraapp.h"
#include "mainwnd.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace kelmora::app {

CTrayIcon::CTrayIcon(CMainWnd& mainWnd)
    : m_mainWnd(mainWnd), m_menu(std::make_unique<QMenu>()), m_icon(std::make_unique<QSystemTrayIcon>())
{
    m_menu->setObjectName("trayMenu");
    m_icon->setContextMenu(m_menu.get());
    connect(m_menu.get(), &QMenu::aboutToShow, this, &CTrayIcon::RebuildMenu);
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
            m_mainWnd.OnCommand(kCmdOpenTaskList);
        }
    });
    RebuildMenu();
    SetIcon(kIdleIconId);
}

CTrayIcon::~CTrayIcon() = default;

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

void CTrayIcon::UpdateTip()
{
    m_icon->setToolTip(QStringLiteral("Kelmora"));
}

void CTrayIcon::RebuildMenu()
{
    m_menu->clear();
    const bool visible = m_mainWnd.TaskList() != nullptr && m_mainWnd.TaskList()->IsVisible();
    auto add = [this](const QString& text, int id) {
        QAction* action = m_menu->addAction(text);
        action->setData(id);
        connect(action, &QAction::triggered, &m_mainWnd, [this, id] { m_mainWnd.OnCommand(id); });
    };
    add(visible ? QStringLiteral("Hide &Task List...") : QStringLiteral("Open &Task List..."), kCmdOpenTaskList);
    m_menu->addSeparator();
    add(QStringLiteral("&Exit Kelmora"), kCmdExit);
}

} // namespace kelmora::app
