#include "app/appfixture.h"
#include "app/tracking.h"
#include "app/trayicon.h"
#include "model/category.h"
#include "ui/tasklistdlg.h"
#include "ui/tasklistmodels.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

namespace kelmora::ui {
namespace {

using app::AppTest;
using testsupport::Utc;

class TaskListTest : public AppTest
{
protected:
    void Start(CTaskListDlg::Dialogs dialogs = {})
    {
        m_app = MakeApp();
        ASSERT_TRUE(m_app->InitInstance());
        m_dialog = std::make_unique<CTaskListDlg>(*m_app->MainWnd(), std::move(dialogs));
        m_dialog->ShowDialog();
    }

    void TearDown() override
    {
        m_dialog.reset();
        if (m_app) {
            m_answerYes = false;
            m_app->ExitInstance();
        }
    }

    template <typename T> T* Child(const char* name)
    {
        T* child = m_dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

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

    void AddInterval(std::int32_t id, model::TimeStamp start, model::TimeStamp stop)
    {
        model::Task task;
        task.id = id;
        task.Load(m_dir.path() / "data");
        task.intervals.Insert(model::Interval(start, stop));
        task.Save(m_dir.path() / "data");
    }

    std::unique_ptr<app::CKelmoraApp> m_app;
    std::unique_ptr<CTaskListDlg> m_dialog;
};

TEST_F(TaskListTest, Opens_TasksByNameWithTimeOfThePeriodLogNewestFirst)
{
    const auto b = MakeTask("Beta", false);
    const auto a = MakeTask("Alpha", false);
    AddInterval(b, Utc(2008, 4, 7, 6, 0), Utc(2008, 4, 7, 7, 30));
    AddInterval(a, Utc(2008, 4, 6, 6, 0), Utc(2008, 4, 6, 8, 0)); // yesterday
    m_presetSettings["Period"] = 0;
    Start();
    EXPECT_EQ(m_dialog->windowTitle(), "Kelmora: Task List");
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"Alpha=00:00:00", "Beta=01:30:00"}));
    ASSERT_EQ(m_dialog->TimeLog().rowCount(), 1);
    EXPECT_EQ(m_dialog->TimeLog().data(m_dialog->TimeLog().index(0, 0), Qt::DisplayRole).toString(), "Beta");
    Child<QComboBox>("periodCombo")->setCurrentIndex(4);
    emit Child<QComboBox>("periodCombo")->activated(4);
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"Alpha=02:00:00", "Beta=01:30:00"}));
    ASSERT_EQ(m_dialog->TimeLog().rowCount(), 2);
    EXPECT_EQ(m_dialog->TimeLog().data(m_dialog->TimeLog().index(1, 2), Qt::DisplayRole).toString(),
              "2008-04-06 06:00:00");
    EXPECT_EQ(m_dialog->TimeLog().data(m_dialog->TimeLog().index(1, 4), Qt::DisplayRole).toString(), "(No category)");
}

TEST_F(TaskListTest, TimeHeader_LongestFirstThenShortestThenNameAgain)
{
    const auto a = MakeTask("A", false);
    const auto b = MakeTask("B", false);
    const auto c = MakeTask("C", false);
    AddInterval(a, Utc(2008, 4, 7, 1, 0), Utc(2008, 4, 7, 2, 0));
    AddInterval(b, Utc(2008, 4, 7, 2, 0), Utc(2008, 4, 7, 5, 0));
    AddInterval(c, Utc(2008, 4, 7, 5, 0), Utc(2008, 4, 7, 7, 0));
    Start();
    auto* header = Child<QTreeView>("taskList")->header();
    emit header->sectionClicked(1);
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"B=03:00:00", "C=02:00:00", "A=01:00:00"}));
    emit header->sectionClicked(1);
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"A=01:00:00", "C=02:00:00", "B=03:00:00"}));
    emit header->sectionClicked(0);
    EXPECT_EQ(TaskRows(), (std::vector<std::string>{"A=01:00:00", "B=03:00:00", "C=02:00:00"}));
}

TEST_F(TaskListTest, StartAndStop_ChangeFilesCurrentTaskAndTray)
{
    const auto a = MakeTask("A", false);
    const auto b = MakeTask("B", false);
    Start();
    EXPECT_FALSE(Child<QPushButton>("stopButton")->isEnabled());
    Mark(a);
    Click("startButton");
    EXPECT_TRUE(IsRunning(a));
    EXPECT_EQ(m_app->CurrentTaskId(), a);
    EXPECT_EQ(Child<QLineEdit>("nowEdit")->text(), "A");
    QCoreApplication::processEvents();
    EXPECT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kRunningIconId);

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
}

TEST_F(TaskListTest, MissingSelections_ExplainedAndNothingChanges)
{
    const auto a = MakeTask("A", true);
    Start();
    Child<QTreeView>("taskList")->setCurrentIndex({});
    m_dialog->StartSelectedTask(); // stops the running task, then asks for a selection
    EXPECT_FALSE(IsRunning(a));
    m_dialog->DeleteSelectedTask();
    m_dialog->EditSelectedTask();
    m_dialog->StopCurrentTask();
    EXPECT_EQ(m_messages, (std::vector<QString>{"Error: Select task to start", "Error: Select task to delete",
                                                "Error: Select task to edit", "Error: No started tasks"}));
}

TEST_F(TaskListTest, Delete_AsksStopsTheCurrentTaskAndRemovesTheRow)
{
    const auto a = MakeTask("A", true);
    MakeTask("B", false);
    Start();
    Mark(a);
    m_answerYes = false;
    Click("deleteButton");
    EXPECT_TRUE(std::filesystem::exists(m_dir.path() / "data" / "0.tsk"));
    m_answerYes = true;
    Click("deleteButton");
    EXPECT_EQ(m_questions.back(), "Delete task: Are you sure that you want to delete selected task?");
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "data" / "0.tsk"));
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    EXPECT_EQ(TaskRows(), std::vector<std::string>{"B=00:00:00"});
    QCoreApplication::processEvents();
    EXPECT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kIdleIconId);
}

TEST_F(TaskListTest, Edit_StopsTheCurrentTaskButDoubleClickDoesNot)
{
    const auto a = MakeTask("A", true);
    std::vector<std::int32_t> edited;
    CTaskListDlg::Dialogs dialogs;
    dialogs.editTask = [&](std::int32_t id, QWidget*) { edited.push_back(id); };
    Start(std::move(dialogs));
    auto* view = Child<QTreeView>("taskList");
    emit view->doubleClicked(m_dialog->Tasks().index(0, 0));
    EXPECT_TRUE(IsRunning(a));
    Mark(a);
    Click("editButton");
    EXPECT_FALSE(IsRunning(a));
    EXPECT_EQ(edited, (std::vector<std::int32_t>{a, a}));
}

TEST_F(TaskListTest, EditingALogRow_ReplacesTheIntervalAndMerges)
{
    const auto a = MakeTask("A", false);
    AddInterval(a, Utc(2008, 4, 7, 6, 0), Utc(2008, 4, 7, 7, 0));
    AddInterval(a, Utc(2008, 4, 7, 8, 0), Utc(2008, 4, 7, 8, 30));
    CTaskListDlg::Dialogs dialogs;
    dialogs.editInterval = [](const model::Interval& interval, QWidget*) {
        EXPECT_EQ(interval.start, Utc(2008, 4, 7, 8, 0));
        return std::optional<model::Interval>(model::Interval(Utc(2008, 4, 7, 6, 30), Utc(2008, 4, 7, 8, 45)));
    };
    Start(std::move(dialogs));
    auto* log = Child<QTreeView>("timeLog");
    emit log->doubleClicked(m_dialog->TimeLog().index(0, 0)); // the newest row
    model::Task task;
    task.id = a;
    task.Load(m_dir.path() / "data");
    ASSERT_EQ(task.intervals.Count(), 1);
    EXPECT_EQ(task.intervals.At(0).start, Utc(2008, 4, 7, 6, 0));
    EXPECT_EQ(task.intervals.At(0).stop, Utc(2008, 4, 7, 8, 45));
    EXPECT_EQ(m_dialog->TimeLog().rowCount(), 1);
}

TEST_F(TaskListTest, Tick_CountsTheRunningTaskUpInPlace)
{
    const auto a = MakeTask("Report", false);
    AddInterval(a, Utc(2008, 4, 7, 7, 0), Utc(2008, 4, 7, 8, 5));
    Start();
    Mark(a);
    Click("startButton");
    m_clock->SetUtc(2008, 4, 7, 9, 0, 9);
    m_dialog->OnTick();
    EXPECT_EQ(Child<QLineEdit>("nowEdit")->text(), "Report (01:05:09)");
    EXPECT_EQ(TaskRows(), std::vector<std::string>{"Report=01:05:09"});
    EXPECT_EQ(m_dialog->TimeLog().data(m_dialog->TimeLog().index(0, 1), Qt::DisplayRole).toString(), "00:00:09");
    EXPECT_EQ(m_dialog->TimeLog().data(m_dialog->TimeLog().index(0, 3), Qt::DisplayRole).toString(),
              "2008-04-07 09:00:09");
    // Stopped elsewhere: the next tick clears the running figures.
    app::StopCurrentTask(*m_app);
    m_dialog->OnTick();
    EXPECT_EQ(Child<QLineEdit>("nowEdit")->text(), "");
}

TEST_F(TaskListTest, CategoryFilter_ShowsMembersAndSkipsIdsWithoutFile)
{
    const auto a = MakeTask("A", false);
    MakeTask("B", false);
    model::TaskStore store(m_dir.path() / "data");
    store.Load();
    const auto work = store.CreateCategory("Work");
    model::Category category;
    category.SetId(work);
    category.Load(store.DataFolder());
    category.AddTask(a);
    category.AddTask(77); // no such task
    category.Save(store.DataFolder());
    Start();
    m_dialog->RefillCategories();
    auto* combo = Child<QComboBox>("categoryCombo");
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(0), "All Tasks");
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    EXPECT_EQ(TaskRows(), std::vector<std::string>{"A=00:00:00"});
}

TEST_F(TaskListTest, Close_StoresPeriodAndGeometryThenHides)
{
    Start();
    Child<QComboBox>("periodCombo")->setCurrentIndex(2);
    m_dialog->close();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_settings->GetSetting("Period", -1), 2);
    EXPECT_GE(m_settings->GetSetting("right", 0) - m_settings->GetSetting("left", 0), 500);
    EXPECT_GE(m_dialog->minimumWidth(), 500);
    EXPECT_GE(m_dialog->minimumHeight(), 350);
}

TEST_F(TaskListTest, AddTask_AsksTheHubForTheCreateDialog)
{
    Start();
    int requests = 0;
    m_app->MainWnd()->SetCommandHandler(app::kCmdCreateTask, [&] { ++requests; });
    Click("addButton");
    QCoreApplication::processEvents();
    EXPECT_EQ(requests, 1);
}

} // namespace
} // namespace kelmora::ui
