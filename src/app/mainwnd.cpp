#include "mainwnd.h"

#include "icons.h"
#include "kelmoraapp.h"
#include "rollbackdlg.h"
#include "tracking.h"
#include "trayicon.h"

#include "model/task.h"
#include "platform/paths.h"

#include <QCloseEvent>
#include <QCoreApplication>

namespace kelmora::app {

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
            m_taskList->RefillCategories();
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
    case kMsgTrayCallback:
    case kMsgIdle:
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
        m_app.Shell().Open(std::string("mailto:") + kSupportAddress + "?subject=Feedback");
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
    switch (id) {
    case kHotkeyTrayMenu:
        m_trayIcon->SetMenuAtCursor(false);
        m_trayIcon->ShowMenu();
        break;
    case kHotkeyTaskList:
        OnCommand(kCmdOpenTaskList);
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
    const std::filesystem::path folder = platform::ExecutableFolder();
    for (const std::filesystem::path& candidate :
         {folder / "manual.html", folder.parent_path() / "share" / "kelmora" / "manual.html"}) {
        if (std::filesystem::exists(candidate)) {
            m_app.Shell().Open(candidate.string());
            return;
        }
    }
    m_app.ShowMessage(nullptr, QStringLiteral("The user manual (manual.html) was not found beside the program."),
                      QStringLiteral("Help"));
}

void CMainWnd::OnRollback()
{
    if (m_app.CurrentTaskId() == -1) {
        m_app.ShowMessage(this, QStringLiteral("There is no started task now"),
                          QStringLiteral("Can't rallback current task"));
        return;
    }
    m_rollbackDlg->ShowDialog();
}

void CMainWnd::closeEvent(QCloseEvent* event)
{
    OnClose();
    event->accept();
    QCoreApplication::quit();
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
