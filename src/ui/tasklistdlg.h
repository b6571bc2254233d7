#pragma once

#include "modelessdialog.h"

#include "app/windows.h"
#include "model/category.h"
#include "model/task.h"

#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QTreeView;

namespace kelmora::app {
class CKelmoraApp;
class CMainWnd;
} // namespace kelmora::app

namespace kelmora::ui {

class TaskListModel;
class TimeLogModel;

// The Task List window: the tasks with their time in a chosen period on the left, the time log on the
// right. It lives for the whole run; closing it stores its place and hides it.
class CTaskListDlg final : public CModelessDialog, public app::TaskListWindow
{
    Q_OBJECT

public:
    // The dialogs it opens, supplied by their owners.
    struct Dialogs
    {
        // Edits a task modally.
        std::function<void(std::int32_t taskId, QWidget* parent)> editTask;
        // Edits one interval modally. OK hands the new interval to `save`, which stores it; when that refuses
        // (it has said why), the dialog stays open.
        std::function<void(const model::Interval& interval, QWidget* parent,
                           const std::function<bool(const model::Interval&)>& save)>
            editInterval;
        // The Task Categories dialog, modally; true when it ended with OK.
        std::function<bool(QWidget* parent)> categories;
        // The report and the time-log export (of the "Period:" chosen, an index of app::kPeriodNames); their
        // buttons are disabled while these are missing.
        std::function<void(QWidget* parent)> report;
        std::function<void(QWidget* parent, int periodIndex)> exportTimeLog;
    };

    // Period choices, in the order of the period list (app::kPeriodNames).
    enum Period
    {
        kThisDay = 0,
        kThisWeek,
        kThisMonth,
        kThisYear,
        kAllTime,
        kYesterday,
        kLastWeek,
        kLastMonth,
        kLastYear,
    };

    CTaskListDlg(app::CMainWnd& mainWnd, Dialogs dialogs);
    ~CTaskListDlg() override;

    void ShowDialog() override;
    // Hides the window; while the desktop has no tray to bring it back from, minimises it instead.
    void HideDialog() override;
    void reject() override;
    bool IsVisible() const override;
    bool IsInFront() const override;
    void RefillTaskList() override;
    void RefillCategories() override;
    void RefillTimeLog(bool force) override;
    void FocusFilter() override;

    void SelectTask(std::int32_t id);
    // The id of the marked task, or -1.
    std::int32_t SelectedTaskId() const;

    void StartSelectedTask();
    void StopCurrentTask();
    void DeleteSelectedTask();
    void EditSelectedTask();
    // Advances the running figures: the "Now:" text, the task's time and the newest time-log row.
    void OnTick();

    TaskListModel& Tasks() { return *m_taskModel; }
    TimeLogModel& TimeLog() { return *m_logModel; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unordered_map<std::int32_t, model::Category> CategoriesById() const;
    void BuildLayout();
    void UpdateButtons();
    void SortTasks();
    void OnHeaderClicked(int column);
    void EditTask(std::int32_t id);
    void EditLogRow(int row);
    void ShowContextMenu(const QPoint& position);
    void StartTicker();
    void StopTicker();
    void StoreGeometry();
    // Hides the task rows whose names do not hold the filter's text, in any case.
    void ApplyFilter();
    // Enter in the filter: the first task shown is started.
    void StartFirstMatch();
    // Shows the running task and its time in "Now:", its name cut at the end to fit.
    void SetNowText(const QString& name, const QString& time = {});
    void UpdateNowText();
    void ShowError(const QString& text);
    Period CurrentPeriod() const;
    // RefillTimeLog whether the window is shown or not.
    void FillTimeLog();
    model::TimeSpan TimeInPeriod(const model::Task& task) const;

    app::CMainWnd& m_mainWnd;
    app::CKelmoraApp& m_app;
    Dialogs m_dialogs;
    bool m_rebuildForced = false;
    // Where the shown log's period began: a past period moves at midnight without changing its count.
    model::TimeStamp m_logStart;
    int m_sortColumn = 0;
    bool m_sortDescending = false;
    QTimer m_ticker;
    QString m_nowName;
    QString m_nowTime;

    QLineEdit* m_filterEdit = nullptr;
    QComboBox* m_categoryCombo = nullptr;
    QPushButton* m_categoriesButton = nullptr;
    QLineEdit* m_nowEdit = nullptr;
    QComboBox* m_periodCombo = nullptr;
    QPushButton* m_exportButton = nullptr;
    QTreeView* m_taskView = nullptr;
    QTableView* m_logView = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_editButton = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_reportButton = nullptr;
    TaskListModel* m_taskModel = nullptr;
    TimeLogModel* m_logModel = nullptr;
};

} // namespace kelmora::ui
