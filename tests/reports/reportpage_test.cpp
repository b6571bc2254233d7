#include "model/category.h"
#include "model/taskfile.h"
#include "model/taskstore.h"
#include "model/textsink.h"
#include "model/timelog.h"
#include "reports/exportformat.h"
#include "reports/reportpage.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace kelmora::reports {
namespace {

using model::Interval;
using testsupport::Utc;

// Three tasks and two categories; now is 2008-04-07 14:23:10 UTC.
class ReportPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(m_store.DataFolder());
        ASSERT_TRUE(m_store.Load());
        AddTask("Write <b>&\"code\"",
                {{Utc(2008, 4, 6, 22, 0), Utc(2008, 4, 7, 1, 0)}, {Utc(2008, 4, 7, 9, 0), Utc(2008, 4, 7, 10, 30)}});
        // Ends exactly where this day begins.
        AddTask("Idle", {{Utc(2008, 4, 6, 20, 0), Utc(2008, 4, 7, 0, 0)}});
        AddTask("Running", {{Utc(2008, 4, 7, 14, 0), Utc(2008, 4, 7, 14, 0), false}});
        AddCategory("Dev & <Ops>", {0, 2});
        AddCategory("Empty", {});
    }

    void AddTask(const std::string& name, const std::vector<Interval>& intervals)
    {
        ASSERT_TRUE(testsupport::SaveTask(m_store.DataFolder(), m_store.CreateTask(name), name, intervals));
    }

    void AddCategory(const std::string& name, const std::vector<std::int32_t>& members)
    {
        model::Category category;
        ASSERT_TRUE(category.SetId(m_store.CreateCategory(name)));
        ASSERT_TRUE(category.Load(m_store.DataFolder()));
        for (const std::int32_t id : members) {
            category.AddTask(id);
        }
        ASSERT_TRUE(category.Save(m_store.DataFolder()));
    }

    static std::string Head(const std::string& heading)
    {
        return "<head><meta charset=\"utf-8\"></head><body><h1><a href=\"https://kelmora.app\">Kelmora</a> report "
               "for " +
               heading + ":</h1>";
    }

    testsupport::ScopedTimeZone m_zone{"UTC"};
    // Weeks begin on Sunday.
    testsupport::ScopedTimeLocale m_locale{"en_US.UTF-8"};
    testsupport::ScopedFakeClock m_clock{2008, 4, 7, 14, 23, 10};
    testsupport::TempDir m_dir;
    model::TaskStore m_store{m_dir.path() / "R&D <1>"}; // the page names files in it
};

TEST_F(ReportPageTest, ThisDay_GivesThePageWithNamesEscaped)
{
    const ReportPage page = BuildCalendarReport(m_store, 0);
    EXPECT_TRUE(page.unreadableFiles.empty());
    EXPECT_EQ(page.text,
              Head("2008-04-07 00:00:00 - 2008-04-07 14:23:10 (14:23:10)") +
                  "<h3>1. Task Summary</h3><table border = \"1\"><tr><td><b>Task Name</b></td><td><b>Full Task "
                  "Time</b></td></tr><tr><td><b>Write &lt;b&gt;&amp;&quot;code&quot;</b></td><td>02:30:00</td></tr>"
                  "<tr><td><b>Idle</b></td><td>00:00:00</td></tr><tr><td><b>Running</b></td><td>00:23:10</td></tr>"
                  "</table><br><b>Common time for all tasks: 02:53:10</b><h3>2. Categories Summary</h3><table border "
                  "= \"1\"><tr><td><b>Category Name</b></td><td><b>Full Category Time</b></td></tr><tr><td><b>Dev "
                  "&amp; &lt;Ops&gt;</b></td><td>02:53:10</td></tr><tr><td><b>Empty</b></td><td>00:00:00</td></tr>"
                  "</table><br><b>Common time for all categories: 02:53:10</b><h3>3. TimeLog</h3><table border = "
                  "\"1\"><tr><td><b>Task Name</b></td><td><b>Interval</b></td><td><b>Start</b></td><td><b>Stop</b>"
                  "</td></tr><tr><td><b>Running</b></td><td>00:23:10</td><td>2008-04-07 14:00:00</td><td>2008-04-07 "
                  "14:23:10</td></tr><tr><td><b>Write &lt;b&gt;&amp;&quot;code&quot;</b></td><td>01:30:00</td><td>"
                  "2008-04-07 09:00:00</td><td>2008-04-07 10:30:00</td></tr><tr><td><b>Write &lt;b&gt;&amp;&quot;"
                  "code&quot;</b></td><td>03:00:00</td><td>2008-04-06 22:00:00</td><td>2008-04-07 01:00:00</td>"
                  "</tr></table></body>");
}

TEST_F(ReportPageTest, OtherPeriodsAndFailures)
{
    // A damaged task file and one that appeared after the store was loaded.
    testsupport::WriteFile(model::TaskPath(m_store.DataFolder(), 7), "\x05");
    ASSERT_TRUE(
        testsupport::SaveTask(m_store.DataFolder(), 9, "Late", {{Utc(2008, 4, 7, 12, 0), Utc(2008, 4, 7, 13, 0)}}));
    const std::string damaged = model::TaskPath(m_store.DataFolder(), 7).string();
    const std::string folderOnPage = m_dir.path().string() + "/R&amp;D &lt;1&gt;/";

    struct Case
    {
        const char* name;
        ReportPage page;
        std::vector<std::string> contains;
    };
    const Case cases[] = {
        {"all time",
         BuildFullReport(m_store),
         {Head("all working time") + "<h3>", "<b>Idle</b></td><td>04:00:00", "all tasks: 08:53:10",
          "all categories: 04:53:10", "<td>2008-04-06 20:00:00</td>"}},
        {"this week, fresh listing",
         BuildCalendarReport(m_store, 1),
         {"<p><b>These files could not be read, so their time is missing from this report:</b></p><ul><li>" +
              folderOnPage + "7.tsk</li></ul><h3>1. Task Summary",
          "<b>Late</b></td><td>01:00:00", "<b>Idle</b></td><td>04:00:00", "all tasks: 09:53:10"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& part : c.contains) {
            EXPECT_NE(c.page.text.find(part), std::string::npos) << part << "\nin\n" << c.page.text;
        }
    }
    EXPECT_TRUE(cases[0].page.unreadableFiles.empty());
    EXPECT_EQ(cases[1].page.unreadableFiles, std::vector<std::filesystem::path>{damaged});

    // A category file damaged before the store read it: named at the top instead of an empty summary.
    const std::string catalog = model::CatalogPath(m_store.DataFolder()).string();
    testsupport::WriteFile(catalog, "<xml>\r\n<categories>\r\n</xml>");
    model::TaskStore damagedCatalog(m_store.DataFolder());
    EXPECT_FALSE(damagedCatalog.Load());
    const PreparedReport prepared = PrepareCalendarReport(damagedCatalog, 1);
    EXPECT_EQ(prepared.unreadableFiles, (std::vector<std::filesystem::path>{damaged, catalog}));
    EXPECT_NE(prepared.categoriesError.find(catalog + ": the category file is damaged"), std::string::npos);
    EXPECT_NE(BuildCalendarReport(damagedCatalog, 1)
                  .text.find("<li>" + folderOnPage + "categories.xml</li></ul><h3>1. Task Summary"),
              std::string::npos);

    model::TaskStore missing(m_dir.path() / "gone");
    const ReportPage none = BuildPeriodReport(missing, Interval());
    EXPECT_TRUE(none.text.empty());
    EXPECT_NE(none.error.find("cannot list the folder"), std::string::npos);
}

TEST_F(ReportPageTest, MadeInPieces_SameAsTheWholePage_AndStopsWhenRefused)
{
    testsupport::WriteFile(model::TaskPath(m_store.DataFolder(), 7), "\x05");
    for (const int index : {0, 1, 4}) {
        SCOPED_TRACE(index);
        std::string joined;
        int pieces = 0;
        model::TextSink sink(
            [&](std::string_view piece) {
                joined += piece;
                ++pieces;
                return true;
            },
            64);
        ASSERT_TRUE(PrepareCalendarReport(m_store, index).WriteTo(sink));
        ASSERT_TRUE(sink.Finish());
        EXPECT_GE(pieces, 3);
        EXPECT_EQ(joined, BuildCalendarReport(m_store, index).text);
    }
    int offered = 0;
    model::TextSink refusing(
        [&offered](std::string_view) {
            ++offered;
            return false;
        },
        64);
    EXPECT_FALSE(PrepareFullReport(m_store).WriteTo(refusing));
    EXPECT_FALSE(refusing.Finish());
    EXPECT_EQ(offered, 1);
}

TEST_F(ReportPageTest, ExportChoosesHtmlByNameInAnyCase)
{
    model::TimeLog log;
    ASSERT_TRUE(BuildExportLog(m_store, 0, log));
    const std::string tab = "Running\t00:23:10\t2008-04-07 14:00:00\t2008-04-07 14:23:10\r\n"
                            "Write <b>&\"code\"\t01:30:00\t2008-04-07 09:00:00\t2008-04-07 10:30:00\r\n"
                            "Write <b>&\"code\"\t03:00:00\t2008-04-06 22:00:00\t2008-04-07 01:00:00\r\n";
    const std::string html = "<html><head><meta charset=\"utf-8\"></head><body>" + log.ToHtmlTable() + "</body></html>";
    const std::pair<const char*, const std::string*> cases[] = {
        {"log.htm", &html}, {"LOG.HTM", &html}, {"/a/b/Log.HtMl", &html}, {"log.xls", &tab},
        {"log", &tab},      {"loghtm", &tab},   {"log.htm.xls", &tab},    {"log.html5", &tab},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ExportContent(log, name), *expected);
    }
    ASSERT_TRUE(BuildExportLog(m_store, 4, log));
    EXPECT_EQ(log.Count(), 4);
}

} // namespace
} // namespace kelmora::reports
