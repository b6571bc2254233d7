#pragma once

#include "model/timestamp.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace kelmora::app {

class CMainWnd;

// The notification-area icon: shows whether a task is tracked, names it with its time in the tooltip,
// and offers every command in its menu.
class CTrayIcon final : public QObject
{
    Q_OBJECT

public:
    // Longest tooltip the tray shows whole.
    static constexpr qsizetype kMaxTipLength = 127;

    explicit CTrayIcon(CMainWnd& mainWnd);
    ~CTrayIcon() override;

    // kRunningIconId, kIdleIconId, or 0 to remove the icon from the tray.
    void SetIcon(std::int32_t iconId);
    std::int32_t IconId() const { return m_iconId; }
    // Refreshes the tooltip; called every second.
    void UpdateTip();
    QString TipText() const;

    // Opens the menu: at the cursor, or once at the bottom-right corner of the work area after
    // SetMenuAtCursor(false).
    void ShowMenu();
    void SetMenuAtCursor(bool atCursor) { m_menuAtCursor = atCursor; }
    bool ShowBalloon(const QString& title, const QString& text, int seconds);

    QSystemTrayIcon& SystemTrayIcon() { return *m_icon; }
    // The menu as it stands; rebuilt each time it is about to show.
    QMenu& Menu() { return *m_menu; }
    void RebuildMenu();
    // The stop command's shortcut as the menu shows it ("Shift+Alt+P"); empty, or no function, for none.
    void SetStopShortcutText(std::function<QString()> text) { m_stopShortcutText = std::move(text); }

private:
    void AddCommand(QMenu& menu, const QString& text, int id);
    struct TaskItem
    {
        int position = 0;
        std::int32_t id = -1;
        std::string name;
        model::TimeStamp lastTracked;
        bool tracked = false;
    };
    // How many menu items fit in one column of the screen the menu opens on.
    int RowsOnScreen() const;
    QAction* AddTaskItem(QMenu& menu, const TaskItem& task);
    void AddTaskItems(QMenu& menu, bool reversed, int room);
    void BuildUsualMenu();
    void BuildQuickAccessMenu();
    QMenu& AddSubmenu(QMenu& parent, const QString& title);
    QMenu& ReportSubmenu(QMenu& parent);
    void AddStopCommand(QMenu& menu);

    CMainWnd& m_mainWnd;
    std::unique_ptr<QMenu> m_menu;
    // Submenus are rebuilt with the menu; kept here because clearing a menu does not delete them.
    std::vector<std::unique_ptr<QMenu>> m_submenus;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::int32_t m_iconId = 0;
    bool m_menuAtCursor = true;
    std::function<QString()> m_stopShortcutText;
};

} // namespace kelmora::app
