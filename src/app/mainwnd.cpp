#include "mainwnd.h"

#include "icons.h"
#include "kelmoraapp.h"
#include "trayicon.h"

#include <QCloseEvent>
#include <QCoreApplication>

namespace kelmora::app {

CMainWnd::CMainWnd(CKelmoraApp& app, TaskListFactory taskListFactory) : m_app(app)
{
    setObjectName("mainWnd");
    setWindowIcon(MakeIcon(IconKind::Program));
    m_trayIcon = std::make_unique<CTrayIcon>(*this);
    if (taskListFactory) {
        m_taskList = taskListFactory(*this);
    }
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
        m_trayIcon->SetIcon(0);
        QCoreApplication::postEvent(this, new QCloseEvent());
        break;
    default:
        break;
    }
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
    if (m_trayIcon) {
        m_trayIcon->SetIcon(0);
    }
}

} // namespace kelmora::app
