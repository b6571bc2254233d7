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

#include <string>
#include <vector>

namespace kelmora::app {
namespace {

class RollbackDlgTest : public AppTest
{
protected:
    void Start()
    {
        AppTest::Start();
        m_dlg = std::make_unique<CRollbackDlg>(*m_app);
    }

    void TearDown() override
    {
        m_dlg.reset();
        AppTest::TearDown();
    }

    // A missing child ends the test program, which fails the test as well.
    template <typename Widget> Widget& Child(const char* name)
    {
        return *m_dlg->findChild<Widget*>(QString::fromLatin1(name));
    }

    void SetRange(int startHour, int startMinute, int endHour, int endMinute)
    {
        Child<QTimeEdit>("startTimeEdit").setTime(QTime(startHour, startMinute));
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

    std::filesystem::path FileOf(std::int32_t id) const { return Data() / (std::to_string(id) + ".tsk"); }
    std::string ContentOf(std::int32_t id) const
    {
        return std::filesystem::exists(FileOf(id)) ? testsupport::ReadFile(FileOf(id)) : "gone";
    }

    std::int32_t TrayIconId()
    {
        QCoreApplication::processEvents();
        return Hub().TrayIcon()->IconId();
    }

    std::unique_ptr<CRollbackDlg> m_dlg;
};

// A runs since 09:00 and B does not; the dialog is shown at 12:00 and a fraction of a second (the pickers show
// whole seconds, which must not leave the other task a span shorter than a second), and OK comes at 12:05.
struct ApplyCase
{
    const char* name;
    const char* zone;
    bool earlierSpan;  // A also has 07:00-08:30: not proposed, but merged with a range that reaches it
    const char* range; // "HH:MM-HH:MM" as the pickers show it; a missing part keeps its picker
    bool passTime;
    bool keepRunning;
    const char* a;
    const char* b;
};

class RollbackApplyTest : public RollbackDlgTest, public ::testing::WithParamInterface<ApplyCase>
{};

TEST_P(RollbackApplyTest, OkWritesTheRangeAndTheTrayFollows)
{
    const ApplyCase& c = GetParam();
    const std::int32_t a = MakeTask("A", !c.earlierSpan);
    const std::int32_t b = MakeTask("B", false);
    if (c.earlierSpan) {
        AddSpan(a, Utc(2008, 4, 7, 7, 0), Utc(2008, 4, 7, 8, 30));
        ASSERT_TRUE(model::StartTask(Data(), a));
    }
    Start();
    const testsupport::ScopedTimeZone zone(c.zone);
    m_clock->Set(testsupport::UtcMs(2008, 4, 7, 12, 0) + 437);
    m_dlg->ShowDialog();
    // Central European Summer Time is two hours ahead of UTC on this day.
    EXPECT_EQ(Proposed(), std::string(c.zone) == "UTC" ? "2008-04-07 09:00:00 - 2008-04-07 12:00:00"
                                                       : "2008-04-07 11:00:00 - 2008-04-07 14:00:00");
    const QStringList range = QString::fromLatin1(c.range).split('-');
    for (int i = 0; i < range.size(); ++i) {
        if (!range[i].isEmpty()) {
            Child<QTimeEdit>(i == 0 ? "startTimeEdit" : "endTimeEdit").setTime(QTime::fromString(range[i], "hh:mm"));
        }
    }
    Child<QCheckBox>("passTimeCheckBox").setChecked(c.passTime);
    Child<QCheckBox>("continueCheckBox").setChecked(c.keepRunning);
    EXPECT_TRUE(IsRunning(a)) << "the file keeps the open span while the dialog is open";
    // The opposite of what OK must show, so only the dialog's own message can set the icon right.
    Hub().TrayIcon()->SetIcon(c.keepRunning ? kIdleIconId : kRunningIconId);
    m_clock->SetUtc(2008, 4, 7, 12, 5);
    ASSERT_TRUE(Child<QPushButton>("okButton").isDefault());
    QTest::keyClick(m_dlg.get(), Qt::Key_Return);

    EXPECT_TRUE(m_messages.empty());
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(SpansOf(a), c.a);
    EXPECT_EQ(SpansOf(b), c.b);
    EXPECT_EQ(m_app->CurrentTaskId(), c.keepRunning ? a : -1);
    EXPECT_EQ(TrayIconId(), c.keepRunning ? kRunningIconId : kIdleIconId);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RollbackApplyTest,
    ::testing::Values(
        ApplyCase{"ProposedRange_EndsWhenShown", "UTC", false, "", false, false, "09:00-12:00", ""},
        ApplyCase{"PassTime_BothCutOffEnds", "UTC", false, "09:30-11:00", true, false, "09:30-11:00",
                  "09:00-09:30 11:00-12:00"},
        ApplyCase{"PassTimeUnchangedEnd_NoSplinter", "UTC", false, "09:30-", true, false, "09:30-12:00", "09:00-09:30"},
        ApplyCase{"Continue_NewSpanFromOk", "UTC", false, "09:30-11:00", false, true, "09:30-11:00 12:05-open", ""},
        ApplyCase{"OverlapsEarlierSpan_Merges", "UTC", true, "08:00-11:00", false, false, "07:00-11:00", ""},
        ApplyCase{"PickersInLocalTime", "Europe/Berlin", false, "11:30-13:00", false, false, "09:30-11:00", ""}),
    [](const auto& test) { return std::string(test.param.name); });

// OK is refused with a message, the dialog stays open and no file changes; a retry with a good range works.
struct RefusalCase
{
    const char* name;
    bool withB;
    int endHour; // of the range 09:30 to endHour:00
    bool passTime;
    const char* meanwhile; // "A deleted", "B deleted", "A changed" or nothing
    const char* message;
    const char* retried; // A after a retry with 09:30-11:00; empty: no retry
};

class RollbackRefusalTest : public RollbackDlgTest, public ::testing::WithParamInterface<RefusalCase>
{};

TEST_P(RollbackRefusalTest, OkRefusedAndNothingWritten)
{
    const RefusalCase& c = GetParam();
    const std::int32_t a = MakeTask("A", true);
    const std::int32_t b = c.withB ? MakeTask("B", false) : -1;
    Start();
    m_clock->SetUtc(2008, 4, 7, 12, 0);
    m_dlg->ShowDialog();
    const std::string meanwhile = c.meanwhile;
    if (meanwhile == "A deleted") {
        ASSERT_TRUE(m_app->Store().DeleteTask(a));
    } else if (meanwhile == "B deleted") {
        ASSERT_TRUE(m_app->Store().DeleteTask(b));
    } else if (meanwhile == "A changed") { // as the tray or kelmora-cli would, after the dialog read the task
        AddSpan(a, Utc(2008, 4, 7, 6, 0), Utc(2008, 4, 7, 7, 0));
    }
    const std::string beforeA = ContentOf(a);
    const std::string beforeB = ContentOf(b);
    SetRange(9, 30, c.endHour, 0);
    Child<QCheckBox>("passTimeCheckBox").setChecked(c.passTime);
    PressOk();

    EXPECT_EQ(m_messages, std::vector<QString>{QString::fromUtf8(c.message)});
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(ContentOf(a), beforeA);
    EXPECT_EQ(ContentOf(b), beforeB);
    EXPECT_EQ(m_app->CurrentTaskId(), a);
    EXPECT_EQ(TrayIconId(), kRunningIconId);
    if (*c.retried != '\0') {
        SetRange(9, 30, 11, 0);
        PressOk();
        EXPECT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(SpansOf(a), c.retried);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RollbackRefusalTest,
    ::testing::Values(
        RefusalCase{"PassTimeWithOnlyOneTask", false, 11, true, "",
                    "Can't pass deleted time: Please choose task to pass the delete time to", ""},
        RefusalCase{"EndBeforeStart", true, 9, true, "",
                    "Rollback current task: The end of the new range lies before its start. Please correct the "
                    "range.",
                    "09:30-11:00"},
        RefusalCase{"TaskDeletedMeanwhile", true, 11, true, "A deleted",
                    "Rollback current task: The task \"A\" can no longer be read. It may have been deleted. Nothing "
                    "was changed.",
                    ""},
        RefusalCase{"ReceivingTaskDeletedMeanwhile", true, 11, true, "B deleted",
                    "Can't pass deleted time: The task \"B\" can no longer be read. Please choose another task.", ""},
        // The dialog takes the task as changed, so the retry keeps the outside change.
        RefusalCase{"TaskChangedOutsideMeanwhile", true, 11, false, "A changed",
                    "Rollback current task: The task \"A\" was changed outside this dialog after it was opened. "
                    "Nothing was changed; please check the range again.",
                    "06:00-07:00 09:30-11:00"}),
    [](const auto& test) { return std::string(test.param.name); });

// Without a running current task the dialog explains and stays hidden; the tray's command says the same.
TEST_F(RollbackDlgTest, NothingToRollBack_ExplainsAndStaysHidden)
{
    const std::vector<std::pair<const char*, QString>> cases{
        {"no current task", "Can't rallback current task: There is no started task now"},
        {"stopped outside", "Can't rallback current task: There is no started task now"},
        {"file gone", "Rollback current task: The current task could not be read. It may have been deleted."},
    };
    for (const auto& [what, message] : cases) {
        SCOPED_TRACE(what);
        TearDown();
        std::filesystem::remove_all(Data());
        m_messages.clear();
        const std::int32_t a = MakeTask("A", std::string(what) != "no current task");
        Start();
        if (std::string(what) == "stopped outside") {
            ASSERT_TRUE(model::StopTask(Data(), a));
        } else if (std::string(what) == "file gone") {
            std::filesystem::remove(FileOf(a));
        }
        const std::string before = ContentOf(a);
        m_dlg->ShowDialog();
        EXPECT_FALSE(m_dlg->isVisible());
        EXPECT_EQ(m_messages, std::vector<QString>{message});
        EXPECT_EQ(ContentOf(a), before);
        if (m_app->CurrentTaskId() == -1) {
            m_messages.clear();
            Hub().OnCommand(kCmdRollback);
            EXPECT_EQ(m_messages, std::vector<QString>{message});
        }
    }
}

// The other tasks sorted by name, the running one named in the caption; the check boxes show the state of the
// last OK, and Cancel and Escape change nothing.
TEST_F(RollbackDlgTest, TaskComboSortedCaptionNamesTheTask_CheckBoxesKeptFromTheLastOk_CancelChangesNothing)
{
    const std::int32_t delta = MakeTask("delta", false);
    const std::int32_t alpha = MakeTask("Alpha", true);
    const std::int32_t charlie = MakeTask("charlie", false);
    const std::int32_t bravo = MakeTask("Bravo", false);
    Start();
    m_clock->SetUtc(2008, 4, 7, 9, 45);
    auto& passTime = Child<QCheckBox>("passTimeCheckBox");
    auto& continueBox = Child<QCheckBox>("continueCheckBox");
    auto& label = Child<QLabel>("taskLabel");
    auto& combo = Child<QComboBox>("taskCombo");
    m_dlg->ShowDialog();
    EXPECT_EQ(m_dlg->windowTitle(), "Rollback task \"Alpha\"");
    std::vector<std::pair<QString, int>> items;
    for (int i = 0; i < combo.count(); ++i) {
        items.emplace_back(combo.itemText(i), combo.itemData(i).toInt());
    }
    EXPECT_EQ(items, (std::vector<std::pair<QString, int>>{{"Bravo", bravo}, {"charlie", charlie}, {"delta", delta}}));
    EXPECT_EQ(combo.currentIndex(), 0);
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
    ASSERT_TRUE(IsRunning(alpha));

    // Cancel (Escape and closing the window reject the same way) forgets what was changed since the last OK, and
    // writes nothing.
    const std::string before = ContentOf(alpha);
    m_dlg->ShowDialog();
    EXPECT_TRUE(passTime.isChecked());
    EXPECT_TRUE(continueBox.isChecked());
    EXPECT_TRUE(label.isEnabled());
    EXPECT_TRUE(combo.isEnabled());
    passTime.setChecked(false);
    continueBox.setChecked(false);
    EXPECT_FALSE(combo.isEnabled());
    SetRange(9, 30, 11, 0);
    Child<QPushButton>("cancelButton").click();
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(ContentOf(alpha), before);
    EXPECT_TRUE(m_messages.empty());
    m_dlg->ShowDialog();
    EXPECT_TRUE(passTime.isChecked());
    EXPECT_TRUE(continueBox.isChecked());
}

// Both the rollback and the Time Period pickers read through this: a local time the zone skips is not read.
TEST(ReadStamp, SkippedLocalTimeIsNotRead)
{
    testsupport::ScopedTimeZone zone("Europe/Berlin");
    QDateEdit date(QDate(2026, 3, 29));
    QTimeEdit time(QTime(2, 30)); // the clocks go from 02:00 to 03:00
    model::TimeStamp stamp;
    EXPECT_FALSE(ReadStamp(date, time, stamp));
    time.setTime(QTime(3, 30));
    ASSERT_TRUE(ReadStamp(date, time, stamp));
    EXPECT_EQ(stamp, Utc(2026, 3, 29, 1, 30));
}

} // namespace
} // namespace kelmora::app
