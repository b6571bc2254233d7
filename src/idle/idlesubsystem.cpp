#include "idlesubsystem.h"

#include "idleperioddlg.h"

#include "platform/idletimesource.h"

#include <QApplication>

namespace kelmora::idle {

CIdleSubsystem::CIdleSubsystem(IdleContext context, std::unique_ptr<platform::IdleTimeSource> source,
                               std::unique_ptr<platform::UptimeClocks> clocks,
                               std::chrono::milliseconds reminderAutoClose)
    : m_context(std::move(context)), m_source(std::move(source)), m_clocks(std::move(clocks)),
      m_reminderAutoClose(reminderAutoClose)
{
    if (!m_source) {
        m_source = std::make_unique<platform::NoIdleTimeSource>();
    }
    m_waitTimer.setObjectName(QStringLiteral("idleWaitTimer"));
    m_waitTimer.setInterval(500);
    connect(&m_waitTimer, &QTimer::timeout, this, &CIdleSubsystem::ShowWaitingQuestion);
    if (!m_clocks) {
        m_clocks = std::make_unique<platform::SystemUptimeClocks>();
    }
    m_idleMonitor = std::make_unique<CIdleMonitor>(
        *m_source, *m_clocks, m_context.settings,
        [this](std::int64_t wParam, std::int64_t lParam) { m_context.post(app::kMsgIdle, wParam, lParam); });
    m_reminderMonitor = std::make_unique<CReminderMonitor>(m_context, [this] {
        // From the reminder's thread: the dialog belongs on this object's (the UI) thread.
        QMetaObject::invokeMethod(this, &CIdleSubsystem::ShowReminder, Qt::QueuedConnection);
    });
}

CIdleSubsystem::~CIdleSubsystem()
{
    Shutdown();
}

void CIdleSubsystem::Start()
{
    if (m_shutDown) {
        return;
    }
    m_idleMonitor->Start();
    m_reminderMonitor->Start();
}

void CIdleSubsystem::Shutdown()
{
    m_shutDown = true;
    m_waitTimer.stop();
    m_idleMonitor->Stop();
    m_reminderMonitor->Stop();
    // As Escape: the idle question leaves the time on the task, the reminder is answered with Cancel.
    if (m_idleDlg != nullptr) {
        m_idleDlg->reject();
    }
    if (m_reminderDlg != nullptr) {
        m_reminderDlg->reject();
    }
}

std::string CIdleSubsystem::IdleSourceName() const
{
    return m_source->Name();
}

void CIdleSubsystem::OnIdleMessage(std::int64_t wParam, std::int64_t lParam)
{
    if (m_shutDown || wParam != 1 || lParam <= 0 || m_context.currentTaskId() == -1) {
        return;
    }
    model::TimeStamp endedAt;
    endedAt.Now();
    // One question at a time, which then answers for a later absence as well: left to itself, that one
    // would count as work without anyone being asked.
    if (m_idleDlg != nullptr) {
        m_idleDlg->AddAbsence(lParam, endedAt);
        m_idleDlg->raise();
        return;
    }
    // Never on top of another modal window (the Settings sheet, a message): the question waits, and a
    // later absence joins the waiting one.
    if (m_waitingSince || QApplication::activeModalWidget() != nullptr) {
        const model::TimeStamp began = model::TimeStamp::FromUnixMs(endedAt.ToUnixMs() - lParam * 1000);
        if (!m_waitingSince || began < *m_waitingSince) {
            m_waitingSince = began;
        }
        m_waitTimer.start();
        return;
    }
    ShowQuestion(lParam, endedAt);
}

void CIdleSubsystem::ShowWaitingQuestion()
{
    if (!m_waitingSince || m_shutDown || QApplication::activeModalWidget() != nullptr) {
        return;
    }
    m_waitTimer.stop();
    model::TimeStamp now;
    now.Now();
    // The wait was spent away from work as much as the absence: the question covers both.
    const std::int64_t seconds = (now.ToUnixMs() - m_waitingSince->ToUnixMs()) / 1000;
    m_waitingSince.reset();
    if (m_context.currentTaskId() != -1) {
        ShowQuestion(seconds, now);
    }
}

void CIdleSubsystem::ShowQuestion(std::int64_t idleSeconds, const model::TimeStamp& endedAt)
{
    auto* dialog = new CIdlePeriodDlg(m_context, idleSeconds, endedAt);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!dialog->Prepare()) {
        delete dialog;
        return;
    }
    // A task runs now, so a reminder still on screen is out of date.
    if (m_reminderDlg != nullptr) {
        m_reminderDlg->done(CReminderMonitor::kNo);
    }
    m_idleDlg = dialog;
    connect(dialog, &QDialog::finished, this, [this] { m_idleDlg = nullptr; });
    dialog->setModal(true);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void CIdleSubsystem::ShowReminder()
{
    // Never on top of the idle question, another reminder or any other modal window: this reminder counts as
    // answered with No, and the next comes a timeout later.
    if (m_shutDown || m_idleDlg != nullptr || m_reminderDlg != nullptr || m_waitingSince ||
        QApplication::activeModalWidget() != nullptr) {
        m_reminderMonitor->SetAnswer(CReminderMonitor::kNo);
        return;
    }
    auto* dialog = new CReminderDlg(m_reminderAutoClose);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_reminderDlg = dialog;
    connect(dialog, &QDialog::finished, this, [this](int result) {
        m_reminderDlg = nullptr;
        m_reminderMonitor->SetAnswer(result);
    });
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace kelmora::idle
