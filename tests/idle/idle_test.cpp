#include "app/appfixture.h"
#include "idle/idlemonitor.h"
#include "idle/idleperioddlg.h"
#include "idle/idlesubsystem.h"
#include "idle/reminder.h"
#include "model/task.h"
#include "model/taskops.h"
#include "model/taskstore.h"
#include "platform/fakesettingsstore.h"
#include "platform/idletimesource_fake.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kelmora::idle {
namespace {

using testsupport::ScopedFakeClock;
using Posts = std::vector<std::pair<std::int64_t, std::int64_t>>;

// ---- the idle monitor: each step sets the idle time (or suspends, or changes a setting), then one pass ----

struct Step
{
    std::int64_t idleSeconds;
    std::int64_t suspendSeconds = 0;
    std::map<std::string, std::int32_t> settings = {};
};

struct MonitorCase
{
    const char* name;
    std::map<std::string, std::int32_t> settings;
    std::vector<Step> steps;
    Posts expected;
};

class IdleMonitorTest : public ::testing::TestWithParam<MonitorCase>
{};

TEST_P(IdleMonitorTest, PostsBeginAndEndOfEachInactivityPeriod)
{
    platform::FakeIdleTimeSource source;
    platform::FakeUptimeClocks clocks;
    platform::FakeSettingsStore settings;
    for (const auto& [name, value] : GetParam().settings) {
        settings.SetSetting(name, value);
    }
    Posts posts;
    CIdleMonitor monitor(source, clocks, settings, [&](std::int64_t w, std::int64_t l) { posts.emplace_back(w, l); });
    for (const Step& step : GetParam().steps) {
        for (const auto& [name, value] : step.settings) {
            settings.SetSetting(name, value);
        }
        clocks.Suspend(step.suspendSeconds * 1000);
        clocks.Advance(1000);
        source.SetIdleMs(step.idleSeconds * 1000);
        monitor.Pass();
    }
    EXPECT_EQ(posts, GetParam().expected);
}

const std::map<std::string, std::int32_t> kOn300{{"UseIdleDetection", 1}, {"Timeout", 300}};

INSTANTIATE_TEST_SUITE_P(
    Cases, IdleMonitorTest,
    ::testing::Values(
        // 300 s idle is not yet over the timeout: input then ends nothing.
        MonitorCase{"Timeout300_BeginsOnlyAfterMoreThan300s", kOn300, {{299}, {300}, {0}, {301}, {302}}, {{0, 0}}},
        MonitorCase{"PauseOf754s_EndsWith754", kOn300, {{300}, {301}, {754}, {0}}, {{0, 0}, {1, 754}}},
        MonitorCase{"InputThatComesLateStillEnds", kOn300, {{400}, {3}}, {{0, 0}, {1, 400}}},
        MonitorCase{"MissingTimeout_TwoMinutes", {{"UseIdleDetection", 1}}, {{100}, {0}, {120}, {121}}, {{0, 0}}},
        MonitorCase{"DetectionOff_Nothing", {{"Timeout", 300}}, {{400}, {0}}, {}},
        MonitorCase{"DetectionSwitchedOnLive_Counts",
                    {{"Timeout", 300}},
                    {{400}, {401, 0, {{"UseIdleDetection", 1}}}, {0}},
                    {{0, 0}, {1, 401}}},
        MonitorCase{"SwitchedOffMidPeriod_NoEnd", kOn300, {{400}, {401, 0, {{"UseIdleDetection", 0}}}, {0}}, {{0, 0}}},
        MonitorCase{"TimeoutLoweredLive",
                    {{"UseIdleDetection", 1}, {"Timeout", 600}},
                    {{400}, {401, 0, {{"Timeout", 300}}}},
                    {{0, 0}}},
        MonitorCase{"SuspendLongerThanTimeout_IsIdle", kOn300, {{10}, {1, 7200}}, {{0, 0}, {1, 7210}}},
        MonitorCase{"SuspendWithoutInputYet_BeginsThenEnds", kOn300, {{10}, {11, 7200}, {0}}, {{0, 0}, {1, 7211}}},
        MonitorCase{"SourceCountingSleep_NotTwice", kOn300, {{10}, {7211, 7200}, {0}}, {{0, 0}, {1, 7211}}},
        MonitorCase{"ShortSuspend_BelowTimeout", kOn300, {{10}, {1, 60}}, {}}),
    [](const auto& test) { return std::string(test.param.name); });

// ---- fixture with a data folder, fake settings and a recording hub ----

class IdleTest : public app::AppTest
{
protected:
    IdleTest()
    {
        m_zone = std::make_unique<testsupport::ScopedTimeZone>("UTC");
        m_clock->SetUtc(2008, 4, 7, 11, 0);
        std::filesystem::create_directories(Data());
        m_store.Load();
        m_context = std::make_unique<IdleContext>(IdleContext{
            m_store,
            m_settings,
            [this] { return m_current.load(); },
            [this](std::int32_t id) { m_current.store(id); },
            [this](app::Message message, std::int64_t w, std::int64_t) { m_posts.emplace_back(message, w); },
            [this](QWidget*, const QString& text, const QString& caption) {
                m_messages.push_back(caption + ": " + text);
            },
        });
    }

    // A task with the given closed spans (UTC "HH:MM" of the test day) and, optionally, a running span.
    std::int32_t MakeTask(const std::string& name, const std::vector<std::pair<int, int>>& spans = {},
                          int runningSince = -1)
    {
        const std::int32_t id = m_store.CreateTask(name);
        model::Task task = LoadTask(id);
        for (const auto& [from, to] : spans) {
            task.intervals.Append(model::Interval(At(from), At(to)));
        }
        if (runningSince >= 0) {
            task.intervals.Append(model::Interval(At(runningSince), At(runningSince), false));
        }
        task.Save(Data());
        return id;
    }

    // Minutes after midnight of the test day as a stamp.
    static model::TimeStamp At(int minutes) { return testsupport::Utc(2008, 4, 7, minutes / 60, minutes % 60); }

    model::TaskStore m_store{Data()};
    platform::FakeSettingsStore m_settings;
    std::atomic<std::int32_t> m_current{-1};
    std::vector<std::pair<app::Message, std::int64_t>> m_posts;
    std::unique_ptr<IdleContext> m_context;
};

// ---- the idle-period dialog ----

TEST_F(IdleTest, IdleDialog_ShowsLengthAndOnlyTasksThatCanTakeTime_PassesToTheChosenItem)
{
    m_current = MakeTask("Writing", {}, 9 * 60);
    MakeTask("reading");
    const std::int32_t first = MakeTask("Answering");
    const std::int32_t second = MakeTask("Answering");
    CIdlePeriodDlg dialog(*m_context, 754, At(11 * 60));
    ASSERT_TRUE(dialog.Prepare());
    EXPECT_EQ(dialog.findChild<QLabel*>("messageLabel")->text(),
              "There was an inactivity period during last 12 min 34 sec.\nWhat do you want to do with this time?");
    auto* combo = dialog.findChild<QComboBox*>("taskCombo");
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), "Answering");
    EXPECT_EQ(combo->itemText(2), "reading");
    EXPECT_FALSE(combo->isEditable()) << "a typed name is no choice";
    EXPECT_FALSE(combo->isEnabled());
    dialog.findChild<QRadioButton*>("passRadio")->click();
    EXPECT_TRUE(combo->isEnabled());
    // Of two tasks with one name, the chosen one gets the time, not the first of that name.
    combo->setCurrentIndex(1);
    dialog.findChild<QPushButton*>("okButton")->click();
    EXPECT_EQ(SpansOf(first), "");
    EXPECT_EQ(SpansOf(second), "10:47:26-11:00");
}

struct ChoiceCase
{
    const char* name;
    const char* radio;
    bool keepRunning;
    int spanStart;       // minutes; the current task's running span, after 08:00-08:30
    int okAt;            // minutes; the message arrived at 11:00
    const char* current; // its spans after OK
    const char* other;   // the other task's, which had 10:40-10:50 and 11:30-11:40
    int againAt = 0;     // minutes; a second absence of 10 minutes ended then, with the question still open
};

class IdleChoiceTest : public IdleTest, public ::testing::WithParamInterface<ChoiceCase>
{};

TEST_P(IdleChoiceTest, AppliesTheChoiceToTheFiles)
{
    const ChoiceCase& c = GetParam();
    const std::int32_t writing = MakeTask("Writing", {{8 * 60, 8 * 60 + 30}}, c.spanStart);
    const std::int32_t other = MakeTask("Other", {{10 * 60 + 40, 10 * 60 + 50}, {11 * 60 + 30, 11 * 60 + 40}});
    m_current = writing;
    CIdleSubsystem subsystem(*m_context, std::make_unique<platform::FakeIdleTimeSource>(), nullptr);
    subsystem.OnIdleMessage(1, 30 * 60);
    if (c.againAt > 0) {
        m_clock->Set(At(c.againAt).ToUnixMs());
        subsystem.OnIdleMessage(1, 10 * 60);
    }
    CIdlePeriodDlg* dialog = subsystem.IdleDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QRadioButton*>(c.radio)->click();
    dialog->findChild<QCheckBox*>("continueCheckBox")->setChecked(c.keepRunning);
    m_clock->Set(At(c.okAt).ToUnixMs());
    dialog->findChild<QPushButton*>("okButton")->click();

    EXPECT_EQ(SpansOf(writing), c.current);
    EXPECT_EQ(SpansOf(other), c.other);
    EXPECT_EQ(m_current.load(), c.keepRunning ? writing : -1);
    EXPECT_EQ(m_settings.storedValue("IdleContinue"), c.keepRunning ? 1 : 0);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(subsystem.IdleDialog(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

const char* const kOtherBefore = "10:40-10:50 11:30-11:40";

INSTANTIATE_TEST_SUITE_P(
    Cases, IdleChoiceTest,
    ::testing::Values(
        ChoiceCase{"Count_KeepsEverything", "countRadio", true, 540, 660, "08:00-08:30 09:00-open", kOtherBefore},
        ChoiceCase{"DoNotCount_ContinueRunsOnFromEleven", "doNotCountRadio", true, 540, 665,
                   "08:00-08:30 09:00-10:30 11:00-open", kOtherBefore},
        ChoiceCase{"Pass_GivesHalfTenToElevenMerged", "passRadio", false, 540, 660, "08:00-08:30 09:00-10:30",
                   "10:30-11:00 11:30-11:40"},
        // The idle time counts back from 11:00, when the user came back, not from OK at 11:05.
        ChoiceCase{"LateOk_KeepsTheMinutesSpentAnswering", "doNotCountRadio", false, 540, 665,
                   "08:00-08:30 09:00-10:30 11:00-11:05", kOtherBefore},
        // Started from the command line at 10:45, in the middle of the idle time: nothing before 10:45 moves.
        ChoiceCase{"SpanStartedDuringIdle_Clamped", "passRadio", true, 645, 660, "08:00-08:30 11:00-open",
                   "10:40-11:00 11:30-11:40"},
        // Away again from 11:10 to 11:20: that time goes with the first, the ten minutes between stay.
        ChoiceCase{"SecondAbsence_DoNotCount_LeavesOutBoth", "doNotCountRadio", true, 540, 680,
                   "08:00-08:30 09:00-10:30 11:00-11:10 11:20-open", kOtherBefore, 680},
        ChoiceCase{"SecondAbsence_Pass_GivesBoth", "passRadio", false, 540, 685,
                   "08:00-08:30 09:00-10:30 11:00-11:10 11:20-11:25", "10:30-11:00 11:10-11:20 11:30-11:40", 680}),
    [](const auto& test) { return std::string(test.param.name); });

// OK changes nothing and says why when there is no task to pass the time to (the dialog then stays open), or
// when the current task was stopped, restarted, switched or deleted behind the dialog.
TEST_F(IdleTest, IdleDialog_RefusedOk_ChangesNothing)
{
    for (const char* change : {"no other task", "stopped", "restarted", "switched", "deleted"}) {
        SCOPED_TRACE(change);
        const std::string what = change;
        m_clock->Set(At(11 * 60).ToUnixMs());
        const std::int32_t writing = MakeTask("Writing", {}, 9 * 60);
        const std::int32_t other = MakeTask("Other");
        m_current = writing;
        m_messages.clear();
        const bool pass = what == "no other task";
        if (pass) {
            m_store.DeleteTask(other); // before the dialog lists the tasks
        }
        CIdlePeriodDlg dialog(*m_context, 30 * 60, At(11 * 60));
        ASSERT_TRUE(dialog.Prepare());
        dialog.show();
        dialog.findChild<QRadioButton*>(pass ? "passRadio" : "doNotCountRadio")->click();
        if (what == "stopped" || what == "restarted") {
            model::StopTask(m_store.DataFolder(), writing);
        }
        if (what == "restarted") {
            m_clock->Advance(60'000);
            model::StartTask(m_store.DataFolder(), writing);
        } else if (what == "switched") {
            m_current = other;
        } else if (what == "deleted") {
            m_store.DeleteTask(writing);
        }
        const std::string before = what == "deleted" ? "" : SpansOf(writing);
        dialog.findChild<QPushButton*>("okButton")->click();
        EXPECT_EQ(what == "deleted" ? "" : SpansOf(writing), before);
        ASSERT_EQ(m_messages.size(), 1u);
        if (pass) {
            EXPECT_EQ(m_messages[0], "Can't pass deleted time: Please choose task to pass the delete time to");
            EXPECT_TRUE(dialog.isVisible());
        } else {
            EXPECT_TRUE(m_messages[0].contains("Nothing was changed")) << m_messages[0].toStdString();
        }
        EXPECT_TRUE(m_posts.empty());
    }
}

// ---- the reminder loop, one pass per simulated second ----

class ReminderTest : public IdleTest
{
protected:
    // Runs `seconds` passes a second apart and returns at which of them (1-based) a reminder came; each is
    // answered with `answer`, at once or `answerAfter` seconds later.
    std::vector<int> Run(CReminderMonitor& monitor, int seconds, int answer = CReminderMonitor::kNo,
                         int answerAfter = 0)
    {
        std::vector<int> shown;
        for (int second = 1; second <= seconds; ++second) {
            m_clock->Advance(1000);
            const int before = m_asked;
            monitor.Pass();
            if (m_asked != before) {
                shown.push_back(second);
            }
            if (!shown.empty() && second == shown.back() + answerAfter) {
                monitor.SetAnswer(answer);
            }
        }
        return shown;
    }

    int m_asked = 0;
};

// The first reminder comes the timeout after the start (not after the last span, long before), then one a
// timeout after the previous one closed; only Remind 1 (or no stored value) reminds.
TEST_F(ReminderTest, FirstAfterTheTimeoutFromStart_ThenATimeoutAfterEachClosed_UnansweredHoldsTheLoop)
{
    MakeTask("Writing", {{8 * 60, 9 * 60}});
    for (const auto& [value, expected] :
         std::vector<std::pair<int, std::vector<int>>>{{-1, {301, 602}}, {1, {301, 602}}, {0, {}}, {2, {}}}) {
        SCOPED_TRACE(value);
        if (value >= 0) {
            m_settings.SetSetting("Remind", value);
        }
        CReminderMonitor monitor(*m_context, [this] { ++m_asked; });
        monitor.Begin();
        EXPECT_EQ(Run(monitor, 700), expected);
    }
    // A question nobody answers holds the loop; its end (here Yes, which shows the Task List, after 400 s)
    // frees it, and the next comes a timeout after that end.
    m_settings.SetSetting("Remind", 1);
    m_asked = 0;
    CReminderMonitor monitor(*m_context, [this] { ++m_asked; });
    monitor.Begin();
    EXPECT_EQ(Run(monitor, 1100, CReminderMonitor::kYes, 400), (std::vector<int>{301, 1002}));
    EXPECT_EQ(m_posts, (std::vector<std::pair<app::Message, std::int64_t>>{{app::kMsgShowTaskList, 0}}));
    // A one-minute timeout and reminders that close themselves after their minute: one every two minutes.
    m_settings.SetSetting("RemindTimeout", 60);
    CReminderMonitor unanswered(*m_context, [this] { ++m_asked; });
    unanswered.Begin();
    EXPECT_EQ(Run(unanswered, 300, CReminderMonitor::kNo, 60), (std::vector<int>{61, 182}));
}

// After a stop nothing comes until the timeout has passed since it; Cancel is then silent until a task has run
// again.
TEST_F(ReminderTest, AfterAStopOnlyOnceTheTimeoutPassed_CancelSilentUntilATaskRunsAgain)
{
    m_settings.SetSetting("RemindTimeout", 60);
    const std::int32_t writing = MakeTask("Writing", {}, 10 * 60);
    CReminderMonitor monitor(*m_context, [this] { ++m_asked; });
    monitor.Begin();
    m_current = writing;
    EXPECT_TRUE(Run(monitor, 100).empty());
    // Stopped from outside the loop, as the tray or kelmora-cli would: the cached end must follow the file.
    model::StopTask(m_store.DataFolder(), writing);
    m_current = -1;
    EXPECT_EQ(Run(monitor, 300, CReminderMonitor::kCancel), std::vector<int>{61});
    model::StartTask(m_store.DataFolder(), writing);
    m_current = writing;
    Run(monitor, 10);
    model::StopTask(m_store.DataFolder(), writing);
    m_current = -1;
    EXPECT_EQ(Run(monitor, 100), std::vector<int>{61});
}

// ---- the reminder dialog and the subsystem ----

TEST_F(IdleTest, ReminderDialog_ButtonsEscapeAndAutoClose)
{
    const std::vector<std::pair<const char*, int>> cases{
        {"yesButton", 6}, {"noButton", 7}, {"cancelButton", 2}, {"escape", 2}, {"autoClose", 7}};
    for (const auto& [how, expected] : cases) {
        SCOPED_TRACE(how);
        const std::string way = how;
        CReminderDlg dialog(way == "autoClose" ? std::chrono::milliseconds(20) : std::chrono::minutes(1));
        int result = -1;
        QObject::connect(&dialog, &QDialog::finished, [&](int r) { result = r; });
        dialog.show();
        if (way == "escape") {
            QTest::keyClick(&dialog, Qt::Key_Escape);
        } else if (way != "autoClose") {
            dialog.findChild<QPushButton*>(how)->click();
        }
        QTRY_COMPARE_WITH_TIMEOUT(result, expected, 5000);
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST_F(IdleTest, Subsystem_OneDialogAtATimeAndClosedAtShutdown)
{
    const std::int32_t writing = MakeTask("Writing", {}, 9 * 60);
    CIdleSubsystem subsystem(*m_context, std::make_unique<platform::FakeIdleTimeSource>(), nullptr);

    subsystem.OnIdleMessage(1, 1800);
    EXPECT_EQ(subsystem.IdleDialog(), nullptr) << "no task is current";
    m_current = writing;
    subsystem.OnIdleMessage(0, 0);
    EXPECT_EQ(subsystem.IdleDialog(), nullptr) << "the begin of a period asks nothing";
    subsystem.OnIdleMessage(1, 1800);
    ASSERT_NE(subsystem.IdleDialog(), nullptr);
    CIdlePeriodDlg* first = subsystem.IdleDialog();
    subsystem.OnIdleMessage(1, 900);
    EXPECT_EQ(subsystem.IdleDialog(), first);
    EXPECT_EQ(first->findChild<QLabel*>("messageLabel")->text(),
              "There were 2 inactivity periods of 45 min 0 sec in all.\nWhat do you want to do with this time?");

    // A question while another modal window is open waits for it, then covers the wait too.
    first->reject();
    QDialog settings;
    settings.setModal(true);
    settings.show();
    subsystem.OnIdleMessage(1, 600);
    subsystem.OnIdleMessage(1, 60);
    m_clock->Advance(120'000);
    subsystem.ShowWaitingQuestion();
    EXPECT_EQ(subsystem.IdleDialog(), nullptr) << "not on top of the open window";
    settings.close();
    subsystem.ShowWaitingQuestion();
    ASSERT_NE(subsystem.IdleDialog(), nullptr);
    EXPECT_FALSE(subsystem.QuestionWaiting());
    EXPECT_TRUE(subsystem.IdleDialog()->findChild<QLabel*>("messageLabel")->text().contains("12 min 0 sec"))
        << subsystem.IdleDialog()->findChild<QLabel*>("messageLabel")->text().toStdString();

    // A reminder due now (no span runs) is not stacked on the question; it counts as No, never as Cancel, so the
    // next comes a timeout later. A question, which means a task runs, closes a reminder on screen.
    model::StopTask(Data(), writing);
    m_current = -1;
    m_settings.SetSetting("RemindTimeout", 1);
    subsystem.ReminderMonitor().Begin();
    for (const bool questionShown : {true, false}) {
        m_clock->Advance(5000);
        subsystem.ReminderMonitor().Pass();
        QCoreApplication::processEvents();
        EXPECT_EQ(subsystem.ReminderDialog() != nullptr, !questionShown);
        subsystem.ReminderMonitor().Pass();
        EXPECT_EQ(subsystem.ReminderMonitor().AwaitingAnswer(), !questionShown) << "answered No on the spot";
        EXPECT_FALSE(subsystem.ReminderMonitor().Suppressed());
        questionShown ? subsystem.IdleDialog()->reject() : void();
    }
    model::StartTask(Data(), writing);
    m_current = writing;
    subsystem.OnIdleMessage(1, 60);
    EXPECT_EQ(subsystem.ReminderDialog(), nullptr);

    // The program's exit closes the question as Escape would: the time stays with the task.
    const std::string spans = SpansOf(writing);
    subsystem.Shutdown();
    EXPECT_EQ(subsystem.IdleDialog(), nullptr);
    EXPECT_EQ(SpansOf(writing), spans);
    EXPECT_TRUE(m_posts.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(IdleTest, IdleThreads_StartAndShutdown_EndBothLoops)
{
    CIdleSubsystem subsystem(*m_context, std::make_unique<platform::FakeIdleTimeSource>(),
                             std::make_unique<platform::FakeUptimeClocks>());
    subsystem.Start();
    EXPECT_TRUE(subsystem.IdleMonitor().isRunning());
    EXPECT_TRUE(subsystem.ReminderMonitor().isRunning());
    subsystem.Shutdown();
    EXPECT_FALSE(subsystem.IdleMonitor().isRunning());
    EXPECT_FALSE(subsystem.ReminderMonitor().isRunning());
}

} // namespace
} // namespace kelmora::idle
