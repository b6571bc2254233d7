#pragma once

#include <QObject>

#include <cstdint>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace kelmora::app {

class CMainWnd;

// The notification-area icon: shows whether a task is tracked and offers the program's commands.
class CTrayIcon final : public QObject
{
    Q_OBJECT

public:
    explicit CTrayIcon(CMainWnd& mainWnd);
    ~CTrayIcon() override;

    // kRunningIconId, kIdleIconId, or 0 to remove the icon from the tray.
    void SetIcon(std::int32_t iconId);
    std::int32_t IconId() const { return m_iconId; }
    void UpdateTip();

    QSystemTrayIcon& SystemTrayIcon() { return *m_icon; }
    QMenu& Menu() { return *m_menu; }

private:
    void RebuildMenu();

    CMainWnd& m_mainWnd;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::int32_t m_iconId = 0;
};

} // namespace kelmora::app
