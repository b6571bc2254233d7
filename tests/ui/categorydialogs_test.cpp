#include "uifixture.h"

#include "app/tracking.h"
#include "app/trayicon.h"
#include "ui/categorydialogs.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kelmora::ui {
namespace {

using Names = std::vector<std::string>;
using Ids = std::vector<std::int32_t>;

const QString kDeleteQuestion =
    QStringLiteral("Delete Category: Do you want to delete all tasks from this category? Press \"Yes\" if you want "
                   "to delete category and all tasks from it, press \"No\" if you want to delete only category and "
                   "leave the tasks.");

class CategoryDialogsTest : public UiTest
{
protected:
    void TearDown() override
    {
        m_dlg.reset();
        UiTest::TearDown();
    }

    void Start()
    {
        AppTest::Start();
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

    // Clicks `button`, then answers the Category dialog it opens. The timer belongs to the Task Categories dialog, so
    // it cannot outlive the test and act on another test's window.
    void ClickAndName(const char* button, std::function<void(CCategoryNameDlg&)> answer)
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
        Click(button);
    }

    // An answer for ClickAndName: the name typed over the offered one, then OK.
    static std::function<void(CCategoryNameDlg&)> Type(const QString& name)
    {
        return [name](CCategoryNameDlg& dialog) {
            auto& edit = ChildOf<QLineEdit>(dialog, "nameEdit");
            edit.selectAll();
            QTest::keyClicks(&edit, name);
            ChildOf<QPushButton>(dialog, "okButton").click();
        };
    }

    void Click(const char* name) { ChildOf<QPushButton>(*m_dlg, name).click(); }

    std::string NameOf(std::int32_t categoryId)
    {
        model::Category category;
        category.SetId(categoryId);
        return category.Load(Data()) ? category.GetName() : std::string("<not loadable>");
    }

    void DamageCatalog() { testsupport::WriteFile(model::CatalogPath(Data()), "<xml><categories><category"); }

    std::unique_ptr<CCategoriesDlg> m_dlg;
    int m_refillsBefore = 0;
    bool m_nameDialogSeen = false;
    QString m_offeredName;
};

TEST_F(CategoryDialogsTest, Open_ListsEveryCategorySortedByNameAndTellsTheTaskList)
{
    MakeCategory("work");
    const std::int32_t admin = MakeCategory("Admin");
    MakeCategory("Home");
    MakeCategory("beta");
    MakeCategory("Home");
    MakeCategory("Work");
    Start();
    Open();

    // Letters before case; names equal but for case put capitals first.
    EXPECT_EQ(Listed(), (Names{"Admin", "beta", "Home", "Home", "Work", "work"}));
    EXPECT_EQ(CategoryRefills(), 1);
    EXPECT_TRUE(m_messages.empty());

    // Rename and Delete without a selection ask for one and focus the list.
    List().clearSelection();
    for (const char* button : {"renameButton", "deleteButton"}) {
        ChildOf<QPushButton>(*m_dlg, "addButton").setFocus();
        Click(button);
        EXPECT_EQ(m_dlg->focusWidget(), &List()) << button;
    }
    EXPECT_EQ(m_messages, (std::vector<QString>{"No selected category: Select category to rename it",
                                                "No selected category: Select category to delete it"}));
    EXPECT_TRUE(m_questions.empty());

    // Cancel changes nothing, yet the Task List window has already refilled its categories.
    Click("cancelButton");
    EXPECT_EQ(m_dlg->result(), QDialog::Rejected);
    EXPECT_EQ(CategoryRefills(), 1);
    EXPECT_EQ(m_app->Store().CategoryCount(), 6);
    EXPECT_EQ(NameOf(admin), "Admin");
}

// A new category is made as typed, even empty or taken, and selected. A rename offers the old name, saves the new one
// and keeps the members.
TEST_F(CategoryDialogsTest, AddAndRename_SaveTheNameAsTypedAndSelectTheCategory)
{
    const std::int32_t a = MakeTask("A", false);
    const std::int32_t home = MakeCategory("Home", {a});
    MakeCategory("Work");
    Start();
    Open();
    ClickAndName("addButton", [](CCategoryNameDlg& dialog) { ChildOf<QPushButton>(dialog, "cancelButton").click(); });
    ASSERT_TRUE(m_nameDialogSeen);
    EXPECT_EQ(m_app->Store().CategoryCount(), 2);
    EXPECT_EQ(CategoryRefills(), 1);

    ClickAndName("addButton", Type(QStringLiteral("Meetings <weekly>")));
    EXPECT_EQ(m_offeredName, "");
    EXPECT_EQ(Listed(), (Names{"Home", "Meetings <weekly>", "Work"}));
    ASSERT_NE(List().currentItem(), nullptr);
    EXPECT_EQ(List().currentItem()->text(), "Meetings <weekly>");
    ASSERT_EQ(m_app->Store().CategoryCount(), 3);
    const std::int32_t meetings = m_app->Store().CategoryIdAt(2);
    EXPECT_EQ(List().currentItem()->data(Qt::UserRole).toInt(), meetings);
    EXPECT_EQ(NameOf(meetings), "Meetings <weekly>");
    EXPECT_EQ(CategoryRefills(), 2);

    Select("Home");
    ClickAndName("renameButton", Type(QStringLiteral("Zoo")));
    EXPECT_EQ(m_offeredName, "Home");
    EXPECT_EQ(Listed(), (Names{"Meetings <weekly>", "Work", "Zoo"}));
    ASSERT_NE(List().currentItem(), nullptr);
    EXPECT_EQ(List().currentItem()->data(Qt::UserRole).toInt(), home);
    EXPECT_EQ(NameOf(home), "Zoo");
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(a), home);
    EXPECT_EQ(CategoryRefills(), 3);

    ClickAndName("addButton", Type(QStringLiteral("Zoo")));
    ClickAndName("addButton", Type(QString()));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(Listed(), (Names{"", "Meetings <weekly>", "Work", "Zoo", "Zoo"}));
}

// Cancel (Escape, or the program closing the question) keeps everything; Yes deletes the members too, stopping the
// current task first, while No keeps them without category. A member id without a task file is skipped; a current
// task of another category goes on.
TEST_F(CategoryDialogsTest, Delete_CancelKeepsAllYesDeletesTheTasksNoOnlyTheCategory)
{
    const std::int32_t a = MakeTask("A", true);
    const std::int32_t b = MakeTask("B", false);
    const std::int32_t c = MakeTask("C", false);
    const std::int32_t d = MakeTask("D", false);
    const std::int32_t work = MakeCategory("Work", {a, 77, b});
    const std::int32_t home = MakeCategory("Home", {c});
    const std::int32_t misc = MakeCategory("Misc", {d});
    Start();
    ASSERT_EQ(m_app->CurrentTaskId(), a);
    ASSERT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kRunningIconId);
    const int taskRefills = m_taskList->refills;
    Open();
    Select("Work");
    m_answer = app::Answer::Cancel;
    Click("deleteButton");
    EXPECT_EQ(m_app->Store().CategoryIds(), (Ids{work, home, misc}));
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(a), work);

    m_answer = app::Answer::Yes;
    Click("deleteButton");
    EXPECT_EQ(Listed(), (Names{"Home", "Misc"}));
    EXPECT_EQ(m_app->Store().TaskIds(), (Ids{c, d}));
    for (const std::int32_t id : {a, b, c}) {
        EXPECT_EQ(std::filesystem::exists(Data() / (std::to_string(id) + ".tsk")), id == c) << id;
    }
    EXPECT_EQ(m_app->CurrentTaskId(), -1);
    EXPECT_EQ(CategoryRefills(), 2);
    // The hub heard that nothing runs any more: idle tray icon and a refilled task list.
    EXPECT_EQ(m_app->MainWnd()->TrayIcon()->IconId(), app::kIdleIconId);
    EXPECT_GT(m_taskList->refills, taskRefills);

    app::SwitchToTask(*m_app, m_app->Store().IndexOfTask(c));
    Select("Home");
    m_answer = app::Answer::No;
    Click("deleteButton");
    EXPECT_EQ(Listed(), Names{"Misc"});
    EXPECT_EQ(m_app->Store().TaskIds(), (Ids{c, d}));
    EXPECT_EQ(m_app->Store().FindCategoryOfTask(c), -1);
    m_answer = app::Answer::Yes;
    Select("Misc");
    Click("deleteButton");
    EXPECT_EQ(m_questions, std::vector<QString>(4, kDeleteQuestion));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_app->Store().TaskIds(), Ids{c});
    EXPECT_EQ(CategoryRefills(), 4);
    EXPECT_EQ(m_app->CurrentTaskId(), c);
    EXPECT_TRUE(IsRunning(c));
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

// A damaged catalogue: each step that failed is reported, and nothing is deleted or renamed.
struct DamageCase
{
    const char* button;
    std::optional<app::Answer> answer; // the delete question's answer
    const char* typed;                 // the name typed into the Category dialog; nullptr: none opens
    bool damagedWhileTyping;           // else damaged before the click
    std::vector<const char*> messages; // "%1" stands for the category's id
    Names listed;
    int refills;
};

void PrintTo(const DamageCase& c, std::ostream* out)
{
    *out << c.button << (c.typed != nullptr ? std::string(" typing ") + c.typed : std::string());
}

class CategoryDamageTest : public CategoryDialogsTest, public ::testing::WithParamInterface<DamageCase>
{};

TEST_P(CategoryDamageTest, ReportsEachFailedStepAndKeepsTheData)
{
    const DamageCase& c = GetParam();
    const std::int32_t a = MakeTask("A", true);
    const std::int32_t home = MakeCategory("Home", {a});
    Start();
    Open();
    Select("Home");
    if (!c.damagedWhileTyping) {
        DamageCatalog();
    }
    m_answer = c.answer;
    ClickAndName(c.button, [&](CCategoryNameDlg& dialog) {
        if (c.damagedWhileTyping) {
            DamageCatalog();
        }
        Type(QString::fromUtf8(c.typed != nullptr ? c.typed : ""))(dialog);
    });

    EXPECT_EQ(m_nameDialogSeen, c.typed != nullptr);
    std::vector<QString> messages;
    for (const char* message : c.messages) {
        messages.push_back(QString::fromUtf8(message).replace("%1", QString::number(home)));
    }
    EXPECT_EQ(m_messages, messages);
    EXPECT_EQ(Listed(), c.listed);
    EXPECT_EQ(CategoryRefills(), c.refills);
    EXPECT_EQ(m_app->Store().CategoryIds(), Ids{home});
    EXPECT_EQ(m_app->Store().TaskIds(), Ids{a});
    // Nothing was deleted, so the tracked task goes on.
    EXPECT_EQ(m_app->CurrentTaskId(), a);
    EXPECT_TRUE(IsRunning(a));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CategoryDamageTest,
    ::testing::Values(
        DamageCase{"addButton", {}, "New one", false, {"Error: Failed to create category \"New one\""}, {"Home"}, 1},
        DamageCase{"renameButton", {}, nullptr, false, {"Error: Failed to load category \"Home\""}, {"Home"}, 1},
        DamageCase{"renameButton", {}, "House", true, {"Error: Failed to save category \"House\""}, {"Home"}, 1},
        DamageCase{"deleteButton",
                   app::Answer::Yes,
                   nullptr,
                   false,
                   {"Error: Failed to delete tasks from category", "Error: Failed to delete category",
                    "Error: Failed to load category with id = %1"},
                   {},
                   2},
        DamageCase{"deleteButton",
                   app::Answer::No,
                   nullptr,
                   false,
                   {"Error: Failed to delete category", "Error: Failed to load category with id = %1"},
                   {},
                   2}),
    [](const ::testing::TestParamInfo<DamageCase>& param) { return "Case" + std::to_string(param.index); });

TEST(CategoryDlg, OffersTheNameSelectedAndTypingReplacesIt)
{
    CCategoryNameDlg dialog;
    EXPECT_EQ(ChildOf<QLabel>(dialog, "nameLabel").text(), "&Category:");
    auto& edit = ChildOf<QLineEdit>(dialog, "nameEdit");
    EXPECT_EQ(ChildOf<QLabel>(dialog, "nameLabel").buddy(), &edit);
    EXPECT_EQ(dialog.focusWidget(), &edit);

    dialog.SetName(QStringLiteral("Home"));
    EXPECT_EQ(edit.selectedText(), "Home");
    QTest::keyClicks(&edit, QStringLiteral("Garden"));
    EXPECT_EQ(dialog.Name(), "Garden");
    EXPECT_TRUE(ChildOf<QPushButton>(dialog, "okButton").isDefault());
}

} // namespace
} // namespace kelmora::ui
