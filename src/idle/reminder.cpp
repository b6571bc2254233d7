#include "reminder.h"

#include "app/icons.h"
#include "model/task.h"
#include "model/taskfile.h"
#include "model/taskstore.h"
#include "platform/settingsstore.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <sys/stat.h>

namespace kelmora::idle {

model::TimeStamp LastSpanEnds::Latest(const model::TaskStore& store)
{
    const std::vector<std::int32_t> ids = store.TaskIds();
    model::TimeStamp now;
    now.Now();
    model::TimeStamp latest;
    for (const std::int32_t id : ids) {
        struct stat status
        {};
        Entry& entry = m_entries[id];
        if (::stat(model::TaskPath(store.DataFolder(), id).c_str(), &status) != 0) {
            entry = Entry{};
            continue;
        }
        const std::int64_t mtimeNs = std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec;
        if (entry.size != status.st_size || entry.mtimeNs != mtimeNs || entry.inode != status.st_ino) {
            model::Task task;
            task.id = id;
            entry = Entry{};
            entry.size = status.st_size;
            entry.mtimeNs = mtimeNs;
            entry.inode = status.st_ino;
            if (task.Load(store.DataFolder()) && task.intervals.Count() > 0) {
                const model::Interval last = task.intervals.At(task.intervals.Count() - 1);
                entry.hasSpan = true;
                entry.running = !last.closed;
                entry.end = last.stop;
            }
        }
        if (entry.hasSpan) {
            const model::TimeStamp& end = entry.running ? now : entry.end;
            latest = std::max(latest, end);
        }
    }
    if (m_entries.size() > ids.size()) {
        std::erase_if(m_entries,
                      [&ids](const auto& item) { return !std::binary_search(ids.begin(), ids.end(), item.first); });
    }
    return latest;
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
