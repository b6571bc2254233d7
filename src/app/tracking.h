#pragma once

#include "model/folderlock.h"

#include <cstdint>
#include <optional>

class QComboBox;
class QWidget;

namespace kelmora::model {
class Interval;
class Task;
class TaskStore;
} // namespace kelmora::model

namespace kelmora::app {

class CKelmoraApp;

// The rules every change of the tracked task follows: each task is loaded, changed and saved at once,
// the current task id follows, and the hub is told with the task-state message.

// Takes the data folder's lock into `lock` for a change made from a window, so that what the window reads
// and what it writes are not interleaved with another program's change. When another program keeps the
// folder busy, the user is told (the message owned by `owner`) and false returned: nothing may change
// then. Reset `lock` before showing any message: the lock is never held while the user reads.
bool LockForChange(CKelmoraApp& app, QWidget* owner, std::optional<model::FolderLock>& lock);

// Stops the running task, whichever it is: the files, not this program's memory, say what runs.
void StopCurrentTask(CKelmoraApp& app);

// Stops whatever runs and starts the task at `position` in the task store. Choosing the current task
// itself closes its span and begins a new one. Nothing happens for a position without task. When the
// task cannot be started, nothing changed and the user is told.
void SwitchToTask(CKelmoraApp& app, std::int32_t position);

// After a task was saved by hand (an edited or deleted span): when it was the current task and no longer
// runs, nothing is current any more and the tray shows so.
void ForgetCurrentTaskIfStopped(CKelmoraApp& app, const model::Task& saved);

// True when both hold the same name and spans: a dialog compares the file with what it read, so as not to
// save over a change made meanwhile by another program.
bool SameContent(const model::Task& a, const model::Task& b);

// Before a span edited by hand is saved to task `taskId`: when it overlaps a span of another task, that time
// would count for both, so the user is asked whether to keep both, No being the default. True to go on: no
// overlap, or Yes. Only for time added by hand; moving time from one task to another asks nothing.
bool ConfirmOverlap(CKelmoraApp& app, QWidget* owner, std::int32_t taskId, const model::Interval& span);

// Fills the list of tasks that removed time can be passed to: every readable task that is not running,
// in case-insensitive name order (ties keep store order), each item carrying its task id. The first item
// is chosen unless the store holds a single task, where nothing can be chosen.
void FillPassTimeTasks(QComboBox& combo, const model::TaskStore& store);

} // namespace kelmora::app
