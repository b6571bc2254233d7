#include "app/appfixture.h"
#include "app/trayicon.h"
#include "model/category.h"
#include "ui/categorydialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace kelmora::ui {
namespace {

using app::AppTest;
using Names = std::vector<std::string>;

const QString kDeleteQuestion =
    QStringLiteral("Delete Category: Do you want to delete all tasks from this category? Press \"Yes\" if you want "
                   "to delete category and all tasks from it, press \"No\" if you want to delete only category and "
                   "leave the tasks.");

template <typename Widget> Widget& ChildOf(QWidget& parent, const char* name)
{
    auto* widget = parent.findChild<Widget*>(QString::fromLatin1(name));
    if (widget == nullptr) {
        ADD_FAILURE() << "no child " << name;
        std::abort();
    }
    return *widget;
}

class CategoryDialogsTest : public AppTest
{
protected:
    void TearDown() override
    {
        m_dlg.reset();
        if (m_app) {
            m_answerYes = false;
            m_app->ExitInstance();
        }
    }

    std::filesystem::path Data() const { return m_dir.path() / "data"; }

    // A category made before the program starts, holding the given tasks.
    std::int32_t MakeCategory(const std::string& name, const std::vector<std::int32_t>& taskIds = {})
    {
        model::TaskStore store(Data());
        std::filesystem::create_directories(Data());
        store.Load();
        const std::int32_t id = store.CreateCategory(name);
        model::Category category;
        category.SetId(id);
        EXPECT_TRUE(category.Load(Data()));
        for (const std::int32_t taskId : taskIds) {
            category.AddTask(taskId);
        }
        EXPECT_TRUE(category.Save(Data()));
        return id;
    }

    void Start()
    {
        m_app = MakeApp();
        ASSERT_TRUE(m_app->InitInstance());
        // Start-up's own messages are handled first, so every later count is the dialog's doing.
        QCoreApplication::processEvents();
        ASSERT_NE(m_taskList, nullptr);
        m_refillsBefore = m_taskList->categoryRefills;
    }

    void Open()
    {
        m_dlg = std::make_unique<CCategoriesDlg>(*m_app);
        m_dlg->show();
    }

    // How many times the Task List window was asked to refill its categories since Start.
    int CategoryRefills()
    {
        QCoreApplication::processEvents();
        return m_taskList->categoryRefills - m_refillsBefore;
    }

    QListWidget& List() { return ChildOf<QListWidget>(*m_dlg, "categoryList"); }

    Names Listed()
    {
        Names names;
        for (int row = 0; row < List().count(); ++row) {
            names.push_back(List().item(row)->text().toStdString());
        }
        return names;
    }

    void Select(const QString& name)
    {
        const auto found = List().findItems(name, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << name.toStdString();
        List().setCurrentItem(found.front());
    }

    // Answers the Category dialog that the next click opens. The timer belongs to the Task Categories
    // dialog, so it cannot outlive the test and act on another test's window.
    void WhenNameDialogOpens(std::function<void(CCategoryNameDlg&)> answer)
    {
        m_nameDialogSeen = false;
        QTimer::singleShot(0, m_dlg.get(), [this, answer = std::move(answer)] {
            auto* dialog = qobject_cast<CCategoryNameDlg*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            m_nameDialogSeen = true;
            m_offeredName = ChildOf<QLineEdit>(*dialog, "nameEdit").text();
            answer(*dialog);
        });
    }

    static void TypeAndConfirm(CCategoryNameDlg& dialog, const QString& name)
    {
        auto& edit = ChildOf<QLineEdit>(dialog, "nameEdit");
        edit.selectAll();
        QTest::keyClicks(&edit, name);
        ChildOf<QPushButton>(dialog, "okButton").click();
    }

    void Click(const char* name) { ChildOf<QPushButton>(*m_dlg, name).click(); }

    std::string NameOf(std::int32_t categoryId)
    {
        model::Category category;
        category.SetId(categoryId);
        return category.Load(Data()) ? category.GetName() : std::string("<not loadable>");
    }

    void DamageCatalog() { testsupport::WriteFile(model::CatalogPath(Data()), "<xml><categories><category"); }

    std::unique_ptr<app::CKelmoraApp> m_app;
    std::unique_ptr<CCategoriesDlg> m_dlg;
    int m_refillsBefore = 0;
    bool m_nameDialogSeen = false;
    QString m_offeredName;
};

TEST_F(CategoryDialogsTest, Open_ListsEveryCategorySortedByNameAndTellsTheTaskList)
{
    const std::int32_t work = MakeCategory("work");
    const std::int32_t admin = MakeCategory("Admin");
    MakeCategory("Home");
    MakeCategory("Home");
    MakeCategory("Work");
    Start();
    Open();

    EXPECT_EQ(m_dlg->windowTitle(), "Task Categories");
    EXPECT_EQ(Listed(), (Names{"Admin", "Home", "Home", "Work", "work"}));
    EXPECT_EQ(List().item(0)->data(Qt::UserRole).toInt(), admin);
    EXPECT_EQ(List().item(4)->data(Qt::UserRole).toInt(), work);
    EXPECT_EQ(CategoryRefills(), 1);
    EXPECT_TRUE(m_messages.empty());

    // Cancel changes nothing, yet the Task List window has already refilled its categories.
    Click("cancelButton");
    EXPECT_EQ(m_dlg->result(), QDialog::Rejected);
    EXPECT_EQ(CategoryRefills(), 1);
    EXPECT_EQ(m_app->Store().CategoryCount(), 5);
}

TEST_F(CategoryDialogsTest, AddNew_CreatesTheCategoryAsTypedSelectsItAndTellsTheTaskList)
{
    MakeCategory("Home");
    Start();
    Open();

    WhenNameDialogOpens([](CCategoryNameDlg& dialog) { TypeAndConfirm(dialog, QStringLiteral("Meetings <weekly>")); });
    Click("addButton");

    ASSERT_TRUE(m_nameDialogSeen);
    EXPECT_EQ(m_offeredName, "");
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(Listed(), (Names{"Home", "Meetings <weekly>"}));
    ASSERT_NE(List().currentItem(), nullptr);
    EXPECT_EQ(List().currentItem()->text(), "Meetings <weekly>");
    ASSERT_EQ(m_app->Store().CategoryCount(), 2);
    const std::int32_t id = m_app->Store().CategoryIdAt(1);
    EXPECT_EQ(List().currentItem()->data(Qt::UserRole).toInt(), id);
    EXPECT_EQ(NameOf(id), "Meetings <weekly>");
    EXPECT_EQ(CategoryRefills(), 2);
}

TEST_F(CategoryDialogsTest, AddNewCancelled_CreatesNothing)
{
    Start();
    Open();
    WhenNameDialogOpens([](CCategoryNameDlg& dialog) { ChildOf<QPushButton>(dialog, "cancelButton").click(); });
    Click("addButton");

    ASSERT_TRUE(m_nameDialogSeen);
    EXPECT_EQ(m_app->Store().CategoryCount(), 0);
    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ(CategoryRefills(), 1);
}

TEST_F(CategoryDialogsTest, AddNewWithAnEmptyOrExistingName_IsAccepted)
{
    MakeCategory("Home");
    Start();
    Open();
    WhenNameDialogOpens([](CCategoryNameDlg& dialog) { TypeAndConfirm(dialog, QStringLiteral("Home")); });
    Click("addButton");
    WhenNameDialogOpens([](CCategoryNameDlg& dialog) { TypeAndConfirm(dialog, QString()); });
    Click("addButton");

    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(Listed(), (Names{"", "Home", "Home"}));
    EXPECT_EQ(m_app->Store().CategoryCount(), 3);
}

TEST_F(CategoryDialogsTest, Rename_OffersTheOldNameSavesTheNewOneAndKeepsTheMembers)
{
    const std::int32_t a = MakeTask("A", false);
    const std::int32_t home = MakeCategory("Home", {a});
    MakeCategory("Work");
    Start();
    Open();
    Select("Home");

    WhenNameDialogOpens([](CCategoryNameDlg& dialog) { TypeAndConfirm(dialog, QStringLiteral("Zoo")); });
    Click("renameButton");

    ASSERT_TRUE(m_nameDialogSeen);
    EXPECT_EQ(m_offeredName, "Home");
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(Listed(), (Names{"Work", "Zoo"}));
    ASSERT_NE(List().currentItem(), nullptr);
    EXPECT_EQ(List().currentItem()->data(Qt::UserRole).toInt(), home);
    EXPECT_EQ(NameOf(home), "Zoo");
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(a), home);
    EXPECT_EQ(CategoryRefills(), 2);
}

TEST_F(CategoryDialogsTest, RenameToTheSameName_SavesAgainAndRefills)
{
    const std::int32_t home = MakeCategory("Home");
    MakeCategory("Work");
    Start();
    Open();
    Select("Home");
    WhenNameDialogOpens([](CCategoryNameDlg& dialog) { ChildOf<QPushButton>(dialog, "okButton").click(); });
    Click("renameButton");

    ASSERT_TRUE(m_nameDialogSeen);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(NameOf(home), "Home");
    // A save moves the category's element to the end of the file.
    model::TaskStore reread(Data());
    reread.Load();
    EXPECT_EQ(reread.CategoryIds().back(), home);
    EXPECT_EQ(CategoryRefills(), 2);
}

TEST_F(CategoryDialogsTest, RenameOrDeleteWithoutSelection_AsksForOneAndFocusesTheList)
{
    MakeCategory("Home");
    Start();
    Open();
    List().clearSelection();
    ChildOf<QPushButton>(*m_dlg, "addButton").setFocus();

    Click("renameButton");
    EXPECT_EQ(m_dlg->focusWidget(), &List());
    ChildOf<QPushButton>(*m_dlg, "addButton").setFocus();
    Click("deleteButton");
    EXPECT_EQ(m_dlg->focusWidget(), &List());

    EXPECT_EQ(m_messages, (std::vector<QString>{"No selected category: Select category to rename it",
                                                "No selected category: Select category to delete it"}));
    EXPECT_TRUE(m_questions.empty());
    EXPECT_EQ(m_app->Store().CategoryCount(), 1);
    EXPECT_EQ(NameOf(m_app->Store().CategoryIdAt(0)), "Home");
}

TEST_F(CategoryDialogsTest, DeleteAnsweredNo_RemovesOnlyTheCategoryAndItsTasksStayWithoutCategory)
{
    const std::int32_t a = MakeTask("A", false);
    const std::int32_t b = MakeTask("B", true);
    MakeCategory("Work", {a, b});
    const std::int32_t home = MakeCategory("Home");
    Start();
    ASSERT_EQ(m_app->CurrentTaskId(), b);
    Open();
    Select("Work");
    m_answer = app::Answer::No;
    Click("deleteButton");

    EXPECT_EQ(m_questions, std::vector<QString>{kDeleteQuestion});
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(Listed(), Names{"Home"});
    EXPECT_EQ(m_app->Store().CategoryIds(), std::vector<std::int32_t>{home});
    EXPECT_EQ(m_app->Store().TaskIds(), (std::vector<std::int32_t>{a, b}));
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(a), -1);
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(b), -1);
    // The running task is not touched when its tasks stay.
    EXPECT_EQ(m_app->CurrentTaskId(), b);
    EXPECT_TRUE(IsRunning(b));
    EXPECT_EQ(CategoryRefills(), 2);
}

// Escape (or the program closing the question) cancels: neither the category nor a task goes.
TEST_F(CategoryDialogsTest, DeleteCancelled_NothingIsDeleted)
{
    const std::int32_t a = MakeTask("A", false);
    const std::int32_t work = MakeCategory("Work", {a});
    Start();
    Open();
    Select("Work");
    m_answer = app::Answer::Cancel;
    Click("deleteButton");
    EXPECT_EQ(m_questions, std::vector<QString>{kDeleteQuestion});
    EXPECT_EQ(m_app->Store().CategoryIds(), std::vector<std::int32_t>{work});
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(a), work);
}

TEST_F(CategoryDialogsTest, DeleteAnsweredYes_DeletesItsTasksAndStopsTheCurrentTaskFirst)
{
    const std::int32_t a = MakeTask("A", true);
    const std::int32_t b = MakeTask("B", false);
    const std::int32_t c = MakeTask("C", false);
    MakeCategory("Work", {a, b});
    MakeCategory("Home", {c});
    Start();
    ASSERT_EQ(m_app->CurrentTaskId(), a);
    ASSERT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kRunningIconId);
    const int taskRefills = m_taskList->refills;
    Open();
    Select("Work");
    m_answerYes = true;
    Click("deleteButton");

    EXPECT_EQ(m_questions, std::vector<QString>{kDeleteQuestion});
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(Listed(), Names{"Home"});
    EXPECT_EQ(m_app->Store().TaskIds(), std::vector<std::int32_t>{c});
    EXPECT_FALSE(std::filesystem::exists(Data() / (std::to_string(a) + ".tsk")));
    EXPECT_FALSE(std::filesystem::exists(Data() / (std::to_string(b) + ".tsk")));
    EXPECT_TRUE(std::filesystem::exists(Data() / (std::to_string(c) + ".tsk")));
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    EXPECT_EQ(CategoryRefills(), 2);
    // The hub heard that nothing runs any more: idle tray icon and a refilled task list.
    EXPECT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kIdleIconId);
    EXPECT_GT(m_taskList->refills, taskRefills);
}

TEST_F(CategoryDialogsTest, DeleteAnsweredYes_LeavesACurrentTaskOfAnotherCategoryRunning)
{
    const std::int32_t a = MakeTask("A", false);
    const std::int32_t c = MakeTask("C", true);
    MakeCategory("Work", {a});
    MakeCategory("Home", {c});
    Start();
    ASSERT_EQ(m_app->CurrentTaskId(), c);
    Open();
    Select("Work");
    m_answerYes = true;
    Click("deleteButton");

    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_app->Store().TaskIds(), std::vector<std::int32_t>{c});
    EXPECT_EQ(m_app->CurrentTaskId(), c);
    EXPECT_TRUE(IsRunning(c));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kRunningIconId);
}

TEST_F(CategoryDialogsTest, DeleteAnsweredYes_MemberWithoutTaskFileIsSkipped)
{
    const std::int32_t a = MakeTask("A", false);
    MakeCategory("Work", {a, 77});
    Start();
    Open();
    Select("Work");
    m_answerYes = true;
    Click("deleteButton");

    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ(m_app->Store().TaskCount(), 0);
    EXPECT_EQ(m_app->Store().CategoryCount(), 0);
}

TEST_F(CategoryDialogsTest, CategoryMissingWhileFilling_SaysWhichAndKeepsTheOnesReadBefore)
{
    MakeCategory("Beta");
    const std::int32_t gone = MakeCategory("Alpha");
    MakeCategory("Gamma");
    Start();
    ASSERT_TRUE(model::CategoryCatalog(Data()).RemoveCategory(gone));
    Open();

    EXPECT_EQ(m_messages,
              std::vector<QString>{QStringLiteral("Error: Failed to load category with id = %1").arg(gone)});
    EXPECT_EQ(Listed(), Names{"Beta"});
    // The Task List window still rereads the catalogue; it must not keep offering a category that is gone.
    EXPECT_EQ(CategoryRefills(), 1);
}

TEST_F(CategoryDialogsTest, AddNewWithDamagedCatalog_SaysCreationFailed)
{
    MakeCategory("Home");
    Start();
    Open();
    DamageCatalog();
    WhenNameDialogOpens([](CCategoryNameDlg& dialog) { TypeAndConfirm(dialog, QStringLiteral("New one")); });
    Click("addButton");

    EXPECT_EQ(m_messages, std::vector<QString>{"Error: Failed to create category \"New one\""});
    EXPECT_EQ(Listed(), Names{"Home"});
    EXPECT_EQ(m_app->Store().CategoryCount(), 1);
    EXPECT_EQ(CategoryRefills(), 1);
}

TEST_F(CategoryDialogsTest, RenameOfACategoryThatCannotBeLoaded_SaysSoWithoutAskingForAName)
{
    MakeCategory("Home");
    Start();
    Open();
    Select("Home");
    DamageCatalog();
    WhenNameDialogOpens([](CCategoryNameDlg& dialog) { dialog.reject(); });
    Click("renameButton");

    EXPECT_FALSE(m_nameDialogSeen);
    EXPECT_EQ(m_messages, std::vector<QString>{"Error: Failed to load category \"Home\""});
    EXPECT_EQ(Listed(), Names{"Home"});
}

TEST_F(CategoryDialogsTest, RenameWhoseSaveFails_SaysSoWithTheEnteredName)
{
    MakeCategory("Home");
    Start();
    Open();
    Select("Home");
    // The catalogue breaks while the user types the new name.
    WhenNameDialogOpens([this](CCategoryNameDlg& dialog) {
        DamageCatalog();
        TypeAndConfirm(dialog, QStringLiteral("House"));
    });
    Click("renameButton");

    ASSERT_TRUE(m_nameDialogSeen);
    EXPECT_EQ(m_messages, std::vector<QString>{"Error: Failed to save category \"House\""});
    EXPECT_EQ(Listed(), Names{"Home"});
    EXPECT_EQ(CategoryRefills(), 1);
}

TEST_F(CategoryDialogsTest, DeleteWithDamagedCatalog_ReportsEachFailedStepAndKeepsTheTasks)
{
    const std::int32_t a = MakeTask("A", true);
    const std::int32_t home = MakeCategory("Home", {a});
    Start();
    Open();
    Select("Home");
    DamageCatalog();
    m_answerYes = true;
    Click("deleteButton");

    EXPECT_EQ(m_messages, (std::vector<QString>{
                              "Error: Failed to delete tasks from category",
                              "Error: Failed to delete category",
                              QStringLiteral("Error: Failed to load category with id = %1").arg(home),
                          }));
    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ(m_app->Store().CategoryIds(), std::vector<std::int32_t>{home});
    EXPECT_EQ(m_app->Store().TaskIds(), std::vector<std::int32_t>{a});
    // Nothing was deleted, so the tracked task goes on.
    EXPECT_EQ(m_app->CurrentTaskId(), a);
    EXPECT_TRUE(IsRunning(a));
}

TEST_F(CategoryDialogsTest, DeleteAnsweredNoWithDamagedCatalog_ReportsOnlyTheCategoryStep)
{
    const std::int32_t home = MakeCategory("Home");
    Start();
    Open();
    Select("Home");
    DamageCatalog();
    m_answer = app::Answer::No;
    Click("deleteButton");

    EXPECT_EQ(m_messages, (std::vector<QString>{
                              "Error: Failed to delete category",
                              QStringLiteral("Error: Failed to load category with id = %1").arg(home),
                          }));
    EXPECT_EQ(m_app->Store().CategoryIds(), std::vector<std::int32_t>{home});
}

TEST(CategoryDlg, OffersTheNameSelectedAndTypingReplacesIt)
{
    CCategoryNameDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Category");
    EXPECT_EQ(ChildOf<QLabel>(dialog, "nameLabel").text(), "&Category:");
    auto& edit = ChildOf<QLineEdit>(dialog, "nameEdit");
    EXPECT_EQ(ChildOf<QLabel>(dialog, "nameLabel").buddy(), &edit);
    EXPECT_EQ(dialog.Name(), "");
    EXPECT_EQ(dialog.focusWidget(), &edit);

    dialog.SetName(QStringLiteral("Home"));
    EXPECT_EQ(edit.selectedText(), "Home");
    QTest::keyClicks(&edit, QStringLiteral("Garden"));
    EXPECT_EQ(dialog.Name(), "Garden");
    EXPECT_TRUE(ChildOf<QPushButton>(dialog, "okButton").isDefault());
}

} // namespace
} // namespace kelmora::ui
