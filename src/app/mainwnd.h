#pragma once

#include "messages.h"
#include "windows.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QSystemTrayIcon;
class QMenu;

namespace kelmora::app {

class CKelmoraApp;
class CTrayIcon;

// Menu and button command ids, carried by the QActions that raise them.
enum Command : int
{
    kCmdOpenTaskList = 32771,
    kCmdExit = 32772,
    kCmdReportDay = 32773,
    kCmdReportWeek = 32774,
    kCmdReportMonth = 32775,
    kCmdReportYear = 32776,
    kCmdCreateTask = 32777,
    kCmdSettings = 32778,
    kCmdAbout = 32779,
    kCmdHelp = 32780,
    kCmdFeedback = 32781,
    kCmdStopCurrentTask = 10000,
    kCmdRollback = 10001,
    kCmdFirstTask = 10100,
    kCmdLastTask = 10200,
};

// The hidden hub. It owns the tray icon and the long-lived windows, receives every posted message and
// every command, and closes the program through the normal close path.
class CMainWnd final : public QWidget
{
    Q_OBJECT

public:
    using TaskListFactory = std::function<std::unique_ptr<TaskListWindow>(CMainWnd&)>;

    CMainWnd(CKelmoraApp& app, TaskListFactory taskListFactory);
    ~CMainWnd() override;

    CKelmoraApp& App() { return m_app; }
    CTrayIcon* TrayIcon() { return m_trayIcon.get(); }
    TaskListWindow* TaskList() { return m_taskList.get(); }

    // A menu or button command by its id.
    void OnCommand(int id);

    // Set when the window has gone through its close path.
    bool IsClosed() const { return m_closed; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnMessage(const MessageEvent& message);
    void OnClose();

    CKelmoraApp& m_app;
    std::unique_ptr<CTrayIcon> m_trayIcon;
    std::unique_ptr<TaskListWindow> m_taskList;
    QTimer m_ticker;
    bool m_closed = false;
};

} // namespace kelmora::app
