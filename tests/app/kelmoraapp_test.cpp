#include "appfixture.h"

#include "app/desktopservices.h"
#include "app/settingssheet.h"
#include "app/tracking.h"
#include "app/trayicon.h"
#include "model/datafolder.h"
#include "model/filestamp.h"
#include "model/syncfold.h"
#include "model/taskfile.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

namespace kelmora::app {
namespace {

TEST(CommandLine, SlashTAloneBesideTheOptionsSelectsTerminateMode_UnknownOptionsAreBadUsage)
{
    EXPECT_TRUE(ParseCommandLine({"/t"}).terminate);
    EXPECT_FALSE(ParseCommandLine({"/T"}).terminate);
    EXPECT_FALSE(ParseCommandLine({"/t", "x"}).terminate);
    EXPECT_FALSE(ParseCommandLine({"x", "/t"}).terminate);
    EXPECT_FALSE(ParseCommandLine({}).terminate);
    EXPECT_EQ(ParseCommandLine({"--data-dir", "/d"}).dataDir, std::filesystem::path("/d"));
    EXPECT_EQ(ParseCommandLine({"--data-dir=/e"}).dataDir, std::filesystem::path("/e"));
    for (const QStringList& arguments : {QStringList{"--data-dir", "/d", "/t"}, QStringList{"/t", "--data-dir=/d"}}) {
        const CommandLine commandLine = ParseCommandLine(arguments);
        EXPECT_TRUE(commandLine.terminate && commandLine.error.isEmpty()) << arguments.join(' ').toStdString();
        EXPECT_EQ(commandLine.dataDir, std::filesystem::path("/d"));
    }
    EXPECT_EQ(ParseCommandLine({"/t", "--bogus"}).error, "unknown option --bogus");
    std::array<char*, 2> argv{const_cast<char*>("kelmora"), const_cast<char*>("-x")};
    EXPECT_EQ(RunWithoutWindows(2, argv.data()), 2);
}

// The running instance is asked once, then waited for a second at a time; only one still there when the ten
// seconds are over (the request to a stopped one, SIGSTOP, timed out after two of them) is killed, by the pid its
// lock names.
TEST(TerminateMode, WaitsForTheInstanceAndKillsOnlyOneThatStays)
{
    const struct
    {
        bool running;
        bool stopped;
        int closesAtWait; // 0: never
        int waits;
        bool killed;
    } cases[] = {
        {false, false, 0, 1, false}, {true, false, 3, 3, false}, {true, false, 0, 10, true}, {true, true, 0, 8, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.waits);
        auto slot = std::make_shared<FakeSingleInstance::Slot>();
        FakeSingleInstance running(slot, 4242);
        int terminateRequests = 0;
        std::chrono::milliseconds now{0};
        QObject::connect(&running, &SingleInstance::terminateRequested, [&] {
            ++terminateRequests;
            now += std::chrono::seconds(c.stopped ? 2 : 0);
        });
        ASSERT_TRUE(!c.running || running.tryAcquire());
        FakeSingleInstance terminator(slot, 5000);
        int waits = 0;
        std::vector<std::int64_t> killed;
        EXPECT_TRUE(RunTerminateMode(
            terminator,
            [&] {
                now += std::chrono::seconds(1);
                if (++waits == c.closesAtWait) {
                    running.release();
                }
            },
            [&](std::int64_t pid) {
                killed.push_back(pid);
                return true;
            },
            [&] { return now; }));
        EXPECT_EQ(terminateRequests, c.running ? 1 : 0);
        EXPECT_EQ(waits, c.waits);
        EXPECT_LE(now, std::chrono::seconds(10));
        EXPECT_EQ(killed, c.killed ? std::vector<std::int64_t>{4242} : std::vector<std::int64_t>{});
    }
}

// The hub then routes messages and commands.
TEST_F(AppTest, Start_LastRunningTaskInStoreOrderBecomesCurrent_HubRoutes)
{
    MakeTask("a", false);
    MakeTask("b", true);
    MakeTask("c", true);
    Start();
    EXPECT_EQ(m_app->CurrentTaskId(), 2);
    // The running icon is asked for before any tick.
    EXPECT_EQ(Hub().TrayIcon()->IconId(), kRunningIconId);

    Hub().TrayIcon()->SetIcon(kIdleIconId);
    const int refills = m_taskList->refills;
    PostMessage(&Hub(), kMsgTaskState, kRunningIconId);
    PostMessage(&Hub(), kMsgTaskCreated);
    QCoreApplication::processEvents();
    EXPECT_EQ(Hub().TrayIcon()->IconId(), kRunningIconId);
    EXPECT_EQ(m_taskList->refills, refills + 2);
    Hub().OnCommand(kCmdExit);
    EXPECT_EQ(Hub().TrayIcon()->IconId(), 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Hub().IsClosed());
}

// A file that cannot be moved (a folder stands in its place) is named, and it stays with "idx", the mark of old
// data, so that the next start tries again.
TEST_F(AppTest, OldDataBesideTheExecutable_MovedBeforeTheStoreLoads_WhatStaysIsTriedAgain)
{
    for (const std::int32_t id : {7, 8}) {
        ASSERT_TRUE(testsupport::SaveTask(m_exe.path(), id, "old"));
    }
    testsupport::WriteFile(m_exe.path() / "idx", std::string("\x09\0\0\0", 4));
    std::filesystem::create_directories(Data() / "8.tsk" / "in the way");
    Start();
    EXPECT_EQ(LoadTask(7).name, "old");
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].contains(": 8.tsk.")) << m_errors[0].toStdString();
    EXPECT_TRUE(model::HasOldData(m_exe.path()));
    // The next id comes along, so that no new task takes the id of the file still to come.
    EXPECT_EQ(testsupport::ReadFile(Data() / "idx"), std::string("\x09\0\0\0", 4));

    m_app->ExitInstance();
    std::filesystem::remove_all(Data() / "8.tsk");
    Start();
    EXPECT_EQ(LoadTask(8).name, "old");
    EXPECT_EQ(m_errors.size(), 1u);
    EXPECT_FALSE(model::HasOldData(m_exe.path()));
}

// A second start hands over to the running instance only on its data folder; on another one it says which
// folder runs instead of showing that folder's tasks.
TEST_F(AppTest, SecondStart_OnTheSameFolderShowsTheTaskList_OnAnotherNamesTheRunningFolder)
{
    Start();
    for (const bool same : {true, false}) {
        SCOPED_TRACE(same);
        m_taskList->visible = false;
        const auto second = MakeApp(200, same ? Data() / "." : m_dir.path() / "other");
        EXPECT_FALSE(second->InitInstance());
        EXPECT_EQ(second->ExitCode(), same ? 0 : 1);
        QCoreApplication::processEvents();
        EXPECT_EQ(m_taskList->visible, same);
        const QString running = QString::fromStdString(std::filesystem::canonical(Data()).string());
        ASSERT_EQ(m_errors.size(), same ? 0u : 1u);
        EXPECT_TRUE(same || m_errors[0].startsWith("Kelmora is already running with the data folder " + running));
    }
    // An older instance that cannot say its folder is simply raised.
    m_slot->holder->setDataFolder(QString());
    m_taskList->visible = false;
    EXPECT_FALSE(MakeApp(201, m_dir.path() / "other")->InitInstance());
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_taskList->visible);
}

TEST_F(AppTest, UnusableDataFolder_ExplainedAndEnds)
{
    testsupport::WriteFile(Data(), "a file where the folder should be");
    auto app = MakeApp();
    EXPECT_FALSE(app->InitInstance());
    EXPECT_EQ(app->ExitCode(), 1);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].contains("data folder"));
    EXPECT_FALSE(m_slot->holder != nullptr) << "no instance slot taken";
}

TEST_F(AppTest, SessionEnd_StopsOnlyWithAutoStopAndKeepsTheTaskCurrent)
{
    const std::int32_t id = MakeTask("Writing", true);
    Start();
    m_app->OnSessionEnd();
    EXPECT_TRUE(IsRunning(id));
    m_settings->SetSetting("AutoStop", 1);
    m_app->OnSessionEnd();
    EXPECT_FALSE(IsRunning(id));
    EXPECT_EQ(m_app->CurrentTaskId(), id);
    m_settings->SetSetting("AutoStop", 0);
}

// AutoStop and both answers are followed end to end with the real program; here: the question names the task,
// the stop falls at the exit's time, and the instance slot is released.
TEST_F(AppTest, Exit_AsksAboutTheRunningTask_StopsItAtTheExitsTime)
{
    const std::int32_t id = MakeTask("Writing", true);
    Start();
    m_clock->SetUtc(2008, 4, 7, 10, 0);
    m_answerYes = true;
    m_app->ExitInstance();
    m_app.reset();
    EXPECT_EQ(m_questions,
              std::vector<QString>{"Running task: Task 'Writing' is still running. Do you want to stop it now?"});
    EXPECT_EQ(LoadTask(id).intervals.At(0).stop, Utc(2008, 4, 7, 10, 0));
    EXPECT_EQ(m_slot->holder, nullptr) << "the instance slot is released";
}

// "kelmora /t" asks nothing: the running task is settled as at the session's end, stopped only with AutoStop.
TEST_F(AppTest, TerminateRequest_AsksNothing_StopsTheTaskOnlyWithAutoStop)
{
    for (const int autoStop : {0, 1}) {
        SCOPED_TRACE(autoStop);
        m_presetSettings["AutoStop"] = autoStop;
        const std::int32_t id = MakeTask("Writing", true);
        Start();
        FakeSingleInstance later(m_slot, 200);
        EXPECT_TRUE(later.send(SingleInstance::Request::Terminate, std::chrono::seconds(2)));
        QCoreApplication::processEvents();
        EXPECT_TRUE(Hub().IsClosed());
        m_app->ExitInstance();
        m_app.reset();
        EXPECT_TRUE(m_questions.empty());
        EXPECT_EQ(IsRunning(id), autoStop == 0);
    }
}

// kelmora-cli or a sync tool changes the files while the program runs: it follows them.
TEST_F(AppTest, OutsideChanges_CurrentTaskTrayAndStoreFollowTheFiles)
{
    const auto a = MakeTask("A", true);
    const auto b = MakeTask("B", false);
    // A copy left while the program was not running is folded in as soon as it runs.
    testsupport::WriteFile(Data() / "0.sync-conflict-20080407-080000-ABCDEFG.tsk",
                           testsupport::ReadFile(Data() / "0.tsk"));
    {
        const model::ScopedWallClockShift later(3'000'000'000);
        Start();
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(model::FindConflictCopies(Data()).empty());
    m_clock->SetUtc(2008, 4, 7, 9, 30);
    model::StopTask(Data(), a);
    model::StartTask(Data(), b);
    Hub().FollowFiles();
    EXPECT_EQ(m_app->CurrentTaskId(), b);
    EXPECT_EQ(Hub().TrayIcon()->TipText(), "B (00:00:00)");

    // The tray's Stop of a task that another program already stopped writes nothing and goes idle.
    model::StopTask(Data(), b);
    const std::string stopped = testsupport::ReadFile(Data() / "1.tsk");
    m_clock->SetUtc(2008, 4, 7, 10, 0);
    StopCurrentTask(*m_app);
    EXPECT_EQ(testsupport::ReadFile(Data() / "1.tsk"), stopped);
    QCoreApplication::processEvents();
    EXPECT_EQ(Hub().TrayIcon()->IconId(), kIdleIconId);

    model::TaskStore outside(Data());
    outside.Load();
    const auto c = outside.CreateTask("C");
    outside.DeleteTask(a);
    const int rereads = Hub().FileRereads();
    Hub().FollowFiles();
    Hub().FollowFiles(); // nothing changed since: nothing read
    EXPECT_EQ(Hub().FileRereads(), rereads + 1);
    EXPECT_EQ(m_app->Store().TaskIds(), (std::vector<std::int32_t>{b, c}));
    EXPECT_GE(m_taskList->refills + m_taskList->categoryRefills, 1);

    // A sync tool's conflict copy is folded in: its spans join the task of its name.
    model::Task theirs;
    theirs.name = "B";
    theirs.intervals.Insert(model::Interval(testsupport::Utc(2008, 4, 6, 9, 0), testsupport::Utc(2008, 4, 6, 10, 0)));
    testsupport::WriteFile(Data() / "1.sync-conflict-20080407-100000-ABCDEFG.tsk", model::EncodeTask(theirs));
    // Not while the sync tool may still be bringing the rest of its round; then, unasked, once it is quiet.
    Hub().FollowFiles();
    EXPECT_EQ(model::FindConflictCopies(Data()).size(), 1u);
    const model::ScopedWallClockShift later(3'000'000'000);
    Hub().FollowFiles();
    EXPECT_TRUE(model::FindConflictCopies(Data()).empty());
    EXPECT_EQ(LoadTask(b).intervals.Count(), 2);
}

// The folder watch itself: the program's own writes are read in a burst rather than one by one. (That an outside
// change shows within about a second, the end-to-end test of the tray shows.)
TEST_F(AppTest, FolderWatch_OwnWritesDoNotStorm)
{
    MakeTask("A", false);
    MakeTask("B", false);
    Start();
    const model::TaskStore* const store = &m_app->Store();
    const int before = Hub().FileRereads();
    for (int i = 0; i < 10; ++i) {
        SwitchToTask(*m_app, i % 2);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return Hub().FileRereads() > before; }, 1500));
    // Longer than the quiet time the watch waits for: a reading that set off another would show by now.
    QTest::qWait(400);
    EXPECT_LE(Hub().FileRereads() - before, 2);
    // Re-read in place: the idle and reminder threads hold this very store.
    EXPECT_EQ(&m_app->Store(), store);
    const int settled = Hub().FileRereads();
    QTest::qWait(400);
    EXPECT_EQ(Hub().FileRereads(), settled) << "reading the files must not set off another reading";
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

// An error box that shows the information icon reads as a mere notice. A short text leaves the box wide
// enough for its whole caption.
TEST(MessageBox, ShowsTheIconAskedFor_AndIsWideEnoughForItsCaption)
{
    const QString caption = QStringLiteral("Rollback task \"Writing on the quarterly report\"");
    for (const auto& [icon, shown] : {std::pair{MessageIcon::Information, QMessageBox::Information},
                                      std::pair{MessageIcon::Warning, QMessageBox::Warning},
                                      std::pair{MessageIcon::Error, QMessageBox::Critical}}) {
        const auto box = MakeMessageBox(nullptr, "text", caption, icon);
        EXPECT_EQ(box->icon(), shown);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_GT(box->sizeHint().width(), box->fontMetrics().horizontalAdvance(caption) + 100);
    }
    const auto question = MakeQuestionBox(nullptr, "No?", caption, false);
    EXPECT_GT(question->sizeHint().width(), question->fontMetrics().horizontalAdvance(caption) + 100);
}

// ---- the Settings sheet ----

enum Page
{
    kCommon = 0,
    kShortcuts = 1,
    kTimeouts = 2,
};

class SettingsSheetTest : public ::testing::Test
{
protected:
    CSettingsSheet& Open(QString idleSource = {})
    {
        SettingsSheetServices services{
            m_settings, [this](QWidget*, const QString& text, const QString&) { m_shown.push_back(text); },
            std::move(idleSource)};
        m_sheet = std::make_unique<CSettingsSheet>(services, nullptr);
        return *m_sheet;
    }

    template <typename T> T* Child(const char* name) { return m_sheet->findChild<T*>(QLatin1String(name)); }
    bool Checked(const char* name) { return Child<QAbstractButton>(name)->isChecked(); }
    QString Text(const char* name) { return Child<QLineEdit>(name)->text(); }
    void SetText(const char* name, const QString& text) { Child<QLineEdit>(name)->setText(text); }
    void Switch(Page page) { m_sheet->Tabs()->setCurrentIndex(page); }
    std::optional<std::int32_t> Stored(const char* name) const { return m_settings.storedValue(name); }

    platform::FakeSettingsStore m_settings;
    std::unique_ptr<CSettingsSheet> m_sheet;
    std::vector<QString> m_shown;
};

TEST_F(SettingsSheetTest, FreshUserSeesDefaults_SecondsShownRoundedDownAndStoredOnLeaving)
{
    Open();
    ASSERT_EQ(m_sheet->Tabs()->count(), 3);
    for (const char* box : {"autostartCheck", "autoStopCheck", "showWindowCheck", "quickModeRadio"}) {
        EXPECT_FALSE(Checked(box)) << box;
    }
    EXPECT_TRUE(Checked("remindCheck"));
    EXPECT_TRUE(Checked("usualModeRadio"));
    Switch(kTimeouts);
    EXPECT_EQ(Text("idleMinutesEdit"), QStringLiteral("2"));
    EXPECT_EQ(Text("remindMinutesEdit"), QStringLiteral("5"));
    EXPECT_FALSE(Checked("idleDetectionCheck"));
    EXPECT_EQ(Child<QLabel>("idleSourceLabel")->text(),
              QStringLiteral("Idle detection is not available on this desktop"));

    // Seconds that are not whole minutes show rounded down, and that is stored on leaving the page.
    m_settings.SetSetting("Timeout", 150);
    Open(QStringLiteral("X11 screen saver"));
    Switch(kTimeouts);
    EXPECT_EQ(Text("idleMinutesEdit"), QStringLiteral("2"));
    EXPECT_EQ(Child<QLabel>("idleSourceLabel")->text(), QStringLiteral("Idle time from: X11 screen saver"));
    Child<QCheckBox>("idleDetectionCheck")->setChecked(true);
    Switch(kCommon);
    EXPECT_EQ(Stored("Timeout"), 120);
    EXPECT_EQ(Stored("RemindTimeout"), 300);
    EXPECT_EQ(Stored("UseIdleDetection"), 1);
}

TEST_F(SettingsSheetTest, CancelAfterAPageSwitch_KeepsWhatTheSwitchStored)
{
    Open();
    Child<QCheckBox>("autostartCheck")->setChecked(true);
    Child<QCheckBox>("autoStopCheck")->setChecked(true);
    Child<QRadioButton>("quickModeRadio")->click();
    Switch(kShortcuts);
    Switch(kCommon);
    Child<QCheckBox>("showWindowCheck")->setChecked(true);
    m_sheet->reject();
    EXPECT_TRUE(m_settings.IsAutostart());
    EXPECT_EQ(Stored("AutoStop"), 1);
    EXPECT_EQ(Stored("UseQuickAccessMenu"), 1);
    EXPECT_EQ(Stored("ShowWindow"), 0);
    EXPECT_EQ(Stored("Remind"), 1);
    Open();
    EXPECT_TRUE(Checked("autostartCheck"));
    Child<QCheckBox>("autostartCheck")->setChecked(false);
    Switch(kTimeouts);
    EXPECT_FALSE(m_settings.IsAutostart());
}

// Enter presses OK from a field of every page.
TEST_F(SettingsSheetTest, EnterOnEachPage_PressesOk)
{
    for (const auto& [page, field] : {std::pair{kCommon, "autoStopCheck"}, {kTimeouts, "idleMinutesEdit"}}) {
        SCOPED_TRACE(field);
        Open().show();
        Switch(page);
        QTest::keyClick(Child<QWidget>(field), Qt::Key_Return);
        EXPECT_EQ(m_sheet->result(), QDialog::Accepted);
    }
}

TEST_F(SettingsSheetTest, TimeoutsOutsideOneToADay_AreRefusedAndThePageStays)
{
    struct Case
    {
        QString idle;
        QString remind;
        bool accepted;
    };
    const Case cases[] = {
        {"0", "5", false}, {"2", "1441", false}, {"", "5", false}, {"1440", "1", true}, {"007", "30", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.idle.toStdString() + " " + c.remind.toStdString());
        m_shown.clear();
        Open();
        Switch(kTimeouts);
        SetText("idleMinutesEdit", c.idle);
        SetText("remindMinutesEdit", c.remind);
        m_sheet->accept();
        EXPECT_EQ(m_sheet->result() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(m_sheet->Tabs()->currentIndex(), kTimeouts);
        EXPECT_EQ(m_shown.size(), c.accepted ? 0u : 1u);
        Switch(kCommon);
        EXPECT_EQ(m_sheet->Tabs()->currentIndex(), c.accepted ? kCommon : kTimeouts);
        if (c.accepted) {
            EXPECT_EQ(Stored("Timeout"), c.idle.toInt() * 60);
            EXPECT_EQ(Stored("RemindTimeout"), c.remind.toInt() * 60);
        }
    }
}

// An entry is written or removed only when the box changes, so one the user made by hand stays as it is.
TEST_F(SettingsSheetTest, AutostartWrittenOnlyWhenTheBoxChanges_AFailureReported)
{
    Open();
    m_settings.setFailing(true);
    m_sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply)->click();
    EXPECT_TRUE(m_shown.empty()) << "nothing to write";
    Child<QCheckBox>("autostartCheck")->setChecked(true);
    m_sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply)->click();
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_TRUE(m_shown[0].contains(QStringLiteral("autostart entry could not be written")))
        << m_shown[0].toStdString();
}

} // namespace
} // namespace kelmora::app
