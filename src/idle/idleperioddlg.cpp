#include "idleperioddlg.h"

#include "app/icons.h"
#include "app/tracking.h"
#include "model/folderlock.h"
#include "model/task.h"
#include "model/taskstore.h"
#include "platform/settingsstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <vector>

namespace kelmora::idle {

namespace {

const QString kCaption = QStringLiteral("Idle period");

} // namespace

CIdlePeriodDlg::CIdlePeriodDlg(IdleContext& context, std::int64_t idleSeconds, const model::TimeStamp& endedAt,
                               QWidget* parent)
    : QDialog(parent), m_context(context), m_messageLabel(new QLabel(this)),
      m_countRadio(new QRadioButton(QStringLiteral("Count this time for current task"), this)),
      m_doNotCountRadio(new QRadioButton(QStringLiteral("Do not count this time"), this)),
      m_passRadio(new QRadioButton(QStringLiteral("Pass this time to this task:"), this)),
      m_taskCombo(new QComboBox(this)),
      m_continueCheckBox(new QCheckBox(QStringLiteral("Continue with current task after completion"), this)),
      m_okButton(new QPushButton(QStringLiteral("OK"), this))
{
    setObjectName("idlePeriodDlg");
    setWindowTitle(kCaption);
    setWindowIcon(app::MakeIcon(app::IconKind::Program));
    // It answers for time already past, so it stays in front until answered.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_messageLabel->setObjectName("messageLabel");
    m_countRadio->setObjectName("countRadio");
    m_doNotCountRadio->setObjectName("doNotCountRadio");
    m_passRadio->setObjectName("passRadio");
    m_taskCombo->setObjectName("taskCombo");
    m_continueCheckBox->setObjectName("continueCheckBox");
    m_okButton->setObjectName("okButton");
    m_okButton->setDefault(true);

    connect(m_okButton, &QPushButton::clicked, this, &CIdlePeriodDlg::accept);
    for (QRadioButton* radio : {m_countRadio, m_doNotCountRadio, m_passRadio}) {
        connect(radio, &QRadioButton::toggled, this, &CIdlePeriodDlg::UpdateTaskEnabled);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_messageLabel);
    layout->addWidget(m_countRadio);
    layout->addWidget(m_doNotCountRadio);
    layout->addWidget(m_passRadio);
    layout->addWidget(m_taskCombo);
    layout->addWidget(m_continueCheckBox);
    layout->addWidget(m_okButton, 0, Qt::AlignRight);

    m_countRadio->setChecked(true);
    AddAbsence(idleSeconds, endedAt);
    UpdateTaskEnabled();
}

void CIdlePeriodDlg::AddAbsence(std::int64_t idleSeconds, const model::TimeStamp& endedAt)
{
    m_absences.push_back({std::max<std::int64_t>(0, idleSeconds), endedAt});
    UpdateMessage();
}

void CIdlePeriodDlg::UpdateMessage()
{
    std::int64_t seconds = 0;
    for (const Absence& absence : m_absences) {
        seconds += absence.seconds;
    }
    const QString question = QStringLiteral("\nWhat do you want to do with this time?");
    if (m_absences.size() == 1) {
        m_messageLabel->setText(QStringLiteral("There was an inactivity period during last %1 min %2 sec.")
                                    .arg(seconds / 60)
                                    .arg(seconds % 60) +
                                question);
        return;
    }
    m_messageLabel->setText(QStringLiteral("There were %1 inactivity periods of %2 min %3 sec in all.")
                                .arg(m_absences.size())
                                .arg(seconds / 60)
                                .arg(seconds % 60) +
                            question);
}

bool CIdlePeriodDlg::Prepare()
{
    model::Task task;
    task.id = m_context.currentTaskId();
    if (task.id < 0 || !task.Load(m_context.store.DataFolder()) || !task.IsRunning()) {
        return false;
    }
    m_taskId = task.id;
    m_taskName = task.name;
    m_spanStart = task.intervals.At(task.intervals.Count() - 1).start;
    app::FillPassTimeTasks(*m_taskCombo, m_context.store);
    m_continueCheckBox->setChecked(platform::GetSetting(m_context.settings, platform::setting::kIdleContinue) != 0);
    setWindowTitle(QStringLiteral("Idle period diring \"%1\"").arg(QString::fromStdString(m_taskName)));
    return true;
}

void CIdlePeriodDlg::UpdateTaskEnabled()
{
    m_taskCombo->setEnabled(m_passRadio->isChecked());
}

// By the item's id, not its text: two tasks may bear the same name.
std::int32_t CIdlePeriodDlg::ChosenTaskId() const
{
    return m_taskCombo->currentIndex() >= 0 ? m_taskCombo->currentData().toInt() : -1;
}

void CIdlePeriodDlg::accept()
{
    const std::filesystem::path& folder = m_context.store.DataFolder();
    const bool keepRunning = m_continueCheckBox->isChecked();
    if (m_countRadio->isChecked()) {
        platform::SetSetting(m_context.settings, platform::setting::kIdleContinue, keepRunning ? 1 : 0);
        QDialog::accept();
        return;
    }

    model::Task receiver;
    if (m_passRadio->isChecked()) {
        receiver.id = ChosenTaskId();
        if (receiver.id < 0) {
            m_context.showMessage(this, QStringLiteral("Please choose task to pass the delete time to"),
                                  QStringLiteral("Can't pass deleted time"));
            return;
        }
        if (!receiver.Load(folder)) {
            m_context.showMessage(this,
                                  QStringLiteral("The task \"%1\" can no longer be read. Please choose another task.")
                                      .arg(m_taskCombo->currentText()),
                                  QStringLiteral("Can't pass deleted time"));
            return;
        }
    }

    // The tray, a hotkey or kelmora-cli may have stopped, switched or deleted the task while the question
    // was open; applying the answer then would cut time out of a span it was not asked about.
    // From the check against the file to the last save, no other program may change the folder.
    std::optional<model::FolderLock> lock(std::in_place, folder);
    if (!lock->Held()) {
        const QString reason = QString::fromStdString(lock->Error());
        lock.reset();
        m_context.showMessage(this, reason, kCaption);
        return;
    }
    model::Task task;
    task.id = m_taskId;
    if (m_context.currentTaskId() != m_taskId || !task.Load(folder) || !task.IsRunning() ||
        task.intervals.At(task.intervals.Count() - 1).start != m_spanStart) {
        lock.reset();
        m_context.showMessage(this,
                              QStringLiteral("The task \"%1\" was stopped, changed or deleted while this dialog was "
                                             "open. Nothing was changed.")
                                  .arg(QString::fromStdString(m_taskName)),
                              kCaption);
        QDialog::reject();
        return;
    }

    model::TimeStamp now;
    now.Now();
    task.intervals.RemoveAt(task.intervals.Count() - 1);
    // Each idle time is counted back from the moment the user came back; the minutes spent answering, and
    // those between two absences, were the user's again. None reaches before the span began (a task
    // started during the idle time) or into the one before it.
    model::TimeStamp returnedAt = m_spanStart;
    std::vector<model::Interval> idleParts;
    for (const Absence& absence : m_absences) {
        const model::TimeStamp endedAt = std::clamp(absence.endedAt, returnedAt, std::max(returnedAt, now));
        const model::TimeStamp idleStart = std::max(returnedAt, endedAt - model::TimeSpan(0, absence.seconds * 1000));
        if (returnedAt < idleStart) {
            task.intervals.Insert(model::Interval(returnedAt, idleStart));
        }
        if (idleStart < endedAt) {
            idleParts.emplace_back(idleStart, endedAt);
        }
        returnedAt = endedAt;
    }
    if (keepRunning) {
        task.intervals.Append(model::Interval(returnedAt, returnedAt, false));
    } else if (returnedAt < now) {
        task.intervals.Insert(model::Interval(returnedAt, now));
    }
    if (receiver.id >= 0 && !idleParts.empty()) {
        for (const model::Interval& part : idleParts) {
            receiver.intervals.Insert(part);
        }
        receiver.Save(folder);
    }
    task.Save(folder);
    m_context.setCurrentTaskId(keepRunning ? m_taskId : -1);
    m_context.post(app::kMsgTaskState, keepRunning ? app::kRunningIconId : app::kIdleIconId, 0);
    platform::SetSetting(m_context.settings, platform::setting::kIdleContinue, keepRunning ? 1 : 0);
    QDialog::accept();
}

} // namespace kelmora::idle
