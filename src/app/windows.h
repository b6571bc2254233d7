#pragma once

namespace kelmora::app {

// What the hub needs of the Task List window. The window itself lives in a layer above this one, which
// hands the hub a factory for it at start-up.
class TaskListWindow
{
public:
    virtual ~TaskListWindow() = default;
    virtual void ShowDialog() = 0;
    virtual void HideDialog() = 0;
    virtual bool IsVisible() const = 0;
    // Shown, not minimised, and the window the keyboard works in.
    virtual bool IsInFront() const = 0;
    virtual void RefillTaskList() = 0;
    virtual void RefillCategories() = 0;
    virtual void RefillTimeLog(bool force) = 0;
    // Puts the keyboard into the filter field, to find a task by typing.
    virtual void FocusFilter() = 0;
};

} // namespace kelmora::app
