#include "appfixture.h"

#include "app/tracking.h"
#include "app/trayicon.h"

#include <QCoreApplication>
#include <QMenu>

#include <gtest/gtest.h>

namespace kelmora::app {
namespace {

// A menu as text: one line per item, "text=id", submenus indented, "*" for checked, "-" for separators.
std::vector<std::string> Describe(const QMenu& menu, const std::string& indent = "")
{
    std::vector<std::string> lines;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            lines.push_back(indent + "-");
        } else if (action->menu() != nullptr) {
            lines.push_back(indent + action->text().toStdString() + " >");
            for (const std::string& line : Describe(*action->menu(), indent + "  ")) {
                lines.push_back(line);
            }
        } else {
            lines.push_back(indent + (action->isChecked() ? "*" : "") + action->text().toStdString() + "=" +
                            std::to_string(action->data().toInt()));
        }
    }
    return lines;
}

using Lines = std::vector<std::string>;

class TrayTest : public AppTest
{
protected:
    void Start()
    {
        m_app = MakeApp();
        ASSERT_TRUE(m_app->InitInstance());
        QCoreApplication::processEvents();
    }

    void TearDown() override
    {
        if (m_app) {
            m_answerYes = false;
            m_app->ExitInstance();
        }
    }

    CTrayIcon& Tray() { return *m_app->MainWnd()->TrayIcon(); }

    Lines Menu()
    {
        Tray().RebuildMenu();
        return Describe(Tray().Menu());
    }

    std::unique_ptr<CKelmoraApp> m_app;
};

const Lines kUsualTail = {"&Create Task...=32777",
                          "&Generate Report >",
                          "  for This Day=32773",
                          "  for This Week=32774",
                          "  for This Month=32775",
                          "  for This Year=32776",
                          "&Settings...=32778",
                          "-",
                          "&Help=32780",
                          "&About Kelmora...=32779",
                          "Send &feedback to author...=32781",
                          "-",
                          "&Exit Kelmora=32772"};

Lines Concat(Lines head, const Lines& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST_F(TrayTest, UsualMenu_EmptyStore_NoStartTaskEntry)
{
    Start();
    EXPECT_EQ(Menu(), Concat({"Open &Task List...=32771", "-"}, kUsualTail));
    EXPECT_EQ(Tray().Menu().defaultAction(), Tray().Menu().actions().value(0));
}

TEST_F(TrayTest, UsualMenu_NothingTracked_StartTaskSubmenu)
{
    MakeTask("Alpha", false);
    MakeTask("R&D", false);
    Start();
    EXPECT_EQ(Menu(),
              Concat({"Open &Task List...=32771", "-", "Sta&rt Task >", "  Alpha=10100", "  R&&D=10101"}, kUsualTail));
}

TEST_F(TrayTest, UsualMenu_TaskTracked_StopSwitchRollback)
{
    MakeTask("Alpha", false);
    MakeTask("Beta", true);
    Start();
    m_taskList->visible = true;
    QString stopKeys = QStringLiteral("Shift+Alt+P");
    Tray().SetStopShortcutText([&] { return stopKeys; });
    EXPECT_EQ(Menu(), Concat({"Hide &Task List...=32771", "-", "Sto&p Current Task\tShift+Alt+P=10000",
                              "S&witch to Task >", "  Alpha=10100", "  Beta=10101", "Ro&llback Current Task=10001"},
                             kUsualTail));
    stopKeys.clear(); // the stop hotkey is not active: no combination at all
    EXPECT_EQ(Menu().at(2), "Sto&p Current Task=10000");
}

TEST_F(TrayTest, QuickAccessMenu_EmptyStore_NoTaskItems)
{
    m_presetSettings["UseQuickAccessMenu"] = 1;
    Start();
    EXPECT_EQ(Menu(), (Lines{"Open &Task List...=32771", "-", "-", "&Main Menu >", "  &Create Task...=32777",
                             "  &Generate Report >", "    for This Day=32773", "    for This Week=32774",
                             "    for This Month=32775", "    for This Year=32776", "  &Settings...=32778", "  -",
                             "  &Help=32780", "  &About Kelmora...=32779", "  Send &feedback to author...=32781", "-",
                             "&Exit Kelmora=32772"}));
}

TEST_F(TrayTest, QuickAccessMenu_TaskTracked_TasksReversedCurrentCheckedRollbackInMainMenu)
{
    m_presetSettings["UseQuickAccessMenu"] = 1;
    MakeTask("Alpha", false);
    MakeTask("Beta", true);
    MakeTask("Gamma", false);
    Start();
    m_taskList->visible = true; // this layout keeps "Open" whatever the window does
    Tray().SetStopShortcutText([] { return QStringLiteral("Ctrl+Alt+X"); });
    EXPECT_EQ(Menu(), (Lines{"Open &Task List...=32771",
                             "-",
                             "Sto&p Current Task\tCtrl+Alt+X=10000",
                             "-",
                             "Gamma=10102",
                             "*Beta=10101",
                             "Alpha=10100",
                             "-",
                             "&Main Menu >",
                             "  &Create Task...=32777",
                             "  &Generate Report >",
                             "    for This Day=32773",
                             "    for This Week=32774",
                             "    for This Month=32775",
                             "    for This Year=32776",
                             "  Ro&llback Current Task=10001",
                             "  &Settings...=32778",
                             "  -",
                             "  &Help=32780",
                             "  &About Kelmora...=32779",
                             "  Send &feedback to author...=32781",
                             "-",
                             "&Exit Kelmora=32772"}));
}

TEST_F(TrayTest, ChoosingATaskItem_StartsItAndTheMenuFollows)
{
    MakeTask("Alpha", false);
    MakeTask("Beta", false);
    Start();
    Tray().RebuildMenu();
    QMenu* startMenu = Tray().Menu().actions().value(2)->menu();
    ASSERT_NE(startMenu, nullptr);
    startMenu->actions().value(1)->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_app->CurrentTaskId(), 1);
    EXPECT_TRUE(IsRunning(1));
    EXPECT_EQ(Tray().IconId(), kRunningIconId);
    EXPECT_EQ(Menu().at(2), "Sto&p Current Task=10000");
}

TEST_F(TrayTest, Tooltip_NamesTheTaskWithItsTimeInTheChosenPeriod)
{
    m_presetSettings["Period"] = 2; // this month
    const std::int32_t id = MakeTask("Write", false);
    {
        model::Task task;
        task.id = id;
        task.Load(m_dir.path() / "data");
        task.intervals.Insert(model::Interval(Utc(2008, 3, 31, 9, 0), Utc(2008, 3, 31, 10, 0))); // last month
        task.intervals.Insert(model::Interval(Utc(2008, 4, 1, 9, 0), Utc(2008, 4, 1, 10, 0)));
        task.Save(m_dir.path() / "data");
    }
    Start();
    EXPECT_EQ(Tray().TipText(), "No started task");
    m_clock->SetUtc(2008, 4, 7, 9, 0);
    SwitchToTask(*m_app, 0);
    m_clock->SetUtc(2008, 4, 7, 9, 5, 9);
    EXPECT_EQ(Tray().TipText(), "Write (01:05:09)");
    for (const int period : {4, 9, -1}) { // all time, and stored values outside the list count as all time
        m_settings->SetSetting("Period", period);
        EXPECT_EQ(Tray().TipText(), "Write (02:05:09)") << period;
    }
    StopCurrentTask(*m_app);
    EXPECT_EQ(Tray().TipText(), "No started task");
}

TEST_F(TrayTest, Tooltip_LongNameCutWithEllipsisTimeKeptWhole)
{
    MakeTask(std::string(300, 'n'), true);
    Start();
    const QString tip = Tray().TipText();
    EXPECT_EQ(tip.size(), CTrayIcon::kMaxTipLength);
    EXPECT_TRUE(tip.endsWith(QString::fromUtf8("\u2026 (00:00:00)"))) << tip.toStdString();
}

TEST_F(TrayTest, SwitchingToTheCurrentTask_RestartsItsSpan)
{
    MakeTask("Alpha", false);
    Start();
    SwitchToTask(*m_app, 0);
    m_clock->SetUtc(2008, 4, 7, 9, 30);
    m_app->MainWnd()->OnCommand(kCmdFirstTask);
    model::Task task;
    task.id = 0;
    task.Load(m_dir.path() / "data");
    ASSERT_EQ(task.intervals.Count(), 2);
    EXPECT_EQ(task.intervals.At(0).stop, Utc(2008, 4, 7, 9, 30));
    EXPECT_TRUE(task.intervals.At(0).closed);
    EXPECT_EQ(task.intervals.At(1).start, Utc(2008, 4, 7, 9, 30));
    EXPECT_FALSE(task.intervals.At(1).closed);
    EXPECT_EQ(m_app->CurrentTaskId(), 0);
}

TEST_F(TrayTest, Switch_StopsThePreviousTaskAtNow)
{
    MakeTask("Alpha", true);
    MakeTask("Beta", false);
    Start();
    m_clock->SetUtc(2008, 4, 7, 10, 0);
    m_app->MainWnd()->OnCommand(kCmdFirstTask + 1);
    EXPECT_FALSE(IsRunning(0));
    EXPECT_TRUE(IsRunning(1));
    EXPECT_EQ(m_app->CurrentTaskId(), 1);
    EXPECT_GE(m_taskList->refills, 1) << "the Task List is refilled at once";
}

TEST_F(TrayTest, StopCommand_StopsAndShowsTheIdleIcon)
{
    MakeTask("Alpha", true);
    Start();
    EXPECT_EQ(Tray().IconId(), kRunningIconId);
    m_app->MainWnd()->OnCommand(kCmdStopCurrentTask);
    QCoreApplication::processEvents();
    EXPECT_FALSE(IsRunning(0));
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    EXPECT_EQ(Tray().IconId(), kIdleIconId);
    m_app->MainWnd()->OnCommand(kCmdStopCurrentTask); // nothing current: nothing happens
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
}

TEST_F(TrayTest, TaskIdsBeyondTheLastCommand_DoNothing)
{
    MakeTask("Alpha", false);
    Start();
    m_app->MainWnd()->OnCommand(kCmdLastTask + 1);
    m_app->MainWnd()->OnCommand(kCmdFirstTask + 5); // no task at that position
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    EXPECT_FALSE(IsRunning(0));
}

TEST_F(TrayTest, LastTaskCommand_StartsTheTaskAtTheLastPosition)
{
    const int last = kCmdLastTask - kCmdFirstTask;
    for (int position = 0; position <= last; ++position) {
        MakeTask("Task " + std::to_string(position), false);
    }
    Start();
    m_app->MainWnd()->OnCommand(kCmdLastTask);
    EXPECT_EQ(m_app->CurrentTaskId(), last);
    EXPECT_TRUE(IsRunning(last));
}

TEST_F(TrayTest, RollbackWithoutTask_Explains)
{
    Start();
    m_app->MainWnd()->OnCommand(kCmdRollback);
    EXPECT_EQ(m_messages, std::vector<QString>{"Can't rallback current task: There is no started task now"});
}

TEST_F(TrayTest, HelpAndFeedback_OpenTheManualAndANewMail)
{
    Start();
    m_app->MainWnd()->OnCommand(kCmdFeedback);
    ASSERT_FALSE(m_shell->requests().empty());
    EXPECT_EQ(m_shell->requests().back(), "mailto:support@kelmora.app?subject=Feedback");
    m_app->MainWnd()->OnCommand(kCmdHelp);
    // The test program has no manual beside it: the user is told instead of nothing happening.
    EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(TrayTest, FeedbackWithoutMailProgram_SaysSo)
{
    Start();
    m_shell->setResult(false);
    m_app->MainWnd()->OnCommand(kCmdFeedback);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].contains("support@kelmora.app")) << m_messages[0].toStdString();
}

TEST_F(TrayTest, LongTaskNames_CutInTheMenu)
{
    MakeTask(std::string(200, 'x'), false);
    Start();
    const Lines menu = Menu();
    ASSERT_GE(menu.size(), 4u);
    EXPECT_EQ(menu[3], "  " + std::string(59, 'x') + "\u2026=10100");
}

TEST_F(TrayTest, ReportCommands_HandTheCalendarPeriodOn)
{
    Start();
    std::vector<model::Interval> periods;
    m_app->MainWnd()->SetReportHandler([&](const model::Interval& period) { periods.push_back(period); });
    m_clock->SetUtc(2008, 4, 9, 15, 0); // a Wednesday
    for (const int id : {kCmdReportDay, kCmdReportWeek, kCmdReportMonth, kCmdReportYear}) {
        m_app->MainWnd()->OnCommand(id);
    }
    ASSERT_EQ(periods.size(), 4u);
    EXPECT_EQ(periods[0].start, Utc(2008, 4, 9, 0, 0));
    EXPECT_EQ(periods[1].start, Utc(2008, 4, 6, 0, 0)); // Sunday-first locale of the tests
    EXPECT_EQ(periods[2].start, Utc(2008, 4, 1, 0, 0));
    EXPECT_EQ(periods[3].start, Utc(2008, 1, 1, 0, 0));
    for (const auto& period : periods) {
        EXPECT_EQ(period.stop, Utc(2008, 4, 9, 15, 0));
    }
}

TEST_F(TrayTest, Hotkeys_BalloonOnceActionsAlways)
{
    MakeTask("Alpha", true);
    Start();
    int created = 0;
    m_app->MainWnd()->SetCommandHandler(kCmdCreateTask, [&] { ++created; });
    m_app->MainWnd()->OnHotKey(kHotkeyCreateTask);
    EXPECT_EQ(created, 1);
    EXPECT_EQ(m_settings->GetSetting("HotkeyUsed", 0), 1);
    m_app->MainWnd()->OnHotKey(kHotkeyTaskList);
    EXPECT_TRUE(m_taskList->visible);
    m_app->MainWnd()->OnHotKey(kHotkeyStopTask);
    EXPECT_FALSE(IsRunning(0));
    m_app->MainWnd()->OnHotKey(0x1234); // unknown: nothing
    EXPECT_EQ(created, 1);
}

} // namespace
} // namespace kelmora::app
