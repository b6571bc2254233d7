#include "tracking.h"

#include "kelmoraapp.h"
#include "messages.h"

#include "model/task.h"
#include "model/taskops.h"
#include "model/taskstore.h"

#include <QComboBox>

#include <algorithm>
#include <vector>

namespace kelmora::app {

bool LockForChange(CKelmoraApp& app, QWidget* owner, std::optional<model::FolderLock>& lock)
{
    lock.emplace(app.DataFolder());
    if (lock->Held()) {
        return true;
    }
    const QString reason = QString::fromStdString(lock->Error());
    lock.reset();
    app.ShowMessage(owner, reason, kErrorCaption);
    return false;
}

void StopCurrentTask(CKelmoraApp& app)
{
    if (app.CurrentTaskId() == -1) {
        return;
    }
    std::string error;
    if (!model::StopTask(app.DataFolder(), model::kAnyTask, &error, nullptr, {app.CacheFolder()})) {
        app.ShowMessage(nullptr,
                        QStringLiteral("The running task could not be stopped:\n%1").arg(QString::fromStdString(error)),
                        kErrorCaption);
        return;
    }
    app.SetCurrentTaskId(-1);
    PostMessage(app.MainWnd(), kMsgTaskState, kIdleIconId);
}

void SwitchToTask(CKelmoraApp& app, std::int32_t position)
{
    const std::int32_t id = app.Store().TaskIdAt(position);
    if (id < 0) {
        return;
    }
    std::string error;
    if (!model::StartTask(app.DataFolder(), id, &error, {app.CacheFolder()})) {
        // Nothing changed in the files; show what runs there.
        const std::int32_t running = model::FindRunningTask(app.Store());
        app.SetCurrentTaskId(running);
        PostMessage(app.MainWnd(), kMsgTaskState, running != -1 ? kRunningIconId : kIdleIconId);
        app.ShowMessage(nullptr,
                        QStringLiteral("The task could not be started; nothing was changed:\n%1")
                            .arg(QString::fromStdString(error)),
                        kErrorCaption);
        return;
    }
    app.SetCurrentTaskId(id);
    PostMessage(app.MainWnd(), kMsgTaskState, kRunningIconId);
    if (app.MainWnd() != nullptr && app.MainWnd()->TaskList() != nullptr) {
        app.MainWnd()->TaskList()->RefillTaskList();
    }
}

void ForgetCurrentTaskIfStopped(CKelmoraApp& app, const model::Task& saved)
{
    if (app.CurrentTaskId() == saved.id && !saved.IsRunning()) {
        app.SetCurrentTaskId(-1);
        PostMessage(app.MainWnd(), kMsgTaskState, kIdleIconId);
    }
}

bool SameContent(const model::Task& a, const model::Task& b)
{
    if (a.name != b.name || a.intervals.Count() != b.intervals.Count()) {
        return false;
    }
    for (std::int32_t i = 0; i < a.intervals.Count(); ++i) {
        const model::Interval x = a.intervals.At(i);
        const model::Interval y = b.intervals.At(i);
        if (!(x.start == y.start) || !(x.stop == y.stop) || x.closed != y.closed) {
            return false;
        }
    }
    return true;
}

bool ConfirmOverlap(CKelmoraApp& app, QWidget* owner, std::int32_t taskId, const model::Interval& span)
{
    for (const std::int32_t id : app.Store().TaskIds()) {
        model::Task other;
        other.id = id;
        if (id == taskId || !other.Load(app.DataFolder())) {
            continue;
        }
        for (std::int32_t i = 0; i < other.intervals.Count(); ++i) {
            const model::Interval theirs = other.intervals.At(i);
            const model::Interval common = theirs.Intersect(span);
            if (!(common.stop > common.start)) {
                continue;
            }
            // The local time of day, as the span's own pickers show it.
            const auto clock = [](const model::TimeStamp& stamp) {
                return QString::fromStdString(stamp.Format().substr(11));
            };
            return app.AskYesNo(
                owner,
                QStringLiteral("This span overlaps \"%1\" %2\u2013%3. Keep both?")
                    .arg(QString::fromStdString(other.name), clock(theirs.start), clock(theirs.EffectiveStop())),
                QStringLiteral("Overlapping time"));
        }
    }
    return true;
}

void FillPassTimeTasks(QComboBox& combo, const model::TaskStore& store)
{
    struct Entry
    {
        QString name;
        std::int32_t id;
    };
    std::vector<Entry> entries;
    const std::vector<std::int32_t> ids = store.TaskIds();
    for (const std::int32_t id : ids) {
        model::Task task;
        task.id = id;
        // A running task cannot take time, and an unreadable one would be saved back without its data.
        if (!task.Load(store.DataFolder()) || task.IsRunning()) {
            continue;
        }
        entries.push_back({QString::fromStdString(task.name), id});
    }
    // Case-insensitive, as a sorted drop-down list orders its items; ties keep store order.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.name.compare(b.name, Qt::CaseInsensitive) < 0; });
    combo.clear();
    for (const Entry& entry : entries) {
        combo.addItem(entry.name, entry.id);
    }
    // With a single task in the store nothing can be chosen, so the pass-time request is refused.
    combo.setCurrentIndex(ids.size() > 1 && !entries.empty() ? 0 : -1);
}

} // namespace kelmora::app
