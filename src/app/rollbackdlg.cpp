#include "rollbackdlg.h"

#include "datetimeedits.h"
#include "icons.h"
#include "kelmoraapp.h"
#include "messages.h"
#include "tracking.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace kelmora::app {

namespace {

const QString kCaption = QStringLiteral("Rollback current task");

// No span shorter than a second is ever written: it would show as a row of 00:00:00.
bool LastsASecond(const model::Interval& interval)
{
    return interval.stop > interval.start && (interval.stop - interval.start).TotalMs() >= 1000;
}

} // namespace

CRollbackDlg::CRollbackDlg(CKelmoraApp& app, QWidget* parent)
    : QDialog(parent), m_app(app), m_taskCombo(new QComboBox(this)),
      m_taskLabel(new QLabel(QStringLiteral("Task:"), this)),
      m_continueCheckBox(new QCheckBox(QStringLiteral("Continue with task after rollback"), this)),
      m_passTimeCheckBox(new QCheckBox(QStringLiteral("Pass removed time to other task"), this)),
      m_startDateEdit(MakeDateEdit(this, "startDateEdit")), m_startTimeEdit(MakeTimeEdit(this, "startTimeEdit")),
      m_endDateEdit(MakeDateEdit(this, "endDateEdit")), m_endTimeEdit(MakeTimeEdit(this, "endTimeEdit"))
{
    setObjectName("rollbackDlg");
    setWindowTitle(kCaption);
    setWindowIcon(MakeIcon(IconKind::Program));

    m_taskCombo->setObjectName("taskCombo");
    m_taskLabel->setObjectName("taskLabel");
    m_taskLabel->setBuddy(m_taskCombo);
    m_continueCheckBox->setObjectName("continueCheckBox");
    m_passTimeCheckBox->setObjectName("passTimeCheckBox");

    // Until the first showing fills them from the running span, the pickers stand at the time of
    // construction rather than at an arbitrary default date.
    model::TimeStamp now;
    now.Now();
    ShowStamp(now, *m_startDateEdit, *m_startTimeEdit);
    ShowStamp(now, *m_endDateEdit, *m_endTimeEdit);

    auto* startLabel = new QLabel(QStringLiteral("&Start:"), this);
    startLabel->setObjectName("startLabel");
    startLabel->setBuddy(m_startDateEdit);
    auto* endLabel = new QLabel(QStringLiteral("&End:"), this);
    endLabel->setObjectName("endLabel");
    endLabel->setBuddy(m_endDateEdit);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("buttonBox");
    m_okButton = buttons->button(QDialogButtonBox::Ok);
    m_okButton->setObjectName("okButton");
    m_okButton->setDefault(true);
    m_cancelButton = buttons->button(QDialogButtonBox::Cancel);
    m_cancelButton->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &CRollbackDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRollbackDlg::reject);
    connect(m_passTimeCheckBox, &QCheckBox::toggled, this, &CRollbackDlg::UpdateTaskEnabled);

    auto* grid = new QGridLayout;
    grid->addWidget(startLabel, 0, 0);
    grid->addWidget(m_startDateEdit, 0, 1);
    grid->addWidget(m_startTimeEdit, 0, 2);
    grid->addWidget(endLabel, 1, 0);
    grid->addWidget(m_endDateEdit, 1, 1);
    grid->addWidget(m_endTimeEdit, 1, 2);
    grid->addWidget(m_continueCheckBox, 2, 0, 1, 3);
    grid->addWidget(m_passTimeCheckBox, 3, 0, 1, 3);
    grid->addWidget(m_taskLabel, 4, 0);
    grid->addWidget(m_taskCombo, 4, 1, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    setTabOrder(m_startDateEdit, m_startTimeEdit);
    setTabOrder(m_startTimeEdit, m_endDateEdit);
    setTabOrder(m_endDateEdit, m_endTimeEdit);
    setTabOrder(m_endTimeEdit, m_continueCheckBox);
    setTabOrder(m_continueCheckBox, m_passTimeCheckBox);
    setTabOrder(m_passTimeCheckBox, m_taskCombo);
    setTabOrder(m_taskCombo, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);

    UpdateTaskEnabled();
}

// The current task as its file holds it; says why and hides the dialog when there is none to roll back.
bool CRollbackDlg::LoadRunningTask(model::Task& task)
{
    task.id = m_app.CurrentTaskId();
    if (task.id < 0) {
        HideDialog();
        m_app.ShowMessage(this, QStringLiteral("There is no started task now"),
                          QStringLiteral("Can't rallback current task"), MessageIcon::Warning);
        return false;
    }
    if (!task.Load(m_app.DataFolder())) {
        HideDialog();
        m_app.ShowMessage(this, QStringLiteral("The current task could not be read. It may have been deleted."),
                          kCaption, MessageIcon::Error);
        return false;
    }
    // Stopping a task whose last span is already closed would stretch that span up to now, and the
    // rollback would then hand out time that was never tracked.
    if (!task.IsRunning()) {
        HideDialog();
        m_app.ShowMessage(this, QStringLiteral("There is no started task now"),
                          QStringLiteral("Can't rallback current task"), MessageIcon::Warning);
        return false;
    }
    return true;
}

void CRollbackDlg::ShowDialog()
{
    model::Task task;
    if (!LoadRunningTask(task)) {
        return;
    }

    m_passTimeCheckBox->setChecked(m_passTime);
    m_continueCheckBox->setChecked(m_continue);
    UpdateTaskEnabled();
    FillTaskCombo();

    m_original = task;
    m_task = std::move(task);
    m_taskLoaded = true;
    setWindowTitle(QStringLiteral("Rollback task \"%1\"").arg(QString::fromStdString(m_task.name)));
    // In memory only: the file keeps the open span until OK.
    m_task.Stop();
    const model::Interval last = m_task.intervals.At(m_task.intervals.Count() - 1);
    ShowStamp(last.start, *m_startDateEdit, *m_startTimeEdit);
    ShowStamp(last.EffectiveStop(), *m_endDateEdit, *m_endTimeEdit);

    showNormal();
    raise();
    activateWindow();
}

void CRollbackDlg::HideDialog()
{
    hide();
}

void CRollbackDlg::accept()
{
    // Pressing OK fixes what the check boxes show next time, even when the rollback is then refused.
    m_continue = m_continueCheckBox->isChecked();
    m_passTime = m_passTimeCheckBox->isChecked();

    const std::filesystem::path& folder = m_app.DataFolder();
    if (!CurrentCopyStillReadable()) {
        // Saving the copy now would bring back a task that was deleted while the dialog was open.
        m_app.ShowMessage(this,
                          QStringLiteral("The task \"%1\" can no longer be read. It may have been deleted. "
                                         "Nothing was changed.")
                              .arg(QString::fromStdString(m_task.name)),
                          kCaption, MessageIcon::Warning);
        return;
    }
    // From the check against the file to the last save, no other program may change the folder.
    std::optional<model::FolderLock> lock;
    if (!LockForChange(m_app, this, lock)) {
        return;
    }
    model::Task onDisk;
    onDisk.id = m_task.id;
    if (!onDisk.Load(folder) || !SameContent(onDisk, m_original)) {
        lock.reset();
        // Another program (or the tray) changed the task after the dialog read it; applying the old copy
        // would undo that. The dialog takes the task as it is now, if it still runs.
        m_app.ShowMessage(this,
                          QStringLiteral("The task \"%1\" was changed outside this dialog after it was opened. "
                                         "Nothing was changed; please check the range again.")
                              .arg(QString::fromStdString(m_task.name)),
                          kCaption, MessageIcon::Warning);
        model::Task current;
        if (LoadRunningTask(current)) {
            m_original = current;
            m_task = std::move(current);
            m_task.Stop();
        } else {
            m_taskLoaded = false;
        }
        return;
    }

    const std::int32_t lastIndex = m_task.intervals.Count() - 1;
    const model::Interval last = m_task.intervals.At(lastIndex);
    model::Interval range;
    if (!ReadStamp(*m_startDateEdit, *m_startTimeEdit, range.start) ||
        !ReadStamp(*m_endDateEdit, *m_endTimeEdit, range.stop)) {
        lock.reset();
        m_app.ShowMessage(this, QStringLiteral("The new range is not a valid date and time. Please correct the range."),
                          kCaption, MessageIcon::Warning);
        return;
    }
    // Intervals are expected to run forwards; a reversed one would break every total and merge.
    if (range.stop < range.start) {
        lock.reset();
        m_app.ShowMessage(this,
                          QStringLiteral("The end of the new range lies before its start. Please correct the range."),
                          kCaption, MessageIcon::Warning);
        return;
    }

    if (m_passTime) {
        if (m_taskCombo->currentIndex() < 0) {
            lock.reset();
            m_app.ShowMessage(this, QStringLiteral("Please choose task to pass the delete time to"),
                              QStringLiteral("Can't pass deleted time"), MessageIcon::Warning);
            return;
        }
        model::Task receiver;
        receiver.id = m_taskCombo->currentData().toInt();
        if (!receiver.Load(folder)) {
            // Saving would write a nameless task file for a task that was deleted meanwhile.
            lock.reset();
            m_app.ShowMessage(this,
                              QStringLiteral("The task \"%1\" can no longer be read. Please choose another task.")
                                  .arg(m_taskCombo->currentText()),
                              QStringLiteral("Can't pass deleted time"), MessageIcon::Warning);
            return;
        }
        // The pickers show whole seconds: an unchanged end differs from the span's real end by its
        // milliseconds only, which must not become a span of its own.
        const model::Interval before(WholeSecond(last.start), range.start);
        const model::Interval after(range.stop, WholeSecond(last.EffectiveStop()));
        for (const model::Interval& piece : {before, after}) {
            if (LastsASecond(piece)) {
                receiver.intervals.Insert(piece);
            }
        }
        receiver.Save(folder);
    }

    m_task.intervals.RemoveAt(lastIndex);
    if (LastsASecond(range)) {
        m_task.intervals.Insert(range);
    }
    CMainWnd* hub = m_app.MainWnd();
    if (m_continue && m_task.Start()) {
        m_app.SetCurrentTaskId(m_task.id);
        if (hub != nullptr) {
            PostMessage(hub, kMsgTaskState, kRunningIconId);
        }
    } else {
        if (hub != nullptr) {
            PostMessage(hub, kMsgTaskState, kIdleIconId);
        }
        m_app.SetCurrentTaskId(-1);
    }
    m_task.Save(folder);
    // The copy has been written; a second OK without a new showing must not apply it again.
    m_taskLoaded = false;
    QDialog::accept();
}

void CRollbackDlg::UpdateTaskEnabled()
{
    const bool enabled = m_passTimeCheckBox->isChecked();
    m_taskLabel->setEnabled(enabled);
    m_taskCombo->setEnabled(enabled);
}

void CRollbackDlg::FillTaskCombo()
{
    FillPassTimeTasks(*m_taskCombo, m_app.Store());
}

bool CRollbackDlg::CurrentCopyStillReadable() const
{
    if (!m_taskLoaded) {
        return false;
    }
    model::Task probe;
    probe.id = m_task.id;
    return probe.Load(m_app.DataFolder());
}

} // namespace kelmora::app
