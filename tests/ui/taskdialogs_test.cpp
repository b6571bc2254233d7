#include "uifixture.h"

#include "app/messages.h"
#include "ui/taskdialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kelmora::ui {
namespace {

using testsupport::Utc;
using Posted = std::vector<std::pair<int, std::int64_t>>;

// Records what reaches the main window, in order, as (message, wParam).
class PostedRecorder final : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (auto* message = dynamic_cast<app::MessageEvent*>(event)) {
            posted.emplace_back(message->message(), message->wParam());
        }
        return QObject::eventFilter(watched, event);
    }

    Posted posted;
};

class TaskDialogsTest : public UiTest
{
protected:
    void Start()
    {
        AppTest::Start();
        m_app->MainWnd()->installEventFilter(&m_recorder);
    }

    Posted TakePosted()
    {
        QCoreApplication::processEvents();
        return std::exchange(m_recorder.posted, {});
    }

    std::int32_t TaskNamed(const std::string& name) const { return model::FindTaskByName(m_app->Store(), name); }

    // The rows of the interval list as "start - end (duration)".
    static QStringList Rows(CEditTaskDlg& dlg)
    {
        auto& view = ChildOf<QTreeView>(dlg, "intervalList");
        QStringList rows;
        for (int row = 0; row < view.model()->rowCount(); ++row) {
            rows << view.model()->index(row, 0).data().toString() + " - " +
                        view.model()->index(row, 1).data().toString() + " (" +
                        view.model()->index(row, 2).data().toString() + ")";
        }
        return rows;
    }

    static void MarkRow(CEditTaskDlg& dlg, int row)
    {
        auto& view = ChildOf<QTreeView>(dlg, "intervalList");
        view.setCurrentIndex(view.model()->index(row, 0));
    }

    // Clicks `button`, which opens a modal Time Period dialog over `dlg`; `fill` then sets its pickers before OK is
    // pressed on it. True when OK left it open.
    static bool RunTimePeriod(CEditTaskDlg& dlg, QPushButton& button, const std::function<void(CTimePeriodDlg&)>& fill)
    {
        bool seen = false;
        bool refused = false;
        QTimer::singleShot(0, &dlg, [&] {
            auto* period = dlg.findChild<CTimePeriodDlg*>();
            ASSERT_NE(period, nullptr);
            seen = true;
            fill(*period);
            ChildOf<QPushButton>(*period, "okButton").click();
            refused = period->isVisible();
            if (refused) {
                // Keeps a refused period from blocking the test forever.
                period->reject();
            }
        });
        button.click();
        EXPECT_TRUE(seen);
        return refused;
    }

    static void SetPeriod(QWidget& period, QTime start, QTime end)
    {
        ChildOf<QDateEdit>(period, "startDateEdit").setDate(QDate(2008, 4, 7));
        ChildOf<QTimeEdit>(period, "startTimeEdit").setTime(start);
        ChildOf<QDateEdit>(period, "endDateEdit").setDate(QDate(2008, 4, 7));
        ChildOf<QTimeEdit>(period, "endTimeEdit").setTime(end);
    }

    PostedRecorder m_recorder;
};

// ---- create-task dialog ----

TEST_F(TaskDialogsTest, Create_RefusesEmptyAndTakenNames_FilesTheTaskInTheChosenCategory_StartsItIfAsked)
{
    const std::int32_t gone = MakeTask("Gone", false);
    const std::int32_t old = MakeTask("Report", true);
    Start();
    ASSERT_EQ(m_app->CurrentTaskId(), old);
    ASSERT_TRUE(m_app->Store().DeleteTask(gone)); // ids no longer match list positions
    MakeCategory("Work");
    const std::int32_t home = MakeCategory("Home");
    CCreateTaskDlg dlg(*m_app);
    dlg.ShowDialog();
    EXPECT_EQ(dlg.windowTitle(), "Create new  task");
    auto& combo = ChildOf<QComboBox>(dlg, "categoryCombo");
    ASSERT_EQ(ComboTexts(combo), (QStringList{"Work", "Home", "No category"}));
    EXPECT_EQ(combo.currentText(), "No category");
    ChildOf<QPushButton>(dlg, "okButton").click();
    ChildOf<QLineEdit>(dlg, "nameEdit").setText("Report");
    ChildOf<QPushButton>(dlg, "okButton").click();
    EXPECT_EQ(m_messages, (std::vector<QString>{"Can't create task: Task name can not be empty.",
                                                "Can't create task: Task with name \"Report\" already exists."}));
    EXPECT_EQ(m_icons, std::vector<app::MessageIcon>(2, app::MessageIcon::Warning));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(m_app->Store().TaskCount(), 1);
    EXPECT_TRUE(TakePosted().empty());

    // The Categories button refills the combo, with no category chosen.
    auto& button = ChildOf<QPushButton>(dlg, "categoriesButton");
    EXPECT_FALSE(button.isEnabled()) << "nothing to open without a categories dialog";
    dlg.SetCategoriesDialogRunner([this](QWidget*) {
        MakeCategory("Study");
        return true;
    });
    combo.setCurrentIndex(0);
    button.click();
    EXPECT_EQ(ComboTexts(combo), (QStringList{"Work", "Home", "Study", "No category"}));
    EXPECT_EQ(combo.currentData().toInt(), -1);

    // Letter case makes a different name.
    combo.setCurrentIndex(1);
    ChildOf<QLineEdit>(dlg, "nameEdit").clear();
    QTest::keyClicks(&ChildOf<QLineEdit>(dlg, "nameEdit"), "report");
    ChildOf<QPushButton>(dlg, "okButton").click();
    const std::int32_t id = TaskNamed("report");
    ASSERT_NE(id, -1);
    EXPECT_EQ(m_messages.size(), 2U);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(id), home);
    EXPECT_FALSE(IsRunning(id));
    EXPECT_EQ(TakePosted(), (Posted{{app::kMsgTaskCreated, 0}}));

    // Started at once, the new task is tracked (the previous one stops, as on every switch).
    m_clock->SetUtc(2008, 4, 7, 10, 0);
    dlg.ShowDialog();
    ChildOf<QLineEdit>(dlg, "nameEdit").setText("New");
    ChildOf<QCheckBox>(dlg, "startCheckBox").setChecked(true);
    ChildOf<QPushButton>(dlg, "okButton").click();
    const std::int32_t created = TaskNamed("New");
    ASSERT_NE(created, -1);
    EXPECT_EQ(SpansOf(created), "10:00-open");
    EXPECT_EQ(m_app->CurrentTaskId(), created);
    EXPECT_EQ(TakePosted(), (Posted{{app::kMsgTaskState, app::kRunningIconId}, {app::kMsgTaskCreated, 0}}));

    // The dialog keeps its name and check box: OK at once now finds the name taken.
    dlg.ShowDialog();
    EXPECT_EQ(ChildOf<QLineEdit>(dlg, "nameEdit").text(), "New");
    EXPECT_TRUE(ChildOf<QCheckBox>(dlg, "startCheckBox").isChecked());
    ChildOf<QPushButton>(dlg, "okButton").click();
    EXPECT_EQ(m_messages.back(), "Can't create task: Task with name \"New\" already exists.");
    EXPECT_EQ(m_app->CurrentTaskId(), created);
    // Shown again, the kept name is selected, so typing replaces it.
    dlg.ShowDialog();
    QTest::keyClicks(&ChildOf<QLineEdit>(dlg, "nameEdit"), "Zeta");
    EXPECT_EQ(ChildOf<QLineEdit>(dlg, "nameEdit").text(), "Zeta");
}

// ---- Edit task dialog ----

// A name is saved only by Close (see the outside-change test below); a move to another category at once. Of a
// running task, no span may be added behind the running span's start: the task would run for ever. Deleting the
// running span ends the tracking.
TEST_F(TaskDialogsTest, EditRefusesEmptyAndTakenNames_MovesCategoryAtOnce_DeletingTheRunningSpanEndsTracking)
{
    const std::int32_t id = MakeTask("Draft", true);
    MakeTask("Other", false);
    Start();
    const std::int32_t work = MakeCategory("Work", {id});
    const std::int32_t home = MakeCategory("Home");
    CEditTaskDlg dlg(*m_app, id);
    ASSERT_TRUE(dlg.IsTaskLoaded());
    dlg.show();
    auto& name = ChildOf<QLineEdit>(dlg, "nameEdit");
    EXPECT_EQ(name.text(), "Draft");
    name.clear();
    ChildOf<QPushButton>(dlg, "closeButton").click();
    name.setText("Other");
    ChildOf<QPushButton>(dlg, "closeButton").click();
    EXPECT_EQ(m_messages, (std::vector<QString>{"Edit task data: Task name can not be empty.",
                                                "Edit task data: Task with name \"Other\" already exists."}));
    EXPECT_TRUE(dlg.isVisible());

    auto& combo = ChildOf<QComboBox>(dlg, "categoryCombo");
    ASSERT_EQ(ComboTexts(combo), (QStringList{"Work", "Home", "No category"}));
    EXPECT_EQ(combo.currentData().toInt(), work);
    EXPECT_TRUE(TakePosted().empty()) << "opening the dialog moves nothing";
    combo.setCurrentIndex(combo.findData(home));
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(id), home) << "work, listed first, would win";
    EXPECT_EQ(TakePosted(), (Posted{{app::kMsgTimeLogChanged, 0}}));
    combo.setCurrentIndex(combo.findData(-1));
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(id), -1);
    combo.setCurrentIndex(combo.findData(work));
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(id), work);
    EXPECT_EQ(LoadTask(id).name, "Draft");
    TakePosted();

    m_clock->SetUtc(2008, 4, 7, 10, 0);
    CEditTaskDlg running(*m_app, id);
    running.show();
    RunTimePeriod(running, ChildOf<QPushButton>(running, "addButton"),
                  [](CTimePeriodDlg& period) { SetPeriod(period, QTime(9, 30), QTime(9, 45)); });
    ASSERT_EQ(m_messages.size(), 3U);
    EXPECT_TRUE(m_messages.back().contains("stop it first")) << m_messages.back().toStdString();
    EXPECT_EQ(Rows(running), (QStringList{"2008-04-07 09:00:00 - 2008-04-07 10:00:00 (01:00:00)"}));
    m_answerYes = true;
    MarkRow(running, 0);
    ChildOf<QPushButton>(running, "deleteButton").click();
    ChildOf<QPushButton>(running, "closeButton").click();
    EXPECT_EQ(SpansOf(id), "");
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    EXPECT_EQ(TakePosted(), (Posted{{app::kMsgTaskState, app::kIdleIconId}, {app::kMsgTimeLogChanged, 0}}));
}

// Deleting asks first. Escape discards every change; Close writes them, and nothing is written before.
TEST_F(TaskDialogsTest, EditIntervals_ChangedAddedMergedDeleted_EscapeDiscardsCloseWrites)
{
    const std::int32_t id = MakeTask("Task", false);
    AddSpan(id, Utc(2008, 4, 7, 6, 0), Utc(2008, 4, 7, 7, 0));
    AddSpan(id, Utc(2008, 4, 7, 8, 0), Utc(2008, 4, 7, 8, 30));
    AddSpan(id, Utc(2008, 4, 6, 10, 0), Utc(2008, 4, 6, 11, 0));
    Start();
    const std::filesystem::path file = Data() / (std::to_string(id) + ".tsk");
    const std::string before = testsupport::ReadFile(file);
    {
        CEditTaskDlg dlg(*m_app, id);
        dlg.show();
        ChildOf<QLineEdit>(dlg, "nameEdit").setText("Renamed");
        auto& remove = ChildOf<QPushButton>(dlg, "deleteButton");
        MarkRow(dlg, 0);
        remove.click();
        EXPECT_EQ(Rows(dlg).size(), 2) << "the answer was No";
        m_answerYes = true;
        MarkRow(dlg, 0);
        remove.click();
        EXPECT_EQ(Rows(dlg), (QStringList{"2008-04-07 06:00:00 - 2008-04-07 07:00:00 (01:00:00)"}));
        EXPECT_FALSE(remove.isEnabled());
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(testsupport::ReadFile(file), before);
    }
    CEditTaskDlg dlg(*m_app, id);
    dlg.show();
    // "This day" leaves yesterday's interval out; the newest comes first.
    EXPECT_EQ(Rows(dlg), (QStringList{"2008-04-07 08:00:00 - 2008-04-07 08:30:00 (00:30:00)",
                                      "2008-04-07 06:00:00 - 2008-04-07 07:00:00 (01:00:00)"}));
    EXPECT_FALSE(ChildOf<QPushButton>(dlg, "editButton").isEnabled());
    EXPECT_FALSE(ChildOf<QPushButton>(dlg, "deleteButton").isEnabled());
    MarkRow(dlg, 1);
    ASSERT_TRUE(ChildOf<QPushButton>(dlg, "editButton").isEnabled());
    QString shownStart;
    RunTimePeriod(dlg, ChildOf<QPushButton>(dlg, "editButton"), [&](CTimePeriodDlg& period) {
        shownStart = ChildOf<QTimeEdit>(period, "startTimeEdit").time().toString(Qt::ISODate);
        ChildOf<QTimeEdit>(period, "endTimeEdit").setTime(QTime(7, 45));
    });
    EXPECT_EQ(shownStart, "06:00:00");
    EXPECT_EQ(Rows(dlg), (QStringList{"2008-04-07 08:00:00 - 2008-04-07 08:30:00 (00:30:00)",
                                      "2008-04-07 06:00:00 - 2008-04-07 07:45:00 (01:45:00)"}));
    // Overlapping both, the new interval merges all three into one.
    RunTimePeriod(dlg, ChildOf<QPushButton>(dlg, "addButton"),
                  [](CTimePeriodDlg& period) { SetPeriod(period, QTime(6, 30), QTime(8, 15, 30)); });
    EXPECT_EQ(Rows(dlg), (QStringList{"2008-04-07 06:00:00 - 2008-04-07 08:30:00 (02:30:00)"}));
    ChildOf<QComboBox>(dlg, "periodCombo").setCurrentIndex(4);
    EXPECT_EQ(Rows(dlg).size(), 2);
    MarkRow(dlg, 1);
    ChildOf<QPushButton>(dlg, "deleteButton").click();
    EXPECT_EQ(LoadTask(id).intervals.Count(), 3) << "nothing is written before Close";
    ChildOf<QPushButton>(dlg, "closeButton").click();
    EXPECT_EQ(m_questions,
              (std::vector<QString>(3, "Delete interval: Are you sure that you want to delete selected interval?")));
    EXPECT_EQ(SpansOf(id), "06:00-08:30");
}

// Time added by hand that another task already has would count for both: asked first, with No the answer that
// keeps the period open for correcting.
TEST_F(TaskDialogsTest, EditSpanOverlappingAnotherTasks_AskedBeforeItIsKept)
{
    AddSpan(MakeTask("Writing", false), Utc(2008, 4, 7, 1, 2, 17), Utc(2008, 4, 7, 1, 2, 19));
    const std::int32_t id = MakeTask("Reading", false);
    AddSpan(id, Utc(2008, 4, 7, 0, 30), Utc(2008, 4, 7, 0, 40));
    Start();
    CEditTaskDlg dlg(*m_app, id);
    dlg.show();
    // Touching another task's span, or overlapping the task's own (which merge), asks nothing.
    for (const QTime& start : {QTime(1, 2, 19), QTime(0, 35)}) {
        RunTimePeriod(dlg, ChildOf<QPushButton>(dlg, "addButton"),
                      [&start](CTimePeriodDlg& period) { SetPeriod(period, start, start.addSecs(60)); });
    }
    EXPECT_TRUE(m_questions.empty());
    for (const bool keep : {false, true}) {
        m_answerYes = keep;
        EXPECT_EQ(RunTimePeriod(dlg, ChildOf<QPushButton>(dlg, "addButton"),
                                [](CTimePeriodDlg& period) { SetPeriod(period, QTime(1, 0), QTime(1, 2, 18)); }),
                  !keep);
    }
    EXPECT_EQ(m_questions, std::vector<QString>(2, "Overlapping time: This span overlaps \"Writing\" "
                                                   "01:02:17\u201301:02:19. Keep both?"));
    EXPECT_EQ(Rows(dlg).size(), 3);
}

// ---- Time Period dialog ----

TEST_F(TaskDialogsTest, TimePeriod_EndBeforeStartOrATimeTheZoneSkips_RefusedAndDialogStaysOpen)
{
    Start();
    CTimePeriodDlg dlg(*m_app);
    // All four pickers start at now, seconds shown.
    EXPECT_EQ(ChildOf<QTimeEdit>(dlg, "endTimeEdit").time(), QTime(9, 0));
    EXPECT_EQ(ChildOf<QDateEdit>(dlg, "startDateEdit").date(), QDate(2008, 4, 7));
    dlg.show();
    const struct
    {
        const char* zone;
        QDate day;
        QTime start;
        QTime end;
        const char* says;
    } refused[] = {
        {"UTC", QDate(2008, 4, 7), QTime(11, 0), QTime(10, 59, 59), "The end of the period lies before its start."},
        {"Europe/Berlin", QDate(2026, 3, 29), QTime(2, 30), QTime(4, 0), "not a valid local date and time"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.zone);
        m_messages.clear();
        testsupport::ScopedTimeZone zone(c.zone);
        ChildOf<QDateEdit>(dlg, "startDateEdit").setDate(c.day);
        ChildOf<QTimeEdit>(dlg, "startTimeEdit").setTime(c.start);
        ChildOf<QDateEdit>(dlg, "endDateEdit").setDate(c.day);
        ChildOf<QTimeEdit>(dlg, "endTimeEdit").setTime(c.end);
        ChildOf<QPushButton>(dlg, "okButton").click();
        ASSERT_EQ(m_messages.size(), 1U);
        EXPECT_TRUE(m_messages.front().startsWith("Time Period: ")) << m_messages.front().toStdString();
        EXPECT_TRUE(m_messages.front().contains(c.says)) << m_messages.front().toStdString();
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_NE(dlg.result(), QDialog::Accepted);
    }

    SetPeriod(dlg, QTime(11, 0), QTime(11, 0, 1));
    ChildOf<QPushButton>(dlg, "okButton").click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    model::Interval interval;
    ASSERT_TRUE(dlg.GetInterval(interval));
    EXPECT_TRUE(interval.closed);
    EXPECT_EQ(interval.start, Utc(2008, 4, 7, 11, 0));
    EXPECT_EQ(interval.stop, Utc(2008, 4, 7, 11, 0, 1));

    // An interval shown for editing: its ends, with the milliseconds dropped.
    model::TimeStamp start = Utc(2008, 4, 6, 23, 59, 58);
    start.ms += 750;
    dlg.SetInterval(model::Interval(start, Utc(2008, 4, 7, 1, 2, 3)));
    EXPECT_EQ(ChildOf<QDateEdit>(dlg, "startDateEdit").date(), QDate(2008, 4, 6));
    EXPECT_EQ(ChildOf<QTimeEdit>(dlg, "endTimeEdit").time(), QTime(1, 2, 3));
    ASSERT_TRUE(dlg.GetInterval(interval));
    EXPECT_EQ(interval.start, Utc(2008, 4, 6, 23, 59, 58));
    EXPECT_EQ(interval.stop, Utc(2008, 4, 7, 1, 2, 3));
}

// kelmora-cli (or the tray) changed the task after the dialog read it: "Close" must not undo that.
TEST_F(TaskDialogsTest, EditTaskChangedOrDeletedOutsideMeanwhile_NeitherChangeIsUndone)
{
    const std::int32_t id = MakeTask("Draft", false);
    Start();
    CEditTaskDlg dlg(*m_app, id);
    dlg.show();
    AddSpan(id, Utc(2008, 4, 7, 6, 0), Utc(2008, 4, 7, 7, 0)); // the outside change
    ChildOf<QLineEdit>(dlg, "nameEdit").setText("Final");
    ChildOf<QPushButton>(dlg, "closeButton").click();
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(m_messages.size(), 1U);
    EXPECT_TRUE(m_messages.front().contains("changed outside this dialog"));
    EXPECT_EQ(LoadTask(id).name, "Draft");
    EXPECT_EQ(Rows(dlg).size(), 1) << "the dialog shows the task as it is now";
    ChildOf<QLineEdit>(dlg, "nameEdit").setText("Final");
    ChildOf<QPushButton>(dlg, "closeButton").click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(LoadTask(id).name, "Final");
    EXPECT_EQ(SpansOf(id), "06:00-07:00");

    // Deleted meanwhile: Close does not bring it back, and no dialog opens for it any more.
    CEditTaskDlg again(*m_app, id);
    again.show();
    ASSERT_TRUE(m_app->Store().DeleteTask(id));
    ChildOf<QPushButton>(again, "closeButton").click();
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_FALSE(std::filesystem::exists(Data() / (std::to_string(id) + ".tsk")));
    ASSERT_EQ(m_messages.size(), 2U);
    EXPECT_TRUE(m_messages.back().startsWith("Edit task data: The task \"Final\" can no longer be read."));
    CEditTaskDlg missing(*m_app, id);
    EXPECT_FALSE(missing.IsTaskLoaded());
    EXPECT_EQ(missing.exec(), QDialog::Rejected);
    EXPECT_EQ(m_messages.size(), 3U);
}

} // namespace
} // namespace kelmora::ui
