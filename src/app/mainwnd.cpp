#include "mainwnd.h"

#include "icons.h"
#include "kelmoraapp.h"
#include "rollbackdlg.h"
#include "tracking.h"
#include "trayicon.h"

#include "model/syncfold.h"
#include "model/task.h"
#include "model/taskops.h"
#include "model/userfolders.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMenu>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace kelmora::app {

namespace {

// Quiet time after a change in the data folder before it is read: a sync tool or kelmora-cli writes
// several files in a row, and they are read once.
constexpr int kFollowDelayMs = 200;

// Names, sizes and modification times of the folder's files: what an outside change alters.
std::string FolderState(const std::filesystem::path& folder)
{
    std::vector<std::string> entries;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statError;
        const auto size = it->file_size(statError);
        const auto time = it->last_write_time(statError);
        entries.push_back(it->path().filename().string() + '\t' + std::to_string(size) + '\t' +
                          std::to_string(time.time_since_epoch().count()));
    }
    std::sort(entries.begin(), entries.end());
    std::string state;
    for (const std::string& entry : entries) {
        state += entry + '\n';
    }
    return state;
}

// The event loop the program runs in; a deeper level means a dialog, message box or menu is running
// its own loop, whose owner must not be destroyed under it.
bool InNestedEventLoop()
{
    return QThread::currentThread()->loopLevel() > 1;
}

} // namespace

CMainWnd::CMainWnd(CKelmoraApp& app, TaskListFactory taskListFactory) : m_app(app)
{
    setObjectName("mainWnd");
    setWindowIcon(MakeIcon(IconKind::Program));
    m_trayIcon = std::make_unique<CTrayIcon>(*this);
    m_trayIcon->SetIcon(kIdleIconId);
    if (taskListFactory) {
        m_taskList = taskListFactory(*this);
    }
    m_rollbackDlg = std::make_unique<CRollbackDlg>(m_app);
    // One tick a second drives the tray tooltip and the live times.
    m_ticker.setInterval(1000);
    connect(&m_ticker, &QTimer::timeout, this, [this] { PostMessage(this, kMsgTick); });
    m_ticker.start();

    m_folderState = FolderState(m_app.DataFolder());
    m_followTimer.setSingleShot(true);
    m_followTimer.setInterval(kFollowDelayMs);
    connect(&m_followTimer, &QTimer::timeout, this, &CMainWnd::FollowFiles);
    WatchFolder();
    // Copies a sync tool left while the program was not running are folded in as soon as it runs.
    QTimer::singleShot(0, this, [this] {
        if (!m_closing && !m_closed && FoldSyncCopies()) {
            m_app.ReloadStore();
            FollowRunningTask(model::FindRunningTask(m_app.Store()));
        }
    });
    connect(&m_folderWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_followTimer.start(); });
}

CMainWnd::~CMainWnd()
{
    OnClose();
}

bool CMainWnd::event(QEvent* event)
{
    if (auto* message = dynamic_cast<MessageEvent*>(event)) {
        OnMessage(*message);
        return true;
    }
    return QWidget::event(event);
}

void CMainWnd::OnMessage(const MessageEvent& message)
{
    switch (message.message()) {
    case kMsgTaskState:
        m_trayIcon->SetIcon(static_cast<std::int32_t>(message.wParam()));
        if (m_taskList) {
            m_taskList->RefillTaskList();
            // A stop keeps the number of spans, so only a forced rebuild shows its end.
            m_taskList->RefillTimeLog(true);
        }
        break;
    case kMsgShowTaskList:
        if (m_taskList) {
            m_taskList->ShowDialog();
        }
        break;
    case kMsgCreateTaskRequest:
        OnCommand(kCmdCreateTask);
        break;
    case kMsgTaskCreated:
        if (m_taskList) {
            m_taskList->RefillTaskList();
        }
        break;
    case kMsgCategoriesChanged:
        if (m_taskList) {
            // Category names show in the time log as well.
            m_taskList->RefillCategories();
            m_taskList->RefillTimeLog(true);
        }
        break;
    case kMsgTimeLogChanged:
        if (m_taskList) {
            m_taskList->RefillTimeLog(true);
        }
        break;
    case kMsgTick:
        m_trayIcon->UpdateTip();
        break;
    case kMsgIdle:
        if (m_idleHandler && !m_closing) {
            m_idleHandler(message.wParam(), message.lParam());
        }
        break;
    case kMsgTrayCallback:
        break;
    }
}

void CMainWnd::OnCommand(int id)
{
    if (id >= kCmdFirstTask && id <= kCmdLastTask) {
        SwitchToTask(m_app, id - kCmdFirstTask);
        return;
    }
    switch (id) {
    case kCmdOpenTaskList:
        if (m_taskList) {
            if (m_taskList->IsVisible()) {
                m_taskList->HideDialog();
            } else {
                m_taskList->ShowDialog();
            }
        }
        break;
    case kCmdMoreTasks:
        if (m_taskList) {
            m_taskList->ShowDialog();
            m_taskList->FocusFilter();
        }
        break;
    case kCmdExit:
        // The icon goes first, so it is gone before the exit asks about a running task.
        m_trayIcon->SetIcon(0);
        QCoreApplication::postEvent(this, new QCloseEvent());
        break;
    case kCmdReportDay:
    case kCmdReportWeek:
    case kCmdReportMonth:
    case kCmdReportYear:
        OnReport(id);
        break;
    case kCmdHelp:
        OnHelp();
        break;
    case kCmdFeedback:
        OpenOrSay(std::string("mailto:") + kSupportAddress + "?subject=Feedback",
                  QStringLiteral("No e-mail program could be started for a new message. Please write to %1.")
                      .arg(QString::fromLatin1(kSupportAddress)));
        break;
    case kCmdStopCurrentTask:
        StopCurrentTask(m_app);
        break;
    case kCmdRollback:
        OnRollback();
        break;
    default:
        if (const auto handler = m_commandHandlers.find(id); handler != m_commandHandlers.end() && handler->second) {
            handler->second();
        }
        // Items for tasks beyond the last id, and commands whose window is not there, do nothing.
        break;
    }
}

void CMainWnd::OnHotKey(int id)
{
    if (platform::GetSetting(m_app.Settings(), platform::setting::kHotkeyUsed) == 0) {
        m_trayIcon->ShowBalloon(QStringLiteral("First use of the keyboard shotcut"),
                                QStringLiteral("This key combination activates some Kelmora functionality. If you use "
                                               "this combination in other program you can change keyboard shortcuts "
                                               "in Kelmora settings"),
                                10);
        platform::SetSetting(m_app.Settings(), platform::setting::kHotkeyUsed, 1);
    }
    // With a modal window open (a question, the Settings sheet) a hotkey that opens another modal window
    // brings the open one forward instead of stacking a second on it or behind it.
    if (QWidget* modal = QApplication::activeModalWidget();
        modal != nullptr && (id == kHotkeySettings || id == kHotkeyCreateTask)) {
        modal->raise();
        modal->activateWindow();
        return;
    }
    switch (id) {
    case kHotkeyTrayMenu:
        m_trayIcon->SetMenuAtCursor(false);
        m_trayIcon->ShowMenu();
        break;
    case kHotkeyTaskList:
        // Behind other windows or minimised it comes forward; only the one in front is put away.
        if (m_taskList && m_taskList->IsVisible() && !m_taskList->IsInFront()) {
            m_taskList->ShowDialog();
        } else {
            OnCommand(kCmdOpenTaskList);
        }
        break;
    case kHotkeyCreateTask:
        OnCommand(kCmdCreateTask);
        break;
    case kHotkeySettings:
        OnCommand(kCmdSettings);
        break;
    case kHotkeyStopTask:
        OnCommand(kCmdStopCurrentTask);
        break;
    default:
        break;
    }
}

void CMainWnd::SetCommandHandler(int id, std::function<void()> handler)
{
    m_commandHandlers[id] = std::move(handler);
}

void CMainWnd::OnReport(int id)
{
    // The four report commands are numbered in the order of the periods.
    model::Interval period;
    period.SetCalendarPeriod(id - kCmdReportDay);
    if (m_reportHandler) {
        m_reportHandler(period);
    }
}

// The manual sits beside the program in a build tree and under share/kelmora when installed.
void CMainWnd::OnHelp()
{
    const std::filesystem::path folder = model::ExecutableFolder();
    for (const std::filesystem::path& candidate :
         {folder / "manual.html", folder.parent_path() / "share" / "kelmora" / "manual.html"}) {
        if (std::filesystem::exists(candidate)) {
            OpenOrSay(candidate.string(), QStringLiteral("No program could be started to show the user manual %1.")
                                              .arg(QString::fromStdString(candidate.string())));
            return;
        }
    }
    m_app.ShowMessage(nullptr, QStringLiteral("The user manual (manual.html) was not found beside the program."),
                      QStringLiteral("Help"), MessageIcon::Error);
}

// A desktop without browser or mail program must not swallow the command silently.
void CMainWnd::OpenOrSay(const std::string& target, const QString& what)
{
    if (!m_app.Shell().Open(target)) {
        m_app.ShowMessage(nullptr, what, QStringLiteral("Kelmora"), MessageIcon::Error);
    }
}

void CMainWnd::OnRollback()
{
    if (m_app.CurrentTaskId() == -1) {
        m_app.ShowMessage(this, QStringLiteral("There is no started task now"),
                          QStringLiteral("Can't rallback current task"), MessageIcon::Warning);
        return;
    }
    m_rollbackDlg->ShowDialog();
}

void CMainWnd::closeEvent(QCloseEvent* event)
{
    event->ignore();
    CloseProgram();
}

bool CMainWnd::CloseOpenWindows()
{
    bool noneOpen = true;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) {
            continue;
        }
        noneOpen = false;
        auto* dialog = qobject_cast<QDialog*>(window);
        if (auto* menu = qobject_cast<QMenu*>(window)) {
            menu->close();
        } else if (dialog != nullptr && dialog->windowModality() != Qt::NonModal) {
            // As Escape: the dialog's changes are dropped, and a question counts as not answered.
            dialog->reject();
        } else {
            window->hide();
        }
    }
    return noneOpen;
}

void CMainWnd::CloseProgram()
{
    if (m_closed) {
        return;
    }
    m_closing = true;
    CloseOpenWindows();
    // A dialog's own event loop still runs on the stack until control gets back to it; destroying its
    // owner now would pull the ground from under it. Try again once the loops have unwound.
    if (InNestedEventLoop()) {
        QTimer::singleShot(10, this, &CMainWnd::CloseProgram);
        return;
    }
    OnClose();
    emit Closed();
    QCoreApplication::quit();
}

void CMainWnd::FollowFiles()
{
    if (m_closing || m_closed) {
        return;
    }
    WatchFolder();
    const std::string state = FolderState(m_app.DataFolder());
    if (state == m_folderState) {
        return;
    }
    // The task store is re-read below, which must not happen under a dialog's feet: it may hold the old
    // one. The running state is taken from a store of its own meanwhile, and the Task List, which reads
    // each task's file, marks the task that runs now.
    if (InNestedEventLoop()) {
        if (state != m_pendingState) {
            m_pendingState = state;
            model::TaskStore fresh(m_app.DataFolder());
            fresh.Load();
            FollowRunningTask(model::FindRunningTask(fresh));
            if (m_taskList) {
                m_taskList->RefillTaskList();
            }
        }
        m_followTimer.start(1000);
        return;
    }
    m_followTimer.setInterval(kFollowDelayMs);
    m_folderState = state;
    ++m_fileRereads;
    FoldSyncCopies();
    m_app.ReloadStore();
    FollowRunningTask(model::FindRunningTask(m_app.Store()));
    if (m_taskList) {
        m_taskList->RefillCategories();
        m_taskList->RefillTimeLog(true);
    }
}

void CMainWnd::WatchFolder()
{
    // A sync tool or a restore may put a new folder in the old one's place; the watch went with the old one.
    const QString folder = QString::fromStdString(m_app.DataFolder().string());
    if (!m_folderWatcher.directories().contains(folder)) {
        m_folderWatcher.addPath(folder);
    }
}

bool CMainWnd::FoldSyncCopies()
{
    if (model::FindConflictCopies(m_app.DataFolder()).empty()) {
        return false;
    }
    constexpr std::chrono::seconds kSyncQuiet(2);
    if (model::SyncToolBusy(m_app.DataFolder(), model::WallClockNs(), kSyncQuiet)) {
        // Looked at again once the tool has been quiet a while, whether or not the folder changes meanwhile.
        m_folderState.clear();
        m_followTimer.start(kSyncQuiet);
        return false;
    }
    model::FoldReport report;
    std::string error;
    model::FoldConflictCopies(m_app.DataFolder(), report, false, &error);
    QString text = report.Changed() ? QString::fromStdString(report.Summary()) : QString();
    if (!report.damaged.empty()) {
        text += QStringLiteral("%1%2 conflict copies could not be read and were left in the data folder.")
                    .arg(text.isEmpty() ? QString() : QStringLiteral("\n"))
                    .arg(report.damaged.size());
    }
    if (!text.isEmpty() && m_trayIcon->IconId() != 0) {
        m_trayIcon->ShowBalloon(QStringLiteral("Kelmora"), text, 10);
    }
    if (!text.isEmpty()) {
        qInfo("Kelmora: %s", qUtf8Printable(text));
    }
    return true;
}

void CMainWnd::FollowRunningTask(std::int32_t running)
{
    m_app.SetCurrentTaskId(running);
    if (m_trayIcon->IconId() != 0) {
        m_trayIcon->SetIcon(running != -1 ? kRunningIconId : kIdleIconId);
    }
}

void CMainWnd::OnClose()
{
    if (m_closed) {
        return;
    }
    m_closed = true;
    m_ticker.stop();
    m_taskList.reset();
    m_rollbackDlg.reset();
    if (m_trayIcon) {
        m_trayIcon->SetIcon(0);
    }
}

} // namespace kelmora::app
