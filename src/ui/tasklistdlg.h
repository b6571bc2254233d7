#pragma once

#include "app/windows.h"

#include <QDialog>

class QTreeWidget;

namespace kelmora::app {
class CMainWnd;
}

namespace kelmora::ui {

// The Task List window: the tasks with their time and running state. It lives for the whole run;
// closing it only hides it.
class CTaskListDlg final : public QDialog, public app::TaskListWindow
{
    Q_OBJECT

public:
    explicit CTaskListDlg(app::CMainWnd& mainWnd);

    void ShowDialog() override;
    void HideDialog() override;
    bool IsVisible() const override;
    void RefillTaskList() override;
    void RefillCategories() override {}
    void RefillTimeLog(bool) override {}

private:
    app::CMainWnd& m_mainWnd;
    QTreeWidget* m_tasks;
};

} // namespace kelmora::ui
