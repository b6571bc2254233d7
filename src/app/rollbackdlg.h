#pragma once

#include "model/task.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTimeEdit;

namespace kelmora::app {

class CKelmoraApp;

// Cuts the current task's running span back to a chosen range and can hand the cut-off time to another
// task. Created once and kept for the whole run; Cancel, Escape and closing only hide it, and only OK
// changes files.
class CRollbackDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CRollbackDlg(CKelmoraApp& app, QWidget* parent = nullptr);

    // Loads the current task, proposes its running span up to now as the new range and shows the dialog.
    // When the task cannot be read, says so and stays hidden.
    void ShowDialog();
    void HideDialog();

    // OK: applies the chosen range. A refused range or a missing receiving task keeps the dialog open and
    // leaves every file as it was.
    void accept() override;

private:
    void UpdateTaskEnabled();
    void FillTaskCombo();
    bool CurrentCopyStillReadable() const;
    bool LoadRunningTask(model::Task& task);

    CKelmoraApp& m_app;
    // The copy of the current task taken when the dialog was shown, already stopped in memory.
    model::Task m_task;
    // The same as the file held it, to see whether another program changed it meanwhile.
    model::Task m_original;
    bool m_taskLoaded = false;
    // The check boxes' state at the last OK of this run; each showing starts from it.
    bool m_continue = false;
    bool m_passTime = false;

    QComboBox* m_taskCombo;
    QLabel* m_taskLabel;
    QCheckBox* m_continueCheckBox;
    QCheckBox* m_passTimeCheckBox;
    QDateEdit* m_startDateEdit;
    QTimeEdit* m_startTimeEdit;
    QDateEdit* m_endDateEdit;
    QTimeEdit* m_endTimeEdit;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};

} // namespace kelmora::app
