#pragma once

#include "messages.h"
#include "windows.h"

#include <QFileSystemWatcher>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QSystemTrayIcon;
class QMenu;

namespace kelmora::model {
class Interval;
}

namespace kelmora::app {

class CKelmoraApp;
class CRollbackDlg;
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
    // "More tasks...": the Task List at its filter, for the tasks a tray menu has no room for.
    kCmdMoreTasks = 32782,
    kCmdStopCurrentTask = 10000,
    kCmdRollback = 10001,
    kCmdFirstTask = 10100,
    // Every task of a large store has its item, up to the next command id.
    kCmdLastTask = kCmdOpenTaskList - 1,
};

// Hotkey ids of the five global shortcuts.
enum Hotkey : int
{
    kHotkeyTrayMenu = 0xB000,
    kHotkeyTaskList = 0xB001,
    kHotkeyCreateTask = 0xB002,
    kHotkeySettings = 0xB003,
    kHotkeyStopTask = 0xB004,
};

// Where "Send feedback to author..." writes to.
inline constexpr const char* kSupportAddress = "support@kelmora.app";

// The hidden hub. It owns the tray icon and the long-lived windows, receives every posted message and
// every command, and closes the program through the normal close path.
class CMainWnd final : public QWidget
{
    Q_OBJECT

public:
    using TaskListFactory = std::function<std::unique_ptr<TaskListWindow>(CMainWnd&)>;
    // Writes and opens the report for a period.
    using ReportHandler = std::function<void(const model::Interval& period)>;

    CMainWnd(CKelmoraApp& app, TaskListFactory taskListFactory);
    ~CMainWnd() override;

    CKelmoraApp& App() { return m_app; }
    CTrayIcon* TrayIcon() { return m_trayIcon.get(); }
    TaskListWindow* TaskList() { return m_taskList.get(); }
    CRollbackDlg* RollbackDlg() { return m_rollbackDlg.get(); }

    // A menu or button command by its id.
    void OnCommand(int id);
    // A global shortcut by its hotkey id.
    void OnHotKey(int id);

    // The windows of the layers above this one (create task, settings, About box) and the report page
    // register what their commands do; a command without a handler does nothing.
    void SetCommandHandler(int id, std::function<void()> handler);
    void SetReportHandler(ReportHandler handler) { m_reportHandler = std::move(handler); }
    // What the idle message (wParam, lParam) does; set by the idle layer above.
    void SetIdleMessageHandler(std::function<void(std::int64_t, std::int64_t)> handler)
    {
        m_idleHandler = std::move(handler);
    }

    // Set when the window has gone through its close path.
    bool IsClosed() const { return m_closed; }

    // Ends the program from whatever state it is in: open dialogs, message boxes and menus are closed
    // first (as Escape would), and the close path runs once their event loops have unwound.
    void CloseProgram();
    // Closes every open window of the program, dialogs and questions as Escape would; true when none was open.
    static bool CloseOpenWindows();

    // Re-derives the running state and every list from the files after another program changed them.
    // Does nothing when the folder looks as it did at the last reading.
    void FollowFiles();
    // How many times FollowFiles found something to re-read.
    int FileRereads() const { return m_fileRereads; }

signals:
    // The close path has run; the program's event loop ends.
    void Closed();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnMessage(const MessageEvent& message);
    void OnClose();
    void OnReport(int id);
    void OnHelp();
    void OnRollback();
    void OpenOrSay(const std::string& target, const QString& what);
    void FollowRunningTask(std::int32_t running);
    // Folds in the conflict copies a sync tool left, and tells the user what was merged. False when there
    // were none.
    bool FoldSyncCopies();
    // Watches the data folder, again when the one watched is no longer the one at its path.
    void WatchFolder();

    CKelmoraApp& m_app;
    std::unique_ptr<CTrayIcon> m_trayIcon;
    std::unique_ptr<TaskListWindow> m_taskList;
    std::unique_ptr<CRollbackDlg> m_rollbackDlg;
    std::map<int, std::function<void()>> m_commandHandlers;
    ReportHandler m_reportHandler;
    std::function<void(std::int64_t, std::int64_t)> m_idleHandler;
    QTimer m_ticker;
    bool m_closed = false;
    bool m_closing = false;
    // Outside changes: the folder is watched, and bursts of changes are read once.
    QFileSystemWatcher m_folderWatcher;
    QTimer m_followTimer;
    std::string m_folderState;
    std::string m_pendingState;
    int m_fileRereads = 0;
};

} // namespace kelmora::app
