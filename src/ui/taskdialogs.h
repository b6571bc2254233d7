#pragma once

#include "modelessdialog.h"

#include "model/task.h"

#include <QDialog>

#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTimeEdit;
class QTreeView;

namespace kelmora::app {
class CKelmoraApp;
}

namespace kelmora::ui {

// Opens the Task Categories dialog modally over `owner`; true when it ended with OK. The task dialogs
// do not know that dialog themselves, so whoever builds them hands it in.
using CategoriesDialogRunner = std::function<bool(QWidget* owner)>;

// Names a new task, files it into a category and can start it at once. Created once and kept for the
// whole run: the name and the check box keep what they held when it was last closed.
class CCreateTaskDlg final : public CModelessDialog
{
    Q_OBJECT

public:
    explicit CCreateTaskDlg(app::CKelmoraApp& app, QWidget* parent = nullptr);

    // Shows the dialog with the categories read afresh and "No category" chosen.
    void ShowDialog() override;
    // Without a runner the "..." button stays disabled.
    void SetCategoriesDialogRunner(CategoriesDialogRunner runner);

    // OK: creates the task. A refused name or a failed creation keeps the dialog open.
    void accept() override;

private:
    void OnCategories();

    app::CKelmoraApp& m_app;
    CategoriesDialogRunner m_categoriesRunner;
    QComboBox* m_categoryCombo;
    QPushButton* m_categoriesButton;
    QLineEdit* m_nameEdit;
    QCheckBox* m_startCheckBox;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};

// Edits one interval as a start and an end in local wall-clock time, to the second. Modal, built on
// demand. The four pickers start at now.
class CTimePeriodDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CTimePeriodDlg(app::CKelmoraApp& app, QWidget* parent = nullptr);

    // Shows the interval's start and its effective end (now while it is open).
    void SetInterval(const model::Interval& interval);
    // The closed interval the pickers show, milliseconds dropped. False when a picker's date and time
    // does not exist as local time.
    bool GetInterval(model::Interval& interval) const;

    // When given, OK hands the period to `saver`; when that returns false (having said why) the dialog
    // stays open.
    void SetSaver(std::function<bool(const model::Interval&)> saver) { m_saver = std::move(saver); }

    // OK: refuses a period that is not valid local time or ends before it starts, and stays open.
    void accept() override;

private:
    app::CKelmoraApp& m_app;
    std::function<bool(const model::Interval&)> m_saver;
    QDateEdit* m_startDateEdit;
    QTimeEdit* m_startTimeEdit;
    QDateEdit* m_endDateEdit;
    QTimeEdit* m_endTimeEdit;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};

// Renames one task, moves it to another category and changes its intervals. Modal, built for one task
// id. It works on its own copy of the task: "Close" saves the copy, any other ending drops it. Category
// changes are written at once, as the category catalogue is shared with the other windows.
class CEditTaskDlg final : public QDialog
{
    Q_OBJECT

public:
    CEditTaskDlg(app::CKelmoraApp& app, std::int32_t taskId, QWidget* parent = nullptr);

    // False when the task file could not be read; such a dialog refuses to run.
    bool IsTaskLoaded() const { return m_loaded; }
    // The copy being edited.
    const model::Task& EditedTask() const { return m_task; }
    void SetCategoriesDialogRunner(CategoriesDialogRunner runner);

    // Tells the user and returns Rejected when the task could not be read.
    int exec() override;
    // "Close": refuses an empty name, a name another task has and a failed save, and stays open then.
    void accept() override;

private:
    void FillIntervalList();
    void FillCategories();
    void UpdateButtons();
    // Index into the task's intervals of the marked row, or -1.
    std::int32_t MarkedInterval() const;
    bool RunTimePeriodDlg(const model::Interval* from, model::Interval& result);
    void ShowSpanRefused(const std::string& reason);
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnCategoryChanged(int index);
    void OnCategories();

    void ShowTask();

    app::CKelmoraApp& m_app;
    model::Task m_task;
    // The task as the file held it when the dialog read it.
    model::Task m_original;
    bool m_loaded = false;
    CategoriesDialogRunner m_categoriesRunner;
    QLineEdit* m_nameEdit;
    QComboBox* m_categoryCombo;
    QPushButton* m_categoriesButton;
    QComboBox* m_periodCombo;
    QStandardItemModel* m_intervalModel;
    QTreeView* m_intervalList;
    QPushButton* m_addButton;
    QPushButton* m_editButton;
    QPushButton* m_deleteButton;
    QPushButton* m_closeButton;
};

} // namespace kelmora::ui
