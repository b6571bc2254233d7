#include "appfixture.h"

#include "app/datetimeedits.h"
#include "app/rollbackdlg.h"
#include "app/trayicon.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kelmora::app {
namespace {

using Spans = std::vector<std::string>;

// A stamp as UTC "HH:MM:SS", with the date only when it is not the test day, so expectations stay short.
std::string UtcText(const model::TimeStamp& stamp)
{
    const model::DateParts p = stamp.GetUtcParts();
    char text[32];
    if (p.year == 2008 && p.month == 4 && p.day == 7) {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    } else {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                      p.second);
    }
    return text;
}

class RollbackDlgTest : public AppTest
{
protected:
    void Start()
    {
        m_app = MakeApp();
        ASSERT_TRUE(m_app->InitInstance());
        // Let the start-up's task-state message reach the tray, so later changes of the icon are the dialog's.
        QCoreApplication::processEvents();
        m_dlg = std::make_unique<CRollbackDlg>(*m_app);
    }

    void TearDown() override
    {
        m_dlg.reset();
        if (m_app) {
            m_answerYes = false;
            m_app->ExitInstance();
        }
    }

    template <typename Widget> Widget& Child(const char* name)
    {
        auto* widget = m_dlg->findChild<Widget*>(QString::fromLatin1(name));
        if (widget == nullptr) {
            ADD_FAILURE() << "no child " << name;
            std::abort();
        }
        return *widget;
    }

    void SetRange(int startHour, int startMinute, int endHour, int endMinute)
    {
        Child<QDateEdit>("startDateEdit").setDate(QDate(2008, 4, 7));
        Child<QTimeEdit>("startTimeEdit").setTime(QTime(startHour, startMinute));
        Child<QDateEdit>("endDateEdit").setDate(QDate(2008, 4, 7));
        Child<QTimeEdit>("endTimeEdit").setTime(QTime(endHour, endMinute));
    }

    QString Proposed()
    {
        return Child<QDateEdit>("startDateEdit").date().toString(Qt::ISODate) + " " +
               Child<QTimeEdit>("startTimeEdit").time().toString(Qt::ISODate) + " - " +
               Child<QDateEdit>("endDateEdit").date().toString(Qt::ISODate) + " " +
               Child<QTimeEdit>("endTimeEdit").time().toString(Qt::ISODate);
    }

    void PressOk() { Child<QPushButton>("okButton").click(); }

    Spans SpansOf(std::int32_t id)
    {
        model::Task task;
        task.id = id;
        EXPECT_TRUE(task.Load(Data()));
        Spans spans;
        for (const model::Interval& interval : task.intervals) {
            spans.push_back(UtcText(interval.start) + "-" + (interval.closed ? UtcText(interval.stop) : "open"));
        }
        return spans;
    }

    std::filesystem::path Data() const { return m_dir.path() / "data"; }
    std::string FileOf(std::int32_t id) const { return testsupport::ReadFile(Data() / (std::to_string(id) + ".tsk")); }

    std::int32_t TrayIconId()
    {
        QCoreApplication::processEvents();
        return m_app->MainWnd()->TrayIcon()->IconId();
    }

    std::unique_ptr<CKelmoraApp> m_app;
    std::unique_ptr<CRollbackDlg> m_dlg;
};

TEST_F(RollbackDlgTest, PassTimeToOtherTask_ItGetsBothCutOffEndsAndTheTaskKeepsTheNewRange)
{
    const std::int32_t a = MakeTask("A", true);
    const std::int32_t b = MakeTask("B", false);
    Start();
    ASSERT_EQ(m_app->CurrentTaskId(), a);
    ASSERT_EQ(TrayIconId(), kRunningIconId);
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(Proposed(), "2008-04-07 09:00:00 - 2008-04-07 12:00:00");

    SetRange(9, 30, 11, 0);
    Child<QCheckBox>("passTimeCheckBox").setChecked(true);
    auto& combo = Child<QComboBox>("taskCombo");
    ASSERT_EQ(combo.count(), 1);
    EXPECT_EQ(combo.currentText(), "B");
    EXPECT_EQ(combo.currentData().toInt(), b);
    PressOk();

    EXPECT_TRUE(m_messages.empty());
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(SpansOf(b), (Spans{"09:00:00-09:30:00", "11:00:00-12:00:00"}));
    EXPECT_EQ(SpansOf(a), (Spans{"09:30:00-11:00:00"}));
    EXPECT_FALSE(IsRunning(a));
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    EXPECT_EQ(TrayIconId(), kIdleIconId);
}

TEST_F(RollbackDlgTest, ProposedRangeWithoutContinue_EndsTheTaskWhenTheDialogWasShown)
{
    const std::int32_t a = MakeTask("A", true);
    Start();
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    // The file keeps the open span while the dialog is open.
    EXPECT_TRUE(IsRunning(a));
    m_clock->SetUtc(2008, 4, 7, 12, 5);
    // Return presses the default button, OK.
    EXPECT_TRUE(Child<QPushButton>("okButton").isDefault());
    QTest::keyClick(m_dlg.get(), Qt::Key_Return);

    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(SpansOf(a), (Spans{"09:00:00-12:00:00"}));
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    EXPECT_EQ(TrayIconId(), kIdleIconId);
}

TEST_F(RollbackDlgTest, Continue_TaskStaysCurrentAndANewSpanStartsAtOk)
{
    const std::int32_t a = MakeTask("A", true);
    Start();
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    SetRange(9, 30, 11, 0);
    Child<QCheckBox>("continueCheckBox").setChecked(true);
    // Shown idle here, so only the dialog's message can bring the running icon back.
    m_app->MainWnd()->TrayIcon()->SetIcon(kIdleIconId);
    m_clock->SetUtc(2008, 4, 7, 12, 10);
    PressOk();

    EXPECT_EQ(SpansOf(a), (Spans{"09:30:00-11:00:00", "12:10:00-open"}));
    EXPECT_TRUE(IsRunning(a));
    EXPECT_EQ(m_app->CurrentTaskId(), a);
    EXPECT_EQ(TrayIconId(), kRunningIconId);
    EXPECT_FALSE(m_dlg->isVisible());
}

TEST_F(RollbackDlgTest, RangeOverlappingThePreviousSpan_MergesWithIt)
{
    const std::int32_t a = MakeTask("A", false);
    model::Task task;
    task.id = a;
    ASSERT_TRUE(task.Load(Data()));
    task.intervals.Insert(model::Interval(Utc(2008, 4, 7, 7, 0), Utc(2008, 4, 7, 8, 30)));
    ASSERT_TRUE(task.Save(Data()));
    ASSERT_TRUE(model::StartTask(Data(), a));
    Start();
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    // Only the running span is proposed, not the earlier one.
    EXPECT_EQ(Proposed(), "2008-04-07 09:00:00 - 2008-04-07 12:00:00");
    SetRange(8, 0, 11, 0);
    PressOk();

    EXPECT_EQ(SpansOf(a), (Spans{"07:00:00-11:00:00"}));
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
}

TEST_F(RollbackDlgTest, PassTimeWithOnlyOneTask_AsksForATaskAndChangesNothing)
{
    const std::int32_t a = MakeTask("A", true);
    Start();
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    auto& combo = Child<QComboBox>("taskCombo");
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.currentIndex(), -1);
    const std::string before = FileOf(a);
    SetRange(9, 30, 11, 0);
    Child<QCheckBox>("passTimeCheckBox").setChecked(true);
    PressOk();

    EXPECT_EQ(m_messages,
              std::vector<QString>{"Can't pass deleted time: Please choose task to pass the delete time to"});
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(FileOf(a), before);
    EXPECT_EQ(m_app->CurrentTaskId(), a);
    EXPECT_EQ(TrayIconId(), kRunningIconId);
}

TEST_F(RollbackDlgTest, EndBeforeStart_RefusedUntilCorrected)
{
    const std::int32_t a = MakeTask("A", true);
    const std::int32_t b = MakeTask("B", false);
    Start();
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    const std::string beforeA = FileOf(a);
    const std::string beforeB = FileOf(b);
    SetRange(11, 0, 9, 30);
    Child<QCheckBox>("passTimeCheckBox").setChecked(true);
    PressOk();

    EXPECT_EQ(m_messages, std::vector<QString>{"Rollback current task: The end of the new range lies before its "
                                               "start. Please correct the range."});
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(FileOf(a), beforeA);
    EXPECT_EQ(FileOf(b), beforeB);
    EXPECT_EQ(m_app->CurrentTaskId(), a);

    // The same dialog goes on to apply the corrected range.
    SetRange(9, 30, 11, 0);
    PressOk();
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(SpansOf(a), (Spans{"09:30:00-11:00:00"}));
    EXPECT_EQ(SpansOf(b), (Spans{"09:00:00-09:30:00", "11:00:00-12:00:00"}));
}

TEST_F(RollbackDlgTest, CheckBoxes_ShowTheStateOfTheLastOkAndEnableTheTaskChoice)
{
    MakeTask("A", true);
    MakeTask("B", false);
    Start();
    auto& passTime = Child<QCheckBox>("passTimeCheckBox");
    auto& continueBox = Child<QCheckBox>("continueCheckBox");
    auto& label = Child<QLabel>("taskLabel");
    auto& combo = Child<QComboBox>("taskCombo");
    m_dlg->ShowDialog();
    EXPECT_FALSE(passTime.isChecked());
    EXPECT_FALSE(continueBox.isChecked());
    EXPECT_FALSE(label.isEnabled());
    EXPECT_FALSE(combo.isEnabled());

    QTest::mouseClick(&passTime, Qt::LeftButton);
    ASSERT_TRUE(passTime.isChecked());
    EXPECT_TRUE(label.isEnabled());
    EXPECT_TRUE(combo.isEnabled());
    QTest::mouseClick(&continueBox, Qt::LeftButton);
    ASSERT_TRUE(continueBox.isChecked());
    PressOk();
    ASSERT_FALSE(m_dlg->isVisible());

    m_dlg->ShowDialog();
    EXPECT_TRUE(passTime.isChecked());
    EXPECT_TRUE(continueBox.isChecked());
    EXPECT_TRUE(label.isEnabled());
    EXPECT_TRUE(combo.isEnabled());

    // Cancel forgets what was changed since the last OK.
    passTime.setChecked(false);
    continueBox.setChecked(false);
    EXPECT_FALSE(combo.isEnabled());
    Child<QPushButton>("cancelButton").click();
    EXPECT_FALSE(m_dlg->isVisible());
    m_dlg->ShowDialog();
    EXPECT_TRUE(passTime.isChecked());
    EXPECT_TRUE(continueBox.isChecked());
    EXPECT_TRUE(combo.isEnabled());
}

TEST_F(RollbackDlgTest, TaskCombo_SortedByNameWithoutTheRunningTask_CaptionNamesTheTask)
{
    const std::int32_t delta = MakeTask("delta", false);
    MakeTask("Alpha", true);
    const std::int32_t charlie = MakeTask("charlie", false);
    const std::int32_t bravo = MakeTask("Bravo", false);
    Start();
    EXPECT_EQ(m_dlg->windowTitle(), "Rollback current task");
    // Before the first showing the pickers stand at the time the dialog was made.
    EXPECT_EQ(Proposed(), "2008-04-07 09:00:00 - 2008-04-07 09:00:00");
    m_clock->SetUtc(2008, 4, 7, 9, 45);
    m_dlg->ShowDialog();
    EXPECT_EQ(m_dlg->windowTitle(), "Rollback task \"Alpha\"");

    auto& combo = Child<QComboBox>("taskCombo");
    std::vector<std::pair<QString, int>> items;
    for (int i = 0; i < combo.count(); ++i) {
        items.emplace_back(combo.itemText(i), combo.itemData(i).toInt());
    }
    EXPECT_EQ(items, (std::vector<std::pair<QString, int>>{{"Bravo", bravo}, {"charlie", charlie}, {"delta", delta}}));
    EXPECT_EQ(combo.currentIndex(), 0);
}

TEST_F(RollbackDlgTest, CancelAndEscape_HideWithoutChangingAnything)
{
    const std::int32_t a = MakeTask("A", true);
    Start();
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    const std::string before = FileOf(a);
    m_dlg->ShowDialog();
    SetRange(9, 30, 11, 0);
    QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
    EXPECT_FALSE(m_dlg->isVisible());
    m_dlg->ShowDialog();
    m_dlg->close();
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(FileOf(a), before);
    EXPECT_EQ(m_app->CurrentTaskId(), a);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(RollbackDlgTest, PickersShowAndTakeLocalTime)
{
    const std::int32_t a = MakeTask("A", true);
    Start();
    // Central European Summer Time, two hours ahead of UTC on this day.
    testsupport::ScopedTimeZone zone("Europe/Berlin");
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    EXPECT_EQ(Proposed(), "2008-04-07 11:00:00 - 2008-04-07 14:00:00");
    SetRange(11, 30, 13, 0);
    PressOk();
    EXPECT_EQ(SpansOf(a), (Spans{"09:30:00-11:00:00"}));
}

TEST_F(RollbackDlgTest, TaskDeletedWhileOpen_OkRefusedAndTheTaskIsNotWrittenBack)
{
    const std::int32_t a = MakeTask("A", true);
    const std::int32_t b = MakeTask("B", false);
    Start();
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    const std::string beforeB = FileOf(b);
    ASSERT_TRUE(m_app->Store().DeleteTask(a));
    SetRange(9, 30, 11, 0);
    Child<QCheckBox>("passTimeCheckBox").setChecked(true);
    PressOk();

    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Rollback current task: The task \"A\" can no longer be read. It may have been deleted. "
                             "Nothing was changed.");
    EXPECT_FALSE(std::filesystem::exists(Data() / (std::to_string(a) + ".tsk")));
    EXPECT_EQ(FileOf(b), beforeB);
    EXPECT_TRUE(m_dlg->isVisible());
}

TEST_F(RollbackDlgTest, ReceivingTaskDeletedWhileOpen_OkRefusedAndItIsNotWrittenBack)
{
    const std::int32_t a = MakeTask("A", true);
    const std::int32_t b = MakeTask("B", false);
    Start();
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    const std::string beforeA = FileOf(a);
    ASSERT_TRUE(m_app->Store().DeleteTask(b));
    SetRange(9, 30, 11, 0);
    Child<QCheckBox>("passTimeCheckBox").setChecked(true);
    PressOk();

    EXPECT_EQ(m_messages, std::vector<QString>{"Can't pass deleted time: The task \"B\" can no longer be read. "
                                               "Please choose another task."});
    EXPECT_FALSE(std::filesystem::exists(Data() / (std::to_string(b) + ".tsk")));
    EXPECT_EQ(FileOf(a), beforeA);
    EXPECT_TRUE(m_dlg->isVisible());
}

TEST_F(RollbackDlgTest, CurrentTaskFileGone_ShowDialogExplainsAndStaysHidden)
{
    const std::int32_t a = MakeTask("A", true);
    Start();
    std::filesystem::remove(Data() / (std::to_string(a) + ".tsk"));
    m_dlg->ShowDialog();
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_messages, std::vector<QString>{
                              "Rollback current task: The current task could not be read. It may have been deleted."});
    EXPECT_FALSE(std::filesystem::exists(Data() / (std::to_string(a) + ".tsk")));
}

TEST_F(RollbackDlgTest, NoCurrentTask_ShowDialogExplainsAndStaysHidden)
{
    MakeTask("A", false);
    Start();
    ASSERT_EQ(m_app->CurrentTaskId(), -1);
    m_dlg->ShowDialog();
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_messages, std::vector<QString>{"Can't rallback current task: There is no started task now"});
}

// The pickers show whole seconds: an unchanged end must not give the other task the left-over milliseconds.
TEST_F(RollbackDlgTest, PassTimeWithUnchangedEnd_NoSpanShorterThanASecond)
{
    const std::int32_t a = MakeTask("A", true);
    const std::int32_t b = MakeTask("B", false);
    Start();
    m_clock->Set(testsupport::UtcMs(2008, 4, 7, 12, 0) + 437);
    m_dlg->ShowDialog();
    Child<QTimeEdit>("startTimeEdit").setTime(QTime(9, 30));
    Child<QCheckBox>("passTimeCheckBox").setChecked(true);
    PressOk();
    EXPECT_EQ(SpansOf(b), (Spans{"09:00:00-09:30:00"}));
    EXPECT_EQ(SpansOf(a), (Spans{"09:30:00-12:00:00"}));
}

// Both the rollback and the Time Period pickers read through this.
TEST(ReadStamp, OnlyLocalTimesTheZoneHasAreRead)
{
    testsupport::ScopedTimeZone zone("Europe/Berlin");
    QDateEdit date;
    QTimeEdit time;
    const struct
    {
        QDate day;
        QTime clock;
        bool read;
    } cases[] = {
        {QDate(2026, 3, 29), QTime(2, 30), false}, // skipped: clocks go from 02:00 to 03:00
        {QDate(2026, 3, 29), QTime(3, 30), true},
        {QDate(2026, 10, 25), QTime(2, 30), true}, // twice that night, either will do
        {QDate(2026, 6, 1), QTime(12, 0, 5), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clock.toString().toStdString());
        date.setDate(c.day);
        time.setTime(c.clock);
        model::TimeStamp stamp;
        EXPECT_EQ(ReadStamp(date, time, stamp), c.read);
    }
}

// Another program (here the tray) changed the task after the dialog read it: OK must not undo that.
TEST_F(RollbackDlgTest, TaskChangedOutsideWhileOpen_RefusedAndTheChangeKept)
{
    const std::int32_t a = MakeTask("A", true);
    Start();
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    model::Task outside;
    outside.id = a;
    outside.Load(Data());
    outside.intervals.Insert(model::Interval(testsupport::Utc(2008, 4, 7, 6, 0), testsupport::Utc(2008, 4, 7, 7, 0)));
    outside.Save(Data());
    SetRange(9, 30, 11, 0);
    PressOk();
    EXPECT_TRUE(m_dlg->isVisible());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].contains("changed outside"));
    EXPECT_EQ(SpansOf(a), (Spans{"06:00:00-07:00:00", "09:00:00-open"}));
}

} // namespace
} // namespace kelmora::app
