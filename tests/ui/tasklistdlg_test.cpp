#include "uifixture.h"

#include "app/rollbackdlg.h"
#include "app/tracking.h"
#include "app/trayicon.h"
#include "ui/tasklistdlg.h"
#include "ui/tasklistmodels.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>

namespace kelmora::ui {
namespace {

using testsupport::Utc;

class TaskListTest : public UiTest
{
protected:
    // The hub itself owns the window, as in the program, so its messages reach the real window.
    void Start(CTaskListDlg::Dialogs dialogs = {})
    {
        m_taskListFactory = [this, dialogs](app::CMainWnd& hub) {
            auto window = std::make_unique<CTaskListDlg>(hub, dialogs);
            m_dialog = window.get();
            return window;
        };
        AppTest::Start();
        m_dialog->ShowDialog();
        QCoreApplication::processEvents();
    }

    template <typename T> T* Child(const char* name) { return &ChildOf<T>(*m_dialog, name); }

    void Click(const char* button) { QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton); }

    void Mark(std::int32_t id)
    {
        // As a click in the list does: mark the row and update the buttons.
        auto* view = Child<QTreeView>("taskList");
        const QModelIndex index = m_dialog->Tasks().index(m_dialog->Tasks().RowOf(id), 0);
        view->setCurrentIndex(index);
        emit view->clicked(index);
    }

    std::vector<std::string> TaskRows()
    {
        std::vector<std::string> rows;
        for (const auto& row : m_dialog->Tasks().Rows()) {
            rows.push_back(row.name + "=" + row.time.Format());
        }
        return rows;
    }

    QString LogCell(int row, int column)
    {
        TimeLogModel& log = m_dialog->TimeLog();
        return log.data(log.index(row, column), Qt::DisplayRole).toString();
    }

    CTaskListDlg* m_dialog = nullptr;
};

TEST_F(TaskListTest, Opens_TasksByNameWithTimeOfThePeriodLogNewestFirst_CategoryFilters)
{
    const auto b = MakeTask("Beta", false);
    const auto a = MakeTask("Alpha", false);
    AddSpan(b, Utc(2008, 4, 7, 6, 0), Utc(2008, 4, 7, 7, 30));
    AddSpan(a, Utc(2008, 4, 6, 6, 0), Utc(2008, 4, 6, 8, 0)); // yesterday
    MakeCategory("Work", {b, 77});                            // 77: no such task
    m_presetSettings["Period"] = 0;
    Start();
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"Alpha=00:00:00", "Beta=01:30:00"}));
    ASSERT_EQ(m_dialog->TimeLog().rowCount(), 1);
    EXPECT_EQ(LogCell(0, 0), "Beta");
    // The old entries keep their stored indexes; a past period of as many spans still shows its own.
    EXPECT_EQ(ComboTexts(*Child<QComboBox>("periodCombo")),
              (QStringList{"This day", "This week", "This month", "This year", "All time", "Yesterday", "Last week",
                           "Last month", "Last year"}));
    Child<QComboBox>("periodCombo")->setCurrentIndex(5);
    emit Child<QComboBox>("periodCombo")->activated(5);
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"Alpha=02:00:00", "Beta=00:00:00"}));
    ASSERT_EQ(m_dialog->TimeLog().rowCount(), 1);
    EXPECT_EQ(LogCell(0, 0), "Alpha");
    Child<QComboBox>("periodCombo")->setCurrentIndex(4);
    emit Child<QComboBox>("periodCombo")->activated(4);
    EXPECT_EQ(m_settings->GetSetting("Period", -1), 4) << "stored at once, for the tray's tooltip";
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"Alpha=02:00:00", "Beta=01:30:00"}));
    ASSERT_EQ(m_dialog->TimeLog().rowCount(), 2);
    EXPECT_EQ(LogCell(1, 2), "2008-04-06 06:00:00");

    auto* combo = Child<QComboBox>("categoryCombo");
    EXPECT_EQ(ComboTexts(*combo), (QStringList{"All Tasks", "Work"}));
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    EXPECT_EQ(TaskRows(), std::vector<std::string>{"Beta=01:30:00"});
}

TEST_F(TaskListTest, TimeHeader_LongestFirstThenShortestThenNameAgain)
{
    const auto a = MakeTask("A", false);
    const auto b = MakeTask("B", false);
    const auto c = MakeTask("C", false);
    AddSpan(a, Utc(2008, 4, 7, 1, 0), Utc(2008, 4, 7, 2, 0));
    AddSpan(b, Utc(2008, 4, 7, 2, 0), Utc(2008, 4, 7, 5, 0));
    AddSpan(c, Utc(2008, 4, 7, 5, 0), Utc(2008, 4, 7, 7, 0));
    Start();
    auto* header = Child<QTreeView>("taskList")->header();
    EXPECT_TRUE(header->isSortIndicatorShown());
    emit header->sectionClicked(1);
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"B=03:00:00", "C=02:00:00", "A=01:00:00"}));
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder) << "longest first";
    emit header->sectionClicked(1);
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"A=01:00:00", "C=02:00:00", "B=03:00:00"}));
    emit header->sectionClicked(0);
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"A=01:00:00", "B=03:00:00", "C=02:00:00"}));
}

TEST_F(TaskListTest, StartTickAndStop_ChangeFilesCurrentTaskTrayAndTheRunningFigures)
{
    const auto a = MakeTask("A", false);
    const auto b = MakeTask("B", false);
    AddSpan(a, Utc(2008, 4, 7, 7, 0), Utc(2008, 4, 7, 8, 5));
    Start();
    EXPECT_FALSE(Child<QPushButton>("stopButton")->isEnabled());
    Mark(a);
    Click("startButton");
    EXPECT_TRUE(IsRunning(a));
    EXPECT_EQ(m_app->CurrentTaskId(), a);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kRunningIconId);
    // Each tick counts the running task up in place.
    m_clock->SetUtc(2008, 4, 7, 9, 0, 9);
    m_dialog->OnTick();
    EXPECT_EQ(Child<QLineEdit>("nowEdit")->text(), "A (01:05:09)");
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"A=01:05:09", "B=00:00:00"}));
    EXPECT_EQ(LogCell(0, 1), "00:00:09");
    EXPECT_EQ(LogCell(0, 3), "2008-04-07 09:00:09");

    // Starting another task stops the running one first.
    m_clock->SetUtc(2008, 4, 7, 9, 30);
    Mark(b);
    Click("startButton");
    EXPECT_FALSE(IsRunning(a));
    EXPECT_TRUE(IsRunning(b));
    Click("stopButton");
    EXPECT_FALSE(IsRunning(b));
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    EXPECT_EQ(Child<QLineEdit>("nowEdit")->text(), "");
    QCoreApplication::processEvents();
    EXPECT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kIdleIconId);

    // Stopped elsewhere: the next tick clears the running figures.
    Mark(a);
    Click("startButton");
    app::StopCurrentTask(*m_app);
    m_dialog->OnTick();
    EXPECT_EQ(Child<QLineEdit>("nowEdit")->text(), "");
}

// A double click and Enter edit the task as it is; the Edit button stops it first. The list shows the result.
TEST_F(TaskListTest, EditAndDelete_FromButtonsKeysAndDoubleClick_WithoutSelectionExplained)
{
    const auto a = MakeTask("A", true);
    const auto b = MakeTask("B", false);
    std::vector<std::int32_t> edited;
    CTaskListDlg::Dialogs dialogs;
    dialogs.editTask = [&](std::int32_t id, QWidget*) {
        edited.push_back(id);
        model::Task task = LoadTask(id);
        // Not `"A" + std::to_string(…)`, for which GCC 12 at -O3 gives a false -Wrestrict.
        task.name = std::to_string(edited.size());
        task.name.insert(task.name.begin(), 'A');
        ASSERT_TRUE(task.Save(Data()));
    };
    Start(std::move(dialogs));
    auto* view = Child<QTreeView>("taskList");
    emit view->doubleClicked(m_dialog->Tasks().index(0, 0));
    Mark(a);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_TRUE(IsRunning(a));
    EXPECT_TRUE(m_dialog->isVisible()) << "Enter on a row does not close the window";
    Click("editButton");
    EXPECT_FALSE(IsRunning(a));
    EXPECT_EQ(edited, (std::vector<std::int32_t>{a, a, a}));
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"A3=00:00:00", "B=00:00:00"}));

    Mark(a);
    Click("startButton");
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_TRUE(std::filesystem::exists(Data() / "0.tsk")) << "answered No";
    m_answerYes = true;
    Click("deleteButton");
    EXPECT_EQ(m_questions, std::vector<QString>(2, "Delete task: Are you sure that you want to delete selected task?"));
    EXPECT_FALSE(std::filesystem::exists(Data() / "0.tsk"));
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    EXPECT_EQ(TaskRows(), std::vector<std::string>{"B=00:00:00"});
    QCoreApplication::processEvents();
    EXPECT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kIdleIconId);

    // Without a selection each command asks for one and changes nothing, but Start stops the running task first.
    Mark(b);
    Click("startButton");
    view->setCurrentIndex({});
    m_dialog->StartSelectedTask();
    EXPECT_FALSE(IsRunning(b));
    m_dialog->DeleteSelectedTask();
    m_dialog->EditSelectedTask();
    m_dialog->StopCurrentTask();
    EXPECT_EQ(m_messages, (std::vector<QString>{"Error: Select task to start", "Error: Select task to delete",
                                                "Error: Select task to edit", "Error: No started tasks"}));
    EXPECT_EQ(m_questions.size(), 2u);
    EXPECT_EQ(edited.size(), 3u);
    // Adding needs no selection: the hub opens its create dialog.
    int requests = 0;
    m_app->MainWnd()->SetCommandHandler(app::kCmdCreateTask, [&] { ++requests; });
    Click("addButton");
    QCoreApplication::processEvents();
    EXPECT_EQ(requests, 1);
}

TEST_F(TaskListTest, Close_StoresPeriodAndGeometryThenHides_OrMinimisesWithoutATray)
{
    m_presetSettings["Period"] = 8;
    Start();
    EXPECT_EQ(Child<QComboBox>("periodCombo")->currentText(), "Last year");
    Child<QComboBox>("periodCombo")->setCurrentIndex(2);
    m_dialog->close();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_settings->GetSetting("Period", -1), 2);
    EXPECT_GE(m_settings->GetSetting("right", 0) - m_settings->GetSetting("left", 0), 500);
    // Every other way out of sight stores the size too: the tray menu or hotkey, Escape, the program's exit.
    const std::function<void()> hides[] = {[&] { m_app->MainWnd()->OnCommand(app::kCmdOpenTaskList); },
                                           [&] { QTest::keyClick(m_dialog, Qt::Key_Escape); },
                                           [&] { m_app->ExitInstance(); }};
    int width = 600;
    for (const auto& hide : hides) {
        m_dialog->ShowDialog();
        m_dialog->resize(++width, 400);
        hide();
        EXPECT_EQ(m_settings->GetSetting("right", 0) - m_settings->GetSetting("left", 0), width);
    }
    TearDown();
    Start();
    EXPECT_GE(m_dialog->minimumWidth(), 500);
    EXPECT_GE(m_dialog->minimumHeight(), 350);

    // Without a tray there would be no way back to a hidden window.
    m_trayAvailable = false;
    m_dialog->ShowDialog();
    m_dialog->close();
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_TRUE(m_dialog->isMinimized());
    EXPECT_TRUE(m_dialog->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
}

// The filter narrows the list as one types, in any case; Enter starts the first task shown; the tray's
// "More tasks..." puts the keyboard there.
TEST_F(TaskListTest, Filter_NarrowsIgnoringCase_EnterStartsTheFirstMatch)
{
    for (const char* name : {"Writing", "Reading", "rewrite docs", "Review"}) {
        MakeTask(name, false);
    }
    Start();
    m_dialog->ShowDialog();
    m_app->MainWnd()->OnCommand(app::kCmdMoreTasks);
    auto* filter = Child<QLineEdit>("filterEdit");
    EXPECT_EQ(m_dialog->focusWidget(), filter);
    auto* view = Child<QTreeView>("taskList");
    const auto shown = [&] {
        std::vector<std::string> names;
        for (int row = 0; row < m_dialog->Tasks().rowCount(); ++row) {
            if (!view->isRowHidden(row, {})) {
                names.push_back(m_dialog->Tasks().Rows()[static_cast<std::size_t>(row)].name);
            }
        }
        return names;
    };
    QTest::keyClicks(filter, "RIT");
    EXPECT_EQ(shown(), (std::vector<std::string>{"Writing", "rewrite docs"}));
    Mark(1); // "Reading", hidden: Start must not act on it
    Child<QComboBox>("periodCombo")->setCurrentIndex(1);
    emit Child<QComboBox>("periodCombo")->activated(1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"Writing", "rewrite docs"})) << "kept over a refill";
    EXPECT_EQ(m_dialog->SelectedTaskId(), -1);
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_TRUE(IsRunning(0));
    EXPECT_FALSE(IsRunning(1));
    filter->clear();
    EXPECT_EQ(shown().size(), 4u);
}

// Changes that keep the number of spans (a rollback, a renamed or deleted category) rebuild the time log.
TEST_F(TaskListTest, TimeLogRebuilt_AfterRollbackAndCategoryChanges)
{
    MakeTask("A", true);
    const auto b = MakeTask("B", false);
    for (const char* name : {"c", "a", "b"}) {
        MakeTask(name, false);
    }
    AddSpan(b, Utc(2008, 4, 7, 6, 0), Utc(2008, 4, 7, 7, 0));
    const auto work = MakeCategory("Work", {b});
    m_clock->SetUtc(2008, 4, 7, 10, 0);
    Start();
    ASSERT_EQ(m_dialog->TimeLog().rowCount(), 2);
    EXPECT_EQ(LogCell(1, 4), "Work");

    m_clock->SetUtc(2008, 4, 7, 12, 0);
    app::CRollbackDlg& rollback = *m_app->MainWnd()->RollbackDlg();
    rollback.ShowDialog();
    // The tasks to pass time to: letter case ignored, names equal but for case in the store's order.
    EXPECT_EQ(ComboTexts(ChildOf<QComboBox>(rollback, "taskCombo")), (QStringList{"a", "B", "b", "c"}));
    rollback.findChild<QTimeEdit*>("startTimeEdit")->setTime(QTime(10, 0));
    rollback.accept();
    QCoreApplication::processEvents();
    EXPECT_EQ(LogCell(0, 2), "2008-04-07 10:00:00");
    EXPECT_EQ(LogCell(0, 3), "2008-04-07 12:00:00");

    m_app->Store().DeleteCategory(work); // as the Task Categories dialog does, which then tells the hub
    app::PostMessage(m_app->MainWnd(), app::kMsgCategoriesChanged);
    QCoreApplication::processEvents();
    EXPECT_EQ(LogCell(1, 4), "(No category)");
}

// Editing a log row replaces its interval, merged with its neighbours. Editing the running span closes it, so the task
// is no longer current; a change made to the file meanwhile by another program is never overwritten.
TEST_F(TaskListTest, EditingALogRow_ReplacesAndMerges_TheRunningSpanEndsTracking_OutsideChangesKept)
{
    const auto a = MakeTask("A", true);
    AddSpan(a, Utc(2008, 4, 7, 6, 0), Utc(2008, 4, 7, 7, 0));
    AddSpan(a, Utc(2008, 4, 7, 8, 0), Utc(2008, 4, 7, 8, 30));
    AddSpan(MakeTask("B", false), Utc(2008, 4, 7, 6, 40), Utc(2008, 4, 7, 6, 50));
    m_answerYes = true; // both tasks keep the time they share
    std::vector<model::TimeStamp> shown;
    std::vector<bool> saved;
    model::Interval replacement(Utc(2008, 4, 7, 6, 30), Utc(2008, 4, 7, 8, 45));
    bool changeOutside = false;
    CTaskListDlg::Dialogs dialogs;
    dialogs.editInterval = [&](const model::Interval& interval, QWidget*,
                               const std::function<bool(const model::Interval&)>& save) {
        shown.push_back(interval.start);
        if (changeOutside) {
            AddSpan(a, Utc(2008, 4, 7, 5, 0), Utc(2008, 4, 7, 5, 30));
        }
        saved.push_back(save(replacement));
    };
    m_clock->SetUtc(2008, 4, 7, 10, 0);
    Start(std::move(dialogs));
    auto* log = Child<QTableView>("timeLog");
    emit log->doubleClicked(m_dialog->TimeLog().index(1, 0)); // the newest closed span
    EXPECT_EQ(SpansOf(a), "06:00-08:45 09:00-open");
    EXPECT_EQ(m_questions, std::vector<QString>{"Overlapping time: This span overlaps \"B\" 06:40:00\u201306:50:00. "
                                                "Keep both?"});
    EXPECT_EQ(m_dialog->TimeLog().rowCount(), 3);

    replacement = model::Interval(Utc(2008, 4, 7, 9, 0), Utc(2008, 4, 7, 9, 30));
    changeOutside = true;
    emit log->doubleClicked(m_dialog->TimeLog().index(0, 0));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(IsRunning(a));
    EXPECT_EQ(m_app->CurrentTaskId(), a);

    changeOutside = false;
    emit log->doubleClicked(m_dialog->TimeLog().index(0, 0));
    EXPECT_EQ(shown,
              (std::vector<model::TimeStamp>{Utc(2008, 4, 7, 8, 0), Utc(2008, 4, 7, 9, 0), Utc(2008, 4, 7, 9, 0)}));
    EXPECT_EQ(saved, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(SpansOf(a), "05:00-05:30 06:00-08:45 09:00-09:30");
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kIdleIconId);
    EXPECT_FALSE(Child<QPushButton>("stopButton")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>("nowEdit")->text(), "");
}

// Settings or another modal dialog open: a task started from outside takes the running marks all the same.
TEST_F(TaskListTest, OutsideChangesUnderAModalDialog_MoveTheRunningMarks)
{
    const auto a = MakeTask("A", true);
    const auto b = MakeTask("B", false);
    Start();
    TaskListModel& tasks = m_dialog->Tasks();
    const auto bold = [&tasks](std::int32_t id) {
        return tasks.data(tasks.index(tasks.RowOf(id), 0), Qt::FontRole).value<QFont>().bold();
    };
    std::vector<bool> marks;
    QEventLoop program; // QApplication::exec's, under the dialog's own
    QTimer::singleShot(0, &program, [&] {
        QDialog settings;
        QTimer::singleShot(0, &settings, [&] {
            m_clock->SetUtc(2008, 4, 7, 9, 30);
            model::StopTask(Data(), a);
            model::StartTask(Data(), b);
            m_app->MainWnd()->FollowFiles();
            marks = {bold(a), bold(b), !tasks.data(tasks.index(tasks.RowOf(b), 0), Qt::DecorationRole).isNull()};
            settings.reject();
        });
        settings.exec();
        program.quit();
    });
    program.exec();
    EXPECT_EQ(marks, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(m_app->CurrentTaskId(), b);
}

// The default size with a long category name and a running task with a long name.
TEST_F(TaskListTest, DefaultSize_EverythingFitsAndTheRunningTaskIsMarked)
{
    const auto a = MakeTask("Writing the quarterly report for the board of directors and the staff", true);
    MakeTask("Reading", false);
    MakeCategory(std::string(120, 'C'));
    Start();
    m_dialog->resize(700, 500);
    QCoreApplication::processEvents();
    m_clock->SetUtc(2008, 4, 7, 10, 0);
    m_dialog->OnTick();

    auto* log = Child<QTableView>("timeLog");
    EXPECT_EQ(log->horizontalScrollBar()->maximum(), 0) << "no horizontal scroll bar";
    const QFontMetrics metrics(log->font());
    for (int column = 1; column <= 3; ++column) {
        EXPECT_GE(log->horizontalHeader()->sectionSize(column), metrics.horizontalAdvance(LogCell(0, column)));
    }
    // The task pane keeps to its third, its buttons whole, and the names share all the width the times leave.
    EXPECT_LE(Child<QTreeView>("taskList")->width(), 700 / 3);
    for (QPushButton* button : m_dialog->findChildren<QPushButton*>()) {
        EXPECT_GT(button->width(), button->fontMetrics().horizontalAdvance(button->text().remove('&')));
    }
    const int names = log->viewport()->width() - 2 * log->horizontalHeader()->sectionSize(2) -
                      log->horizontalHeader()->sectionSize(1);
    EXPECT_NEAR(log->horizontalHeader()->sectionSize(0), names / 2, 1);
    EXPECT_NEAR(log->horizontalHeader()->sectionSize(4), names / 2, 1);
    auto* now = Child<QLineEdit>("nowEdit");
    EXPECT_GE(now->width(), 150) << "the category combo must not squeeze \"Now:\"";
    EXPECT_TRUE(now->text().startsWith("Writing the")) << now->text().toStdString();
    EXPECT_TRUE(now->text().endsWith("(01:00:00)")) << now->text().toStdString();
    EXPECT_TRUE(now->text().contains(QChar(0x2026)));

    TaskListModel& tasks = m_dialog->Tasks();
    for (int row = 0; row < tasks.rowCount(); ++row) {
        const bool running = tasks.Rows()[static_cast<std::size_t>(row)].id == a;
        EXPECT_EQ(tasks.data(tasks.index(row, 0), Qt::FontRole).value<QFont>().bold(), running);
        EXPECT_EQ(Child<QTreeView>("taskList")->sizeHintForRow(row),
                  Child<QTreeView>("taskList")->sizeHintForRow(1 - row))
            << "one height, running or not";
    }
    // A name cut to fit shows whole in its tooltip.
    EXPECT_EQ(m_dialog->TimeLog().data(m_dialog->TimeLog().index(0, 0), Qt::ToolTipRole).toString(),
              QString::fromStdString(LoadTask(a).name));

    // Every button and labelled field can be reached from the keyboard, each by a letter of its own.
    QString letters;
    for (QPushButton* button : m_dialog->findChildren<QPushButton*>()) {
        if (button->text() != "...") {
            letters += button->text().at(button->text().indexOf('&') + 1).toLower();
        }
    }
    for (QLabel* label : m_dialog->findChildren<QLabel*>()) {
        letters += label->text().at(label->text().indexOf('&') + 1).toLower();
    }
    for (const QChar letter : letters) {
        EXPECT_EQ(letters.count(letter), 1)
            << "mnemonic " << QString(letter).toStdString() << " in " << letters.toStdString();
    }
}

} // namespace
} // namespace kelmora::ui
