#pragma once

#include "idlecontext.h"

#include "app/worker.h"
#include "model/filestamp.h"
#include "model/timestamp.h"

#include <QDialog>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <unordered_map>

namespace kelmora::model {
class TaskStore;
}

namespace kelmora::idle {

// The end of the latest tracked span over all tasks: the latest end of each task's last span. A task file
// is read again only when its stamp moved, and the files are looked at only when the data folder shows a
// change (or once a minute), so a check usually costs one stat.
class LastSpanEnds
{
public:
    // The latest end; a span still running ends now. The zero stamp when no task has a span.
    model::TimeStamp Latest(const model::TaskStore& store);

private:
    struct Entry
    {
        model::FileStamp stamp;
        bool hasSpan = false;
        bool running = false;
        model::TimeStamp end;
    };
    struct FolderKey
    {
        std::int64_t mtimeNs = 0;
        std::int64_t ctimeNs = 0;
        std::uint64_t inode = 0;
        std::int32_t taskCount = -1;
        bool operator==(const FolderKey&) const = default;
    };
    std::unordered_map<std::int32_t, Entry> m_entries;
    FolderKey m_folderKey;
    int m_passesUntilSweep = 0;
    model::TimeStamp m_latest;
    bool m_anyRunning = false;
};

// Asks the user to start tracking when no task has been tracked for the reminder timeout. Checks once a
// second on its own thread; the question itself is asked on the user-interface thread through `ask`,
// and no further check runs until Answer has been called.
class CReminderMonitor final : public app::CWorkerThread
{
public:
    enum Answer : int
    {
        kNoAnswer = 0,
        kCancel = 2,
        kYes = 6,
        kNo = 7,
    };

    // `ask` is called on the monitor's thread and must bring the question up on the UI thread.
    CReminderMonitor(IdleContext& context, std::function<void()> ask);
    ~CReminderMonitor() override;

    // What Run does first: the first reminder counts from now.
    void Begin();
    // One check. Run calls it once a second; tests call it directly.
    void Pass();
    // The user's answer to the question that `ask` brought up; from any thread. Yes shows the Task List.
    void SetAnswer(int answer);

    bool Suppressed() const { return m_suppressed.load(); }
    bool AwaitingAnswer() const { return m_awaiting.load(); }

protected:
    std::int32_t Run() override;

private:
    IdleContext& m_context;
    std::function<void()> m_ask;
    LastSpanEnds m_ends;
    // When the latest reminder was shown, and once it has closed (answered or timed out), when it closed.
    model::TimeStamp m_lastShown;
    // Set with the answer, on the thread that gives it.
    std::atomic<std::int64_t> m_closedAtMs{0};
    std::atomic<bool> m_suppressed{false};
    std::atomic<bool> m_awaiting{false};
    std::atomic<int> m_answer{kNoAnswer};
};

// "You have not active task now..." with Yes, No and Cancel. Its result is a CReminderMonitor::Answer;
// Escape and the close box count as Cancel, and a reminder nobody answers closes itself as No.
class CReminderDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CReminderDlg(std::chrono::milliseconds autoCloseAfter = std::chrono::seconds(60),
                          QWidget* parent = nullptr);

    void reject() override;

private:
    QTimer m_autoClose;
};

} // namespace kelmora::idle
