#include "appfixture.h"

#include "app/tracking.h"
#include "app/trayicon.h"

#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include <gtest/gtest.h>

#include <tuple>

namespace kelmora::app {
namespace {

using Lines = std::vector<std::string>;

// A menu as text: one line per item, "text=id", submenus indented, "*" for checked, "-" for separators.
Lines Describe(const QMenu& menu, const std::string& indent = "")
{
    Lines lines;
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

class TrayTest : public AppTest
{
protected:
    CTrayIcon& Tray() { return *Hub().TrayIcon(); }

    Lines Menu()
    {
        Tray().RebuildMenu();
        return Describe(Tray().Menu());
    }
};

// The head of a menu followed by the reports and the rest, which the quick layout puts into its main submenu.
Lines Expected(Lines lines, bool quick, bool rollback)
{
    Lines tail{"&Create Task...=32777",
               "&Generate Report >",
               "  for This Day=32773",
               "  for This Week=32774",
               "  for This Month=32775",
               "  for This Year=32776",
               "&Settings...=32778",
               "-",
               "&Help=32780",
               "&About Kelmora...=32779",
               "Send &feedback to author...=32781"};
    if (rollback) {
        tail.insert(tail.begin() + (quick ? 6 : 0), "Ro&llback Current Task=10001");
    }
    if (quick) {
        lines.push_back("&Main Menu >");
    }
    for (const std::string& line : tail) {
        lines.push_back((quick ? "  " : "") + line);
    }
    lines.insert(lines.end(), {"-", "&Exit Kelmora=32772"});
    return lines;
}

TEST_F(TrayTest, UsualMenu_FollowsTheTasksAndTheCurrentTask)
{
    Start();
    EXPECT_EQ(Menu(), Expected({"Open &Task List...=32771", "-"}, false, false));
    EXPECT_EQ(Tray().Menu().defaultAction(), Tray().Menu().actions().value(0));
    TearDown();

    MakeTask("Alpha", false);
    MakeTask("R&D", false);
    Start();
    EXPECT_EQ(Menu(), Expected({"Open &Task List...=32771", "-", "Sta&rt Task >", "  Alpha=10100", "  R&&D=10101"},
                               false, false));
    TearDown();

    model::StartTask(Data(), 1);
    Start();
    m_taskList->visible = true;
    QString stopKeys = QStringLiteral("Shift+Alt+P");
    Tray().SetStopShortcutText([&] { return stopKeys; });
    EXPECT_EQ(Menu(), Expected({"Hide &Task List...=32771", "-", "Sto&p Current Task (R&&D)\tShift+Alt+P=10000",
                                "S&witch to Task >", "  Alpha=10100", "  *R&&D=10101"},
                               false, true));
    stopKeys.clear(); // the stop hotkey is not active: no combination at all
    EXPECT_EQ(Menu().at(2), "Sto&p Current Task (R&&D)=10000");
}

TEST_F(TrayTest, QuickAccessMenu_TasksReversedCurrentCheckedRollbackInMainMenu)
{
    m_presetSettings["UseQuickAccessMenu"] = 1;
    Start();
    EXPECT_EQ(Menu(), Expected({"Open &Task List...=32771", "-", "-"}, true, false));
    TearDown();

    MakeTask("Alpha", false);
    MakeTask("Beta", true);
    MakeTask("Gamma", false);
    Start();
    m_taskList->visible = true; // this layout keeps "Open" whatever the window does
    Tray().SetStopShortcutText([] { return QStringLiteral("Ctrl+Alt+X"); });
    EXPECT_EQ(Menu(), Expected({"Open &Task List...=32771", "-", "Sto&p Current Task (Beta)\tCtrl+Alt+X=10000", "-",
                                "Gamma=10102", "*Beta=10101", "Alpha=10100", "-"},
                               true, true));
}

TEST_F(TrayTest, LongTaskNames_CutInTheMenuAndTheTooltipKeepsTheTimeWhole)
{
    MakeTask(std::string(300, 'n'), true);
    Start();
    EXPECT_EQ(Menu().at(4), "  *" + std::string(59, 'n') + "\u2026=10100");
    const QString tip = Tray().TipText();
    EXPECT_EQ(tip.size(), CTrayIcon::kMaxTipLength);
    EXPECT_TRUE(tip.endsWith(QString::fromUtf8("\u2026 (00:00:00)"))) << tip.toStdString();
}

TEST_F(TrayTest, Tooltip_NamesTheTaskWithItsTimeInTheChosenPeriod)
{
    m_presetSettings["Period"] = 2; // this month
    const std::int32_t id = MakeTask("Write", false);
    AddSpan(id, Utc(2008, 3, 31, 9, 0), Utc(2008, 3, 31, 10, 0)); // last month
    AddSpan(id, Utc(2008, 4, 1, 9, 0), Utc(2008, 4, 1, 10, 0));
    Start();
    EXPECT_EQ(Tray().IconId(), kIdleIconId);
    EXPECT_EQ(Tray().TipText(), "No started task");
    SwitchToTask(*m_app, 0);
    m_clock->SetUtc(2008, 4, 7, 9, 5, 9);
    EXPECT_EQ(Tray().TipText(), "Write (01:05:09)");
    m_settings->SetSetting("Period", 4); // all time
    EXPECT_EQ(Tray().TipText(), "Write (02:05:09)");
    m_settings->SetSetting("Period", 7); // last month
    EXPECT_EQ(Tray().TipText(), "Write (01:00:00)");
    StopCurrentTask(*m_app);
    EXPECT_EQ(Tray().TipText(), "No started task");
}

// The task items and the stop command, one after the other, as the user would choose them.
TEST_F(TrayTest, TaskCommands_SwitchRestartStopAndIgnoreItemsWithoutATask)
{
    MakeTask("Alpha", true);
    MakeTask("Beta", false);
    Start();
    EXPECT_EQ(Tray().IconId(), kRunningIconId);
    struct Step
    {
        int hour;
        int command;
        std::int32_t current;
        const char* alpha;
        const char* beta;
    };
    const Step steps[] = {
        {10, kCmdFirstTask + 1, 1, "09:00-10:00", "10:00-open"},
        {11, kCmdFirstTask + 1, 1, "09:00-10:00", "10:00-11:00 11:00-open"}, // the current task restarts
        {12, kCmdFirstTask + 5, 1, "09:00-10:00", "10:00-11:00 11:00-open"}, // no task at that position
        {12, kCmdLastTask + 1, 1, "09:00-10:00", "10:00-11:00 11:00-open"},  // beyond the task items
        {13, kCmdStopCurrentTask, -1, "09:00-10:00", "10:00-11:00 11:00-13:00"},
        {14, kCmdStopCurrentTask, -1, "09:00-10:00", "10:00-11:00 11:00-13:00"}, // nothing to stop
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.command);
        m_clock->SetUtc(2008, 4, 7, step.hour, 0);
        const int refills = m_taskList->refills;
        Hub().OnCommand(step.command);
        EXPECT_EQ(m_app->CurrentTaskId(), step.current);
        EXPECT_EQ(SpansOf(0), step.alpha);
        EXPECT_EQ(SpansOf(1), step.beta);
        if (step.hour <= 11) { // the two switches
            EXPECT_GT(m_taskList->refills, refills) << "the Task List is refilled at once";
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(Tray().IconId(), step.current == -1 ? kIdleIconId : kRunningIconId);
    }
}

// 1,000 tasks: no menu runs off the screen; the recently tracked tasks lead, newest first, then the
// categories and "More tasks..."; the running task is marked and named; the last task is reachable.
TEST_F(TrayTest, ThousandTasks_EveryMenuFitsRecentFirstRunningMarked)
{
    MakeTask("Task", false);
    // Copies of the first file are quicker than a thousand saves, and as good a task each.
    for (int position = 1; position < 1000; ++position) {
        std::filesystem::copy_file(Data() / "0.tsk", Data() / (std::to_string(position) + ".tsk"));
    }
    AddSpan(5, Utc(2008, 4, 7, 5, 0), Utc(2008, 4, 7, 8, 30)); // began first, ended last
    AddSpan(700, Utc(2008, 4, 7, 7, 0), Utc(2008, 4, 7, 8, 0));
    AddSpan(998, Utc(2008, 4, 6, 7, 0), Utc(2008, 4, 6, 8, 0));
    model::StartTask(Data(), 3);
    MakeCategory("R&D", {5, 700, 998});
    std::filesystem::remove(Data() / "1.tsk"); // items go by position, marks by id
    Start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const std::function<void(const QMenu&)> fits = [&](const QMenu& menu) {
        EXPECT_LE(menu.sizeHint().width(), screen.width() / 2) << menu.title().toStdString();
        EXPECT_EQ(menu.actionGeometry(menu.actions().back()).x(), 0) << "one column: " << menu.title().toStdString();
        for (const QAction* action : menu.actions()) {
            if (action->menu() != nullptr) {
                fits(*action->menu());
            }
        }
    };
    for (const int quick : {0, 1}) {
        SCOPED_TRACE(quick);
        m_settings->SetSetting("UseQuickAccessMenu", quick);
        const Lines menu = Menu();
        fits(Tray().Menu());
        EXPECT_EQ(menu.at(2), "Sto&p Current Task (Task)=10000");
        const auto first = std::find(menu.begin(), menu.end(), quick ? "-" : "S&witch to Task >") + (quick ? 3 : 1);
        const std::string in = quick ? "" : "  ";
        EXPECT_EQ(Lines(first, first + 6), (Lines{in + "*Task=10102", in + "Task=10104", in + "Task=10799",
                                                  in + "Task=11097", in + "-", in + "R&&D >"}));
        EXPECT_NE(std::find(menu.begin(), menu.end(), in + "(No category) >"), menu.end());
        EXPECT_EQ(std::count_if(menu.begin(), menu.end(), [](const std::string& l) { return l.ends_with("=10104"); }),
                  2)
            << "among the recent tasks and in its category only";
        EXPECT_NE(std::find(menu.begin(), menu.end(), in + "&More tasks...=32782"), menu.end());
    }
    // Without categories there is nothing to group by: the recent tasks and "More tasks..." only.
    std::filesystem::remove(Data() / "categories.xml");
    const Lines flat = Menu();
    EXPECT_EQ(std::find_if(flat.begin(), flat.end(),
                           [](const std::string& l) {
                               return l.ends_with(" >") && l.find("(No category)") != std::string::npos;
                           }),
              flat.end());
    Hub().OnCommand(kCmdFirstTask + 998);
    EXPECT_TRUE(IsRunning(999)) << "the last task of a large store is reachable";
    Hub().OnCommand(kCmdMoreTasks);
    EXPECT_TRUE(m_taskList->visible);
    EXPECT_EQ(m_taskList->filterFocused, 1);
}

// Tasks that just fill a column of the screen stay one plain list.
TEST_F(TrayTest, TasksThatFillAColumn_StayAPlainList)
{
    QMenu column;
    do {
        column.addAction(QStringLiteral("Task"));
    } while (column.actionGeometry(column.actions().back()).x() == 0);
    const int rows = static_cast<int>(column.actions().size()) - 1;
    MakeTask("Task", false);
    for (int position = 1; position < rows; ++position) {
        std::filesystem::copy_file(Data() / "0.tsk", Data() / (std::to_string(position) + ".tsk"));
    }
    Start();
    const Lines menu = Menu();
    EXPECT_EQ(std::count_if(menu.begin(), menu.end(), [](const std::string& l) { return l.starts_with("  Task="); }),
              rows);
}

// The report commands hand the calendar period on; help and feedback open the manual and a new mail or say
// that nothing could be opened; hotkeys act always and mark the balloon as shown.
TEST_F(TrayTest, ReportHelpFeedbackAndHotkeyCommands)
{
    MakeTask("Alpha", true);
    Start();
    std::vector<model::Interval> periods;
    Hub().SetReportHandler([&](const model::Interval& period) { periods.push_back(period); });
    m_clock->SetUtc(2008, 4, 9, 15, 0); // a Wednesday; the tests' locale starts the week on Sunday
    const std::vector<std::pair<int, model::TimeStamp>> starts{{kCmdReportDay, Utc(2008, 4, 9, 0, 0)},
                                                               {kCmdReportWeek, Utc(2008, 4, 6, 0, 0)},
                                                               {kCmdReportMonth, Utc(2008, 4, 1, 0, 0)},
                                                               {kCmdReportYear, Utc(2008, 1, 1, 0, 0)}};
    for (const auto& [command, start] : starts) {
        periods.clear();
        Hub().OnCommand(command);
        ASSERT_EQ(periods.size(), 1u);
        EXPECT_EQ(periods[0].start, start);
        EXPECT_EQ(periods[0].stop, Utc(2008, 4, 9, 15, 0));
    }

    for (const bool opens : {true, false}) {
        SCOPED_TRACE(opens);
        m_shell->setResult(opens);
        m_messages.clear();
        Hub().OnCommand(kCmdFeedback);
        ASSERT_FALSE(m_shell->requests().empty());
        EXPECT_EQ(m_shell->requests().back(), "mailto:support@kelmora.app?subject=Feedback");
        ASSERT_EQ(m_messages.size(), opens ? 0u : 1u);
        if (!opens) {
            EXPECT_TRUE(m_messages[0].contains("support@kelmora.app")) << m_messages[0].toStdString();
        }
    }
    // The test program has no manual beside it: the user is told instead of nothing happening.
    m_messages.clear();
    Hub().OnCommand(kCmdHelp);
    EXPECT_EQ(m_messages.size(), 1u);

    int created = 0;
    Hub().SetCommandHandler(kCmdCreateTask, [&] { ++created; });
    Hub().OnHotKey(kHotkeyCreateTask);
    EXPECT_EQ(created, 1);
    EXPECT_EQ(m_settings->GetSetting("HotkeyUsed", 0), 1);
    Hub().OnHotKey(kHotkeyStopTask);
    EXPECT_FALSE(IsRunning(0));
    Hub().OnHotKey(0x1234); // unknown: nothing
    EXPECT_EQ(created, 1);

    // With a modal question open the hotkeys that open modal windows open nothing on top of it.
    int settings = 0;
    Hub().SetCommandHandler(kCmdSettings, [&] { ++settings; });
    QDialog question;
    question.setModal(true);
    question.show();
    Hub().OnHotKey(kHotkeySettings);
    Hub().OnHotKey(kHotkeyCreateTask);
    question.close();
    Hub().OnHotKey(kHotkeySettings);
    EXPECT_EQ(settings, 1);
    EXPECT_EQ(created, 1);

    // The Task List key: opens it, brings it forward from behind other windows, and puts it away when in front.
    for (const auto& [shown, inFront, shownAfter] :
         {std::tuple{false, false, true}, {true, false, true}, {true, true, false}}) {
        m_taskList->visible = shown;
        m_taskList->inFront = inFront;
        Hub().OnHotKey(kHotkeyTaskList);
        EXPECT_EQ(m_taskList->visible, shownAfter) << shown << inFront;
    }
}

} // namespace
} // namespace kelmora::app
