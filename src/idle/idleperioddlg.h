#pragma once

#include "idlecontext.h"

#include "model/timestamp.h"

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace kelmora::idle {

// Asks what to do with an inactivity period that has just ended while a task was current: count it for
// that task, drop it, or pass it to another task. Escape and the close box change nothing.
class CIdlePeriodDlg final : public QDialog
{
    Q_OBJECT

public:
    // `idleSeconds` long, ended at `endedAt` (when the idle message arrived, not when OK is pressed).
    CIdlePeriodDlg(IdleContext& context, std::int64_t idleSeconds, const model::TimeStamp& endedAt,
                   QWidget* parent = nullptr);

    // Reads the current task and fills the controls. False when no current task runs in its file; the
    // dialog is then not to be shown.
    bool Prepare();

    // Another inactivity period ended while the question was open: the answer covers it too, and the time
    // between the two stays with the task.
    void AddAbsence(std::int64_t idleSeconds, const model::TimeStamp& endedAt);

    // OK: applies the chosen option. A missing or unreadable receiving task keeps the dialog open; a
    // current task that changed meanwhile is left alone, and the dialog says so and closes.
    void accept() override;

private:
    struct Absence
    {
        std::int64_t seconds;
        // When the idle message arrived, not when OK is pressed.
        model::TimeStamp endedAt;
    };

    void UpdateMessage();
    void UpdateTaskEnabled();
    std::int32_t ChosenTaskId() const;

    IdleContext& m_context;
    // Oldest first.
    std::vector<Absence> m_absences;
    // The running span the question is about, as it was when the dialog was prepared.
    std::int32_t m_taskId = -1;
    std::string m_taskName;
    model::TimeStamp m_spanStart;

    QLabel* m_messageLabel;
    QRadioButton* m_countRadio;
    QRadioButton* m_doNotCountRadio;
    QRadioButton* m_passRadio;
    QComboBox* m_taskCombo;
    QCheckBox* m_continueCheckBox;
    QPushButton* m_okButton;
};

} // namespace kelmora::idle
