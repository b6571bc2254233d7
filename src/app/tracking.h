#pragma once

#include <cstdint>

namespace kelmora::app {

class CKelmoraApp;

// The rules every change of the tracked task follows: each task is loaded, changed and saved at once,
// the current task id follows, and the hub is told with the task-state message.

// Stops the current task, if any.
void StopCurrentTask(CKelmoraApp& app);

// Stops the current task, if any, and starts the task at `position` in the task store. Choosing the
// current task itself closes its span and begins a new one. Nothing happens for a position without task.
void SwitchToTask(CKelmoraApp& app, std::int32_t position);

} // namespace kelmora::app
