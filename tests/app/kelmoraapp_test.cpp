#include "appfixture.h"

#include "app/desktopservices.h"
#include "app/tracking.h"
#include "app/trayicon.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>

#include <gtest/gtest.h>

namespace kelmora::app {
namespace {

TEST(CommandLine, OnlyTheWholeLineSlashTSelectsTerminateMode)
{
    EXPECT_TRUE(ParseCommandLine({"/t"}).terminate);
    EXPECT_FALSE(ParseCommandLine({"/T"}).terminate);
    EXPECT_FALSE(ParseCommandLine({"/t", "x"}).terminate);
    EXPECT_FALSE(ParseCommandLine({"x", "/t"}).terminate);
    EXPECT_FALSE(ParseCommandLine({}).terminate);
    EXPECT_EQ(ParseCommandLine({"--data-dir", "/d"}).dataDir, std::filesystem::path("/d"));
    EXPECT_EQ(ParseCommandLine({"--data-dir=/e"}).dataDir, std::filesystem::path("/e"));
    EXPECT_FALSE(ParseCommandLine({"--data-dir"}).error.isEmpty());
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
    EXPECT_FALSE(ParseCommandLine({"--help"}).terminate);
}

// An instance that has stopped (SIGSTOP): the request times out, and the pid stays.
class StoppedInstance final : public SingleInstance
{
public:
    explicit StoppedInstance(std::chrono::milliseconds& now) : m_now(now) {}
    bool tryAcquire() override { return false; }
    void release() override {}
    bool isHeld() const override { return false; }
    bool send(Request, std::chrono::milliseconds timeout) override
    {
        m_now += timeout;
        return false;
    }
    std::optional<std::int64_t> runningInstancePid() const override { return 4242; }

private:
    std::chrono::milliseconds& m_now;
};

TEST(TerminateMode, StoppedInstance_KilledWithinTenSecondsInAll)
{
    std::chrono::milliseconds now{0};
    StoppedInstance stopped(now);
    std::vector<std::int64_t> killed;
    RunTerminateMode(
        stopped, [&] { now += std::chrono::seconds(1); },
        [&](std::int64_t pid) {
            killed.push_back(pid);
            return true;
        },
        [&] { return now; });
    EXPECT_EQ(killed, std::vector<std::int64_t>{4242});
    EXPECT_LE(now, std::chrono::seconds(10));
}

TEST(TerminateMode, InstanceThatClosesInTime_IsNotKilled)
{
    auto slot = std::make_shared<FakeSingleInstance::Slot>();
    FakeSingleInstance running(slot, 4242);
    ASSERT_TRUE(running.tryAcquire());
    int terminateRequests = 0;
    QObject::connect(&running, &SingleInstance::terminateRequested, [&] { ++terminateRequests; });
    FakeSingleInstance terminator(slot, 5000);
    int waits = 0;
    std::vector<std::int64_t> killed;
    const bool ended = RunTerminateMode(
        terminator,
        [&] {
            if (++waits == 3) {
                running.release();
            }
        },
        [&](std::int64_t pid) {
            killed.push_back(pid);
            return true;
        });
    EXPECT_TRUE(ended);
    EXPECT_EQ(terminateRequests, 1);
    EXPECT_EQ(waits, 3);
    EXPECT_TRUE(killed.empty());
}

TEST(TerminateMode, InstanceStillThereAfterTenWaits_IsKilledByItsPid)
{
    auto slot = std::make_shared<FakeSingleInstance::Slot>();
    FakeSingleInstance hung(slot, 4242);
    ASSERT_TRUE(hung.tryAcquire());
    FakeSingleInstance terminator(slot, 5000);
    int waits = 0;
    std::vector<std::int64_t> killed;
    RunTerminateMode(
        terminator, [&] { ++waits; },
        [&](std::int64_t pid) {
            killed.push_back(pid);
            return true;
        });
    EXPECT_EQ(waits, 10);
    EXPECT_EQ(killed, std::vector<std::int64_t>{4242});
}

TEST(TerminateMode, NoInstance_WaitsOnceAndKillsNothing)
{
    auto slot = std::make_shared<FakeSingleInstance::Slot>();
    FakeSingleInstance terminator(slot, 5000);
    int waits = 0;
    bool killedAny = false;
    EXPECT_TRUE(RunTerminateMode(
        terminator, [&] { ++waits; },
        [&](std::int64_t) {
            killedAny = true;
            return true;
        }));
    EXPECT_EQ(waits, 1);
    EXPECT_FALSE(killedAny);
}

TEST_F(AppTest, Start_LastRunningTaskInStoreOrderBecomesCurrent)
{
    MakeTask("a", false);
    MakeTask("b", true);
    MakeTask("c", true);
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    EXPECT_EQ(app->CurrentTaskId(), 2);
    EXPECT_EQ(app->Store().TaskCount(), 3);
    // The running icon is asked for before any tick.
    QCoreApplication::processEvents();
    EXPECT_EQ(app->MainWnd()->TrayIcon()->IconId(), kRunningIconId);
    EXPECT_EQ(m_taskList->shown, 0);
    m_answerYes = false;
    app->ExitInstance();
}

TEST_F(AppTest, Start_NothingRunning_IdleIconAndCategoriesFileCreated)
{
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    QCoreApplication::processEvents();
    EXPECT_EQ(app->CurrentTaskId(), -1);
    EXPECT_EQ(app->MainWnd()->TrayIcon()->IconId(), kIdleIconId);
    EXPECT_TRUE(std::filesystem::exists(m_dir.path() / "data" / "categories.xml"));
    app->ExitInstance();
    EXPECT_TRUE(m_questions.empty());
}

TEST_F(AppTest, ShowWindowSetting_ShowsTheTaskListAtStart)
{
    m_presetSettings["ShowWindow"] = 1;
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    QCoreApplication::processEvents();
    EXPECT_EQ(m_taskList->shown, 1);
    app->ExitInstance();
}

TEST_F(AppTest, SecondStart_HandsOverAndEndsWithoutWindow)
{
    auto first = MakeApp(1);
    ASSERT_TRUE(first->InitInstance());
    RecordingTaskList* firstList = m_taskList;
    auto second = MakeApp(2);
    EXPECT_FALSE(second->InitInstance());
    EXPECT_EQ(second->ExitCode(), 0);
    EXPECT_EQ(second->MainWnd(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(firstList->shown, 1);
    second->ExitInstance();
    first->ExitInstance();
}

TEST_F(AppTest, TerminateRequest_ClosesThroughTheNormalPath)
{
    auto app = MakeApp(1);
    ASSERT_TRUE(app->InitInstance());
    FakeSingleInstance other(m_slot, 2);
    other.send(SingleInstance::Request::Terminate, std::chrono::seconds(1));
    QCoreApplication::processEvents();
    EXPECT_TRUE(app->MainWnd()->IsClosed());
    app->ExitInstance();
}

TEST_F(AppTest, OldDataBesideTheExecutable_MovedBeforeTheStoreLoads)
{
    model::Task old;
    old.id = 7;
    old.name = "old";
    ASSERT_TRUE(old.Save(m_exe.path()));
    testsupport::WriteFile(m_exe.path() / "idx", std::string("\x08\0\0\0", 4));
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    EXPECT_EQ(app->Store().TaskIds(), std::vector<std::int32_t>{7});
    app->ExitInstance();
}

TEST_F(AppTest, UnusableDataFolder_ExplainedAndEnds)
{
    testsupport::WriteFile(m_dir.path() / "data", "a file where the folder should be");
    auto app = MakeApp();
    EXPECT_FALSE(app->InitInstance());
    EXPECT_EQ(app->ExitCode(), 1);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].contains("data folder"));
    EXPECT_FALSE(m_slot->holder != nullptr) << "no instance slot taken";
}

TEST_F(AppTest, ExitWithAutoStop_StopsWithoutAsking)
{
    m_presetSettings["AutoStop"] = 1;
    const std::int32_t id = MakeTask("Writing", true);
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    m_clock->SetUtc(2008, 4, 7, 10, 0);
    app->ExitInstance();
    EXPECT_TRUE(m_questions.empty());
    EXPECT_FALSE(IsRunning(id));
    model::Task task;
    task.id = id;
    task.Load(m_dir.path() / "data");
    EXPECT_EQ(task.intervals.At(0).stop, Utc(2008, 4, 7, 10, 0));
    EXPECT_EQ(m_slot->holder, nullptr) << "the instance slot is released";
}

TEST_F(AppTest, ExitWithoutAutoStop_AsksAndNoKeepsTheSpanOpen)
{
    const std::int32_t id = MakeTask("Writing", true);
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    m_answerYes = false;
    app->ExitInstance();
    ASSERT_EQ(m_questions.size(), 1u);
    EXPECT_EQ(m_questions[0], "Running task: Task 'Writing' is still running. Do you want to stop it now?");
    EXPECT_TRUE(IsRunning(id));
}

TEST_F(AppTest, ExitWithoutAutoStop_YesStops)
{
    const std::int32_t id = MakeTask("Writing", true);
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    m_answerYes = true;
    app->ExitInstance();
    EXPECT_FALSE(IsRunning(id));
}

TEST_F(AppTest, SessionEnd_StopsOnlyWithAutoStopAndKeepsTheTaskCurrent)
{
    const std::int32_t id = MakeTask("Writing", true);
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    app->OnSessionEnd();
    EXPECT_TRUE(IsRunning(id));
    m_settings->SetSetting("AutoStop", 1);
    app->OnSessionEnd();
    EXPECT_FALSE(IsRunning(id));
    EXPECT_EQ(app->CurrentTaskId(), id);
    m_settings->SetSetting("AutoStop", 0);
    m_answerYes = false;
    app->ExitInstance();
}

TEST_F(AppTest, Hub_RoutesMessagesAndCommands)
{
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    CMainWnd& hub = *app->MainWnd();
    PostMessage(&hub, kMsgTaskState, kRunningIconId);
    PostMessage(&hub, kMsgTaskCreated);
    QCoreApplication::processEvents();
    EXPECT_EQ(hub.TrayIcon()->IconId(), kRunningIconId);
    EXPECT_EQ(m_taskList->refills, 2);
    hub.OnCommand(kCmdOpenTaskList);
    EXPECT_TRUE(m_taskList->visible);
    hub.OnCommand(kCmdOpenTaskList);
    EXPECT_FALSE(m_taskList->visible);

    hub.OnCommand(kCmdExit);
    EXPECT_EQ(hub.TrayIcon()->IconId(), 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(hub.IsClosed());
    app->ExitInstance();
}

// kelmora-cli or a sync tool changes the files while the program runs: it follows them.
TEST_F(AppTest, OutsideChanges_CurrentTaskTrayAndStoreFollowTheFiles)
{
    const auto a = MakeTask("A", true);
    const auto b = MakeTask("B", false);
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    CMainWnd& hub = *app->MainWnd();
    const std::filesystem::path data = m_dir.path() / "data";

    m_clock->SetUtc(2008, 4, 7, 9, 30);
    model::StopTask(data, a);
    model::StartTask(data, b);
    hub.FollowFiles();
    EXPECT_EQ(app->CurrentTaskId(), b);
    EXPECT_EQ(hub.TrayIcon()->IconId(), kRunningIconId);
    EXPECT_EQ(hub.TrayIcon()->TipText(), "B (00:00:00)");

    // The tray's Stop of a task that another program already stopped writes nothing and goes idle.
    model::StopTask(data, b);
    const std::string stopped = testsupport::ReadFile(data / "1.tsk");
    m_clock->SetUtc(2008, 4, 7, 10, 0);
    StopCurrentTask(*app);
    EXPECT_EQ(testsupport::ReadFile(data / "1.tsk"), stopped);
    QCoreApplication::processEvents();
    EXPECT_EQ(hub.TrayIcon()->IconId(), kIdleIconId);

    model::TaskStore outside(data);
    outside.Load();
    const auto c = outside.CreateTask("C");
    outside.DeleteTask(a);
    const int rereads = hub.FileRereads();
    hub.FollowFiles();
    hub.FollowFiles(); // nothing changed since: nothing read
    EXPECT_EQ(hub.FileRereads(), rereads + 1);
    EXPECT_EQ(app->Store().TaskIds(), (std::vector<std::int32_t>{b, c}));
    EXPECT_GE(m_taskList->refills + m_taskList->categoryRefills, 1);
    app->ExitInstance();
}

// The folder watch itself, in real time: an outside change shows within a second, and the program's own
// writes are read in a burst rather than one by one.
TEST_F(AppTest, FolderWatch_OutsideChangeSeenSoonOwnWritesDoNotStorm)
{
    MakeTask("A", false);
    const auto b = MakeTask("B", false);
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    const auto runFor = [](int ms) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    };
    model::StartTask(m_dir.path() / "data", b);
    QElapsedTimer seen;
    seen.start();
    while (app->CurrentTaskId() != b && seen.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_EQ(app->CurrentTaskId(), b);
    EXPECT_LT(seen.elapsed(), 1500);

    const int before = app->MainWnd()->FileRereads();
    for (int i = 0; i < 10; ++i) {
        SwitchToTask(*app, i % 2);
    }
    runFor(800);
    EXPECT_LE(app->MainWnd()->FileRereads() - before, 2);
    const int settled = app->MainWnd()->FileRereads();
    runFor(500);
    EXPECT_EQ(app->MainWnd()->FileRereads(), settled) << "reading the files must not set off another reading";
    app->ExitInstance();
}

TEST_F(AppTest, NoTray_TheTaskListShowsAndTheUserIsToldOnce)
{
    m_trayAvailable = false;
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_taskList->shown, 1);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].contains("no notification area"));
    app->ExitInstance();
}

// Enter must not confirm a deletion, and closing the box without an answer must change nothing.
TEST(QuestionBox, NoIsTheDefaultAndEscapeOrClosingCancels)
{
    for (const bool withCancel : {false, true}) {
        SCOPED_TRACE(withCancel);
        const auto box = MakeQuestionBox(nullptr, "Delete?", "Delete", withCancel);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        EXPECT_EQ(box->escapeButton(), box->button(withCancel ? QMessageBox::Cancel : QMessageBox::No));
        EXPECT_EQ(AnswerOf(*box), withCancel ? Answer::Cancel : Answer::No);
        box->button(QMessageBox::Yes)->click();
        EXPECT_EQ(AnswerOf(*box), Answer::Yes);
    }
}

} // namespace
} // namespace kelmora::app
