#pragma once

#include "idlecontext.h"
#include "idlemonitor.h"
#include "reminder.h"

#include "model/timestamp.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kelmora::platform {
class IdleTimeSource;
class UptimeClocks;
} // namespace kelmora::platform

namespace kelmora::idle {

class CIdlePeriodDlg;

// Idle detection and the no-active-task reminder, as the hub uses them: the two background loops, the idle
// question and the reminder, at most one of them on screen at a time. Lives on the user-interface thread.
class CIdleSubsystem final : public QObject
{
    Q_OBJECT

public:
    CIdleSubsystem(IdleContext context, std::unique_ptr<platform::IdleTimeSource> source,
                   std::unique_ptr<platform::UptimeClocks> clocks,
                   std::chrono::milliseconds reminderAutoClose = std::chrono::seconds(60));
    ~CIdleSubsystem() override;

    // Starts both loops.
    void Start();
    // Stops both loops and closes an open question as Escape would (nothing changes). Safe to repeat.
    void Shutdown();

    // The hub's handling of the idle message: wParam 1 (the user is back after lParam seconds) while a task
    // is current brings up the idle question, or adds that absence to the one already open; anything else
    // does nothing. While another modal window is open the question waits for it to close, and then also
    // covers the time of the wait.
    void OnIdleMessage(std::int64_t wParam, std::int64_t lParam);
    // Shows the waiting question once no modal window is open; the wait timer calls it.
    void ShowWaitingQuestion();
    bool QuestionWaiting() const { return m_waitingSince.has_value(); }

    // The idle time source in use, as the Settings sheet names it ("none" when there is none).
    std::string IdleSourceName() const;

    CIdleMonitor& IdleMonitor() { return *m_idleMonitor; }
    CReminderMonitor& ReminderMonitor() { return *m_reminderMonitor; }
    // The open question or reminder, or null.
    CIdlePeriodDlg* IdleDialog() const { return m_idleDlg; }
    CReminderDlg* ReminderDialog() const { return m_reminderDlg; }

private:
    void ShowReminder();
    void ShowQuestion(std::int64_t idleSeconds, const model::TimeStamp& endedAt);

    IdleContext m_context;
    std::unique_ptr<platform::IdleTimeSource> m_source;
    std::unique_ptr<platform::UptimeClocks> m_clocks;
    std::chrono::milliseconds m_reminderAutoClose;
    std::unique_ptr<CIdleMonitor> m_idleMonitor;
    std::unique_ptr<CReminderMonitor> m_reminderMonitor;
    // Owned through Qt: each deletes itself (deleteLater) once finished.
    CIdlePeriodDlg* m_idleDlg = nullptr;
    CReminderDlg* m_reminderDlg = nullptr;
    bool m_shutDown = false;
    // Where the absence behind a waiting question began, and the timer that looks for its turn.
    std::optional<model::TimeStamp> m_waitingSince;
    QTimer m_waitTimer;
};

} // namespace kelmora::idle
