#include "model/category.h"
#include "model/task.h"
#include "model/taskstore.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace kelmora::model {
namespace {

using testsupport::ReadFile;
using testsupport::ScopedFakeClock;
using testsupport::TempDir;
using testsupport::Utc;
using testsupport::WriteFile;

constexpr const char* kEmptyCatalog = "\r\n\r\n<xml>\r\n\t<categories/>\r\n\t<next_id>1</next_id>\r\n</xml>";

class CategoryTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_store.Load()); }

    Category Loaded(std::int32_t id)
    {
        Category category;
        category.SetId(id);
        EXPECT_TRUE(category.Load(m_dir.path()));
        return category;
    }

    std::string Catalog() { return ReadFile(m_dir.path() / "categories.xml"); }

    TempDir m_dir;
    TaskStore m_store{m_dir.path()};
};

// The first start writes the empty catalogue; each new category is written exactly and advances the next id.
TEST_F(CategoryTest, FirstStartAndCreateCategory_ExactFileTextAndNextId)
{
    EXPECT_EQ(Catalog(), kEmptyCatalog);
    EXPECT_EQ(m_store.CategoryCount(), 0);
    EXPECT_EQ(CategoryCatalog(m_dir.path()).ReadNextCategoryId(), 1);
    EXPECT_EQ(m_store.CreateCategory("Work"), 1);
    EXPECT_EQ(Catalog(), "\r\n\r\n<xml>\r\n\t<categories>\r\n\t\t<category name=\"Work\" id=\"1\" />\r\n"
                         "\t</categories>\r\n\t<next_id>2</next_id>\r\n</xml>");
    EXPECT_EQ(m_store.CreateCategory("Home"), 2);
    EXPECT_EQ(m_store.CategoryIds(), (std::vector<std::int32_t>{1, 2}));
}

TEST_F(CategoryTest, MembersWrittenOnePerLineAndReadBackWithoutGrowing)
{
    const std::int32_t id = m_store.CreateCategory("Work");
    Category work = Loaded(id);
    EXPECT_TRUE(work.AddTask(3));
    EXPECT_TRUE(work.AddTask(0));
    EXPECT_FALSE(work.AddTask(3));
    EXPECT_FALSE(work.AddTask(-2));
    ASSERT_TRUE(work.Save(m_dir.path()));
    EXPECT_EQ(Catalog(), "\r\n\r\n<xml>\r\n\t<categories>\r\n\t\t<category name=\"Work\" id=\"1\" >\r\n"
                         "\t\t\t<task id=\"3\" />\r\n\t\t\t<task id=\"0\" />\r\n\t\t</category>\r\n"
                         "\t</categories>\r\n\t<next_id>2</next_id>\r\n</xml>");
    Category back = Loaded(id);
    EXPECT_EQ(back.TaskIds(), (std::vector<std::int32_t>{3, 0}));
    EXPECT_EQ(back.TaskIdAt(1), 0);
    EXPECT_EQ(back.TaskIdAt(2), -1);
    EXPECT_TRUE(back.RemoveTask(3));
    EXPECT_FALSE(back.RemoveTask(3));
    EXPECT_EQ(back.TaskCount(), 1);
    // Rewriting what was read does not grow the file.
    const std::string once = Catalog();
    for (int i = 0; i < 3; ++i) {
        Loaded(id).Save(m_dir.path());
    }
    EXPECT_EQ(Catalog(), once);
}

TEST_F(CategoryTest, FindCategoryOfTask_FirstListingInStoreOrderSavingMovesToTheEnd)
{
    const std::int32_t a = m_store.CreateCategory("A");
    const std::int32_t b = m_store.CreateCategory("B");
    for (const std::int32_t id : {b, a}) {
        Category category = Loaded(id);
        category.AddTask(7);
        category.Save(m_dir.path());
    }
    EXPECT_EQ(m_store.FindCategoryOfTask(7), a);
    EXPECT_EQ(m_store.FindCategoryOfTask(8), -1);
    EXPECT_EQ(m_store.FindCategoryOfTask(-1), -1);
    // Saving moved each category to the end of the file.
    TaskStore reloaded(m_dir.path());
    reloaded.Load();
    EXPECT_EQ(reloaded.CategoryIds(), (std::vector<std::int32_t>{b, a}));
}

TEST_F(CategoryTest, DeleteCategory_AlsoWhenNotInTheFileNoIdentityRefusesEverything)
{
    const std::int32_t id = m_store.CreateCategory("A");
    EXPECT_TRUE(m_store.DeleteCategory(id));
    EXPECT_EQ(m_store.CategoryCount(), 0);
    EXPECT_TRUE(m_store.DeleteCategory(42));
    EXPECT_FALSE(m_store.DeleteCategory(-1));
    Category gone;
    gone.SetId(id);
    EXPECT_FALSE(gone.Load(m_dir.path()));
    // A category without an identity refuses everything.
    Category none;
    EXPECT_FALSE(none.SetId(-3));
    EXPECT_EQ(none.Id(), -1);
    none.SetName("x");
    EXPECT_EQ(none.GetName(), "");
    EXPECT_FALSE(none.AddTask(1));
    EXPECT_FALSE(none.HasTask(1));
    EXPECT_EQ(none.TaskCount(), 0);
    EXPECT_FALSE(none.Load(m_dir.path()));
    EXPECT_FALSE(none.Save(m_dir.path()));
}

TEST_F(CategoryTest, DeletingTasks_RemovesThemFromEveryCategoryInPlace)
{
    const std::int32_t keep = m_store.CreateTask("keep");
    const std::int32_t drop = m_store.CreateTask("drop");
    const std::int32_t a = m_store.CreateCategory("A");
    const std::int32_t b = m_store.CreateCategory("B");
    for (const std::int32_t id : {a, b}) {
        Category category = Loaded(id);
        category.AddTask(drop);
        category.AddTask(keep);
        category.Save(m_dir.path());
    }
    {
        // A catalogue that cannot be written keeps the task, and says which categories still list it.
        testsupport::ScopedFileSizeLimit limit(0);
        std::string error;
        EXPECT_FALSE(m_store.DeleteTask(drop, &error));
        EXPECT_NE(error.find("the task stays, since it could not be taken out of the category \"A\", \"B\": "),
                  std::string::npos)
            << error;
    }
    ASSERT_TRUE(m_store.DeleteTask(drop));
    EXPECT_EQ(Loaded(a).TaskIds(), std::vector<std::int32_t>{keep});
    EXPECT_EQ(Loaded(b).TaskIds(), std::vector<std::int32_t>{keep});
    TaskStore reloaded(m_dir.path());
    reloaded.Load();
    EXPECT_EQ(reloaded.CategoryIds(), (std::vector<std::int32_t>{a, b}));

    // Deleting the tasks of a category deletes its members, and so empties every category listing them.
    const std::int32_t other = m_store.CreateTask("other");
    Category members = Loaded(a);
    members.AddTask(m_store.CreateTask("second member"));
    members.Save(m_dir.path());
    ASSERT_TRUE(m_store.DeleteTasksOfCategory(a));
    EXPECT_EQ(m_store.TaskIds(), std::vector<std::int32_t>{other});
    EXPECT_EQ(Loaded(a).TaskCount(), 0);
    EXPECT_EQ(Loaded(b).TaskCount(), 0);
    EXPECT_FALSE(m_store.DeleteTasksOfCategory(99));
}

TEST_F(CategoryTest, Totals_SumMembersZeroWhenOneIsMissing)
{
    ScopedFakeClock clock(2008, 1, 2, 12, 0);
    const std::int32_t t1 = m_store.CreateTask("t1");
    const std::int32_t t2 = m_store.CreateTask("t2");
    for (const auto& [id, hours] : {std::pair{t1, 1}, std::pair{t2, 2}}) {
        Task task;
        task.id = id;
        task.Load(m_dir.path());
        task.intervals.Insert(Interval(Utc(2008, 1, 1, 9, 0), Utc(2008, 1, 1, 9 + hours, 0)));
        task.Save(m_dir.path());
    }
    Category category = Loaded(m_store.CreateCategory("A"));
    category.AddTask(t1);
    category.AddTask(t2);
    EXPECT_EQ(category.Total(m_dir.path()).Format(), "03:00:00");
    EXPECT_EQ(category.TotalIn(m_dir.path(), Interval(Utc(2008, 1, 1, 9, 30), Utc(2008, 1, 1, 10, 30))).Format(),
              "01:30:00");
    category.AddTask(99);
    EXPECT_EQ(category.Total(m_dir.path()), TimeSpan());
    EXPECT_EQ(Category().Total(m_dir.path()), TimeSpan());
}

TEST_F(CategoryTest, DamagedOrUnwritableCatalogue_SavesRefusedNothingOverwritten)
{
    const std::string damaged = "<xml><categories><category name=\"A\" id=\"1\"></xml";
    WriteFile(m_dir.path() / "categories.xml", damaged);
    EXPECT_EQ(CategoryCatalog(m_dir.path()).ReadNextCategoryId(), 1);
    TaskStore store(m_dir.path());
    std::string error;
    EXPECT_FALSE(store.Load(&error));
    EXPECT_NE(error.find("categories.xml"), std::string::npos);
    EXPECT_EQ(store.CategoryCount(), 0);
    Category category;
    category.SetId(1);
    EXPECT_FALSE(category.Save(m_dir.path()));
    EXPECT_EQ(store.CreateCategory("B"), -1);
    EXPECT_EQ(Catalog(), damaged);
    // An element whose name starts with vertical tabs reads, but its closing tag would not.
    const std::string handEdited = "<xml>\r\n<categories>\r\n<category name=\"A\" id=\"1\"/>\r\n<\v\vK id=\"2\">\r\n";
    WriteFile(m_dir.path() / "categories.xml", handEdited);
    category = Loaded(1);
    EXPECT_EQ(category.GetName(), "A");
    category.SetName("B");
    EXPECT_FALSE(category.Save(m_dir.path(), &error));
    EXPECT_NE(error.find("left unchanged"), std::string::npos);
    EXPECT_EQ(Catalog(), handEdited);
    EXPECT_EQ(Loaded(1).GetName(), "A");
}

TEST_F(CategoryTest, HandWrittenCatalogue_MissingIdsAndNextIdTolerated)
{
    WriteFile(m_dir.path() / "categories.xml",
              "<xml><categories><category name=\"NoId\"><task id=\"4\"/></category>"
              "<category name=\"A\" id=\"5\"><task/><task id=\"-2\"/><task id=\" 3x\"/></category>"
              "</categories></xml>");
    TaskStore store(m_dir.path());
    ASSERT_TRUE(store.Load());
    EXPECT_EQ(store.CategoryIds(), std::vector<std::int32_t>{5});
    EXPECT_EQ(Loaded(5).TaskIds(), std::vector<std::int32_t>{3});
    EXPECT_EQ(CategoryCatalog(m_dir.path()).ReadNextCategoryId(), 0);
    // Without next_id the catalogue cannot record the next id, but a new category still never takes an
    // id that is in use.
    EXPECT_EQ(store.CreateCategory("B"), 6);
}

TEST_F(CategoryTest, NamesWithQuotesMarkupAndReferences_ReadBackAsTyped)
{
    for (const std::string name :
         {"a \"quoted\" name", "back\\slash\\", "<b>bold</b> & co", "  blanks  ", "it's", "tab\there", "ümlaut",
          "a&#000;b", "&#65;", "&amp;", "x\\&#000;", "\\", "&#000", "> / = ?>", "<!-- x -->", "\\\""}) {
        SCOPED_TRACE(name);
        const std::int32_t id = m_store.CreateCategory(name);
        ASSERT_GE(id, 0);
        EXPECT_EQ(Loaded(id).GetName(), name);
    }
    // A zero byte cannot be written so that it reads back: refused, old file kept.
    const std::string before = Catalog();
    Category category = Loaded(1);
    category.SetName(std::string("a\0b", 3));
    std::string error;
    EXPECT_FALSE(category.Save(m_dir.path(), &error));
    EXPECT_NE(error.find("left unchanged"), std::string::npos);
    EXPECT_EQ(Catalog(), before);
}

TEST(ParseLeadingInt, LikeTheStoredNumbersAlwaysRead)
{
    EXPECT_EQ(ParseLeadingInt("12"), 12);
    EXPECT_EQ(ParseLeadingInt("  -7x"), -7);
    EXPECT_EQ(ParseLeadingInt("+3"), 3);
    EXPECT_EQ(ParseLeadingInt("abc"), 0);
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999"), INT32_MIN);
}

} // namespace
} // namespace kelmora::model
