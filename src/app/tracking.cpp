#include "tracking.h"

#include "kelmoraapp.h"
#include "messages.h"

#include "model/taskops.h"

namespace kelmora::app {

void StopCurrentTask(CKelmoraApp& app)
{
    const std::int32_t current = app.CurrentTaskId();
    if (current == -1) {
        return;
    }
    model::StopTask(app.DataFolder(), current);
    app.SetCurrentTaskId(-1);
    PostMessage(app.MainWnd(), kMsgTaskState, kIdleIconId);
}

void SwitchToTask(CKelmoraApp& app, std::int32_t position)
{
    const std::int32_t id = app.Store().TaskIdAt(position);
    if (id < 0) {
        return;
    }
    if (app.CurrentTaskId() != -1) {
        model::StopTask(app.DataFolder(), app.CurrentTaskId());
        app.SetCurrentTaskId(-1);
    }
    if (!model::StartTask(app.DataFolder(), id)) {
        // Nothing runs now; the hub and the tray must say so rather than keep showing the stopped task.
        PostMessage(app.MainWnd(), kMsgTaskState, kIdleIconId);
        return;
    }
    app.SetCurrentTaskId(id);
    PostMessage(app.MainWnd(), kMsgTaskState, kRunningIconId);
    if (app.MainWnd() != nullptr && app.MainWnd()->TaskList() != nullptr) {
        app.MainWnd()->TaskList()->RefillTaskList();
    }
}

} // namespace kelmora::app
