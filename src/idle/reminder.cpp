#include "reminder.h"

#include "app/icons.h"
#include "model/task.h"
#include "model/taskstore.h"
#include "platform/settingsstore.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmora::idle {

namespace {

std::int64_t Nanoseconds(const timespec& time)
{
    return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

// Even with no sign of change in the folder, every task file is looked at again this often: a hand edit
// that rewrites a file in place leaves the folder's times alone.
constexpr int kPassesBetweenSweeps = 60;
// A folder changed this recently may change again within the same tick of the file system's clock, which
// its times would not show.
constexpr std::int64_t kRacyNs = 2'000'000'000;

} // namespace

model::TimeStamp LastSpanEnds::Latest(const model::TaskStore& store)
{
    model::TimeStamp now;
    now.Now();
    model::TimeStamp latest;
    // Names relative to the open folder spare building a full path and walking it for every task.
    const int folder = ::open(store.DataFolder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat folderStatus
    {};
    if (folder < 0 || ::fstat(folder, &folderStatus) != 0) {
        if (folder >= 0) {
            ::close(folder);
        }
        m_entries.clear();
        m_folderKey = {};
        return latest;
    }
    // Every writer replaces a task file through a rename in the folder, which moves the folder's times; while
    // they stand still, the answer of the last sweep holds.
    const std::int64_t wallClockNs = model::WallClockNs();
    const FolderKey key{Nanoseconds(folderStatus.st_mtim), Nanoseconds(folderStatus.st_ctim), folderStatus.st_ino,
                        store.TaskCount()};
    if (key == m_folderKey && wallClockNs - key.ctimeNs > kRacyNs && --m_passesUntilSweep > 0) {
        ::close(folder);
        return m_anyRunning ? now : m_latest;
    }
    m_folderKey = key;
    m_passesUntilSweep = kPassesBetweenSweeps;
    m_anyRunning = false;
    const std::vector<std::int32_t> ids = store.TaskIds();
    for (const std::int32_t id : ids) {
        std::array<char, 24> name{};
        std::snprintf(name.data(), name.size(), "%d.tsk", id);
        Entry& entry = m_entries[id];
        const std::optional<model::FileStamp> stamp = model::StampAt(folder, name.data());
        if (!stamp) {
            entry = Entry{};
            continue;
        }
        if (entry.stamp != *stamp) {
            model::Task task;
            task.id = id;
            entry = Entry{};
            // A file changed just now may change again unseen: it is read again at the next sweep.
            if (stamp->SettledBy(wallClockNs)) {
                entry.stamp = *stamp;
            }
            if (task.Load(store.DataFolder()) && task.intervals.Count() > 0) {
                const model::Interval last = task.intervals.At(task.intervals.Count() - 1);
                entry.hasSpan = true;
                entry.running = !last.closed;
                entry.end = last.stop;
            }
        }
        if (entry.hasSpan) {
            m_anyRunning = m_anyRunning || entry.running;
            latest = std::max(latest, entry.end);
        }
    }
    ::close(folder);
    if (m_entries.size() > ids.size()) {
        std::erase_if(m_entries,
                      [&ids](const auto& item) { return !std::binary_search(ids.begin(), ids.end(), item.first); });
    }
    m_latest = latest;
    return m_anyRunning ? now : latest;
}

CReminderMonitor::CReminderMonitor(IdleContext& context, std::function<void()> ask)
    : m_context(context), m_ask(std::move(ask))
{}

CReminderMonitor::~CReminderMonitor()
{
    Stop();
}

std::int32_t CReminderMonitor::Run()
{
    Begin();
    while (SleepFor(std::chrono::seconds(1))) {
        Pass();
    }
    return 0;
}

void CReminderMonitor::Begin()
{
    m_lastShown.Now();
    m_suppressed.store(false);
}

void CReminderMonitor::SetAnswer(int answer)
{
    if (answer == kYes) {
        m_context.post(app::kMsgShowTaskList, 0, 0);
    }
    model::TimeStamp now;
    now.Now();
    m_closedAtMs.store(now.ToUnixMs());
    m_answer.store(answer);
}

void CReminderMonitor::Pass()
{
    if (m_awaiting.load()) {
        const int answer = m_answer.exchange(kNoAnswer);
        if (answer == kNoAnswer) {
            return;
        }
        m_awaiting.store(false);
        // The next reminder is a whole timeout away from this one's end: counted from when it was shown, a
        // reminder that closed itself after a minute would come straight back with a one-minute timeout.
        m_lastShown = model::TimeStamp::FromUnixMs(m_closedAtMs.load());
        if (answer == kCancel) {
            m_suppressed.store(true);
        }
    }
    if (m_context.currentTaskId() != -1) {
        m_suppressed.store(false);
        return;
    }
    if (m_suppressed.load() || platform::GetSetting(m_context.settings, platform::setting::kRemind) != 1) {
        return;
    }
    const model::TimeStamp lastEnd = m_ends.Latest(m_context.store);
    const std::int64_t timeoutSeconds = platform::GetSetting(m_context.settings, platform::setting::kRemindTimeout);
    const model::TimeSpan timeout(0, timeoutSeconds * 1000);
    model::TimeStamp now;
    now.Now();
    if (now - lastEnd > timeout && now - m_lastShown > timeout) {
        m_lastShown = now;
        m_answer.store(kNoAnswer);
        m_awaiting.store(true);
        m_ask();
    }
}

CReminderDlg::CReminderDlg(std::chrono::milliseconds autoCloseAfter, QWidget* parent) : QDialog(parent)
{
    setObjectName("reminderDlg");
    setWindowTitle(QStringLiteral("Kelmora"));
    setWindowIcon(app::MakeIcon(app::IconKind::Program));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* text = new QLabel(QStringLiteral("You have not active task now. Do you want to start time tracking? \n"
                                           "Press Cancel button if you don't want to see this message again during "
                                           "the current inactivity period."),
                            this);
    text->setObjectName("messageLabel");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Yes)->setObjectName("yesButton");
    buttons->button(QDialogButtonBox::No)->setObjectName("noButton");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
    buttons->button(QDialogButtonBox::Yes)->setDefault(true);
    connect(buttons->button(QDialogButtonBox::Yes), &QPushButton::clicked, this,
            [this] { done(CReminderMonitor::kYes); });
    connect(buttons->button(QDialogButtonBox::No), &QPushButton::clicked, this,
            [this] { done(CReminderMonitor::kNo); });
    connect(buttons, &QDialogButtonBox::rejected, this, &CReminderDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(text);
    layout->addWidget(buttons);

    m_autoClose.setObjectName("autoCloseTimer");
    m_autoClose.setSingleShot(true);
    m_autoClose.setInterval(autoCloseAfter);
    connect(&m_autoClose, &QTimer::timeout, this, [this] { done(CReminderMonitor::kNo); });
    connect(this, &QDialog::finished, &m_autoClose, &QTimer::stop);
    m_autoClose.start();
}

void CReminderDlg::reject()
{
    done(CReminderMonitor::kCancel);
}

} // namespace kelmora::idle
