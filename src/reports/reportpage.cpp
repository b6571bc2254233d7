#include "reportpage.h"

#include "model/category.h"
#include "model/datafolder.h"
#include "model/task.h"
#include "model/taskfile.h"
#include "model/taskstore.h"
#include "model/textsink.h"
#include "model/timelog.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace kelmora::reports {

namespace fs = std::filesystem;
using model::Interval;
using model::Task;
using model::TimeSpan;

namespace {

// Reads every task once; the summaries and the time log all work from what was read here.
class ReportData
{
public:
    ReportData(fs::path dataFolder, const Interval* period) : m_dataFolder(std::move(dataFolder)), m_period(period) {}

    void LoadTasks(const std::vector<std::int32_t>& ids)
    {
        m_tasks.reserve(ids.size());
        for (const std::int32_t id : ids) {
            Task task;
            task.id = id;
            if (task.Load(m_dataFolder)) {
                m_totals.emplace(id, TotalOf(task));
                m_tasks.push_back(std::move(task));
            } else {
                MarkTaskUnreadable(id);
            }
        }
    }

    // A member of a category need not be among the listed tasks (a hand-edited catalogue, a file that came or
    // went since the list was made); such a member is read once, on first use.
    TimeSpan MemberTotal(std::int32_t id)
    {
        if (const auto it = m_totals.find(id); it != m_totals.end()) {
            return it->second;
        }
        if (m_skippedSet.count(id) != 0) {
            return {};
        }
        Task task;
        task.id = id;
        if (!task.Load(m_dataFolder)) {
            MarkTaskUnreadable(id);
            return {};
        }
        return m_totals.emplace(id, TotalOf(task)).first->second;
    }

    void MarkUnreadable(const fs::path& path)
    {
        if (m_unreadableSet.insert(path.string()).second) {
            m_unreadable.push_back(path);
        }
    }

    const fs::path& DataFolder() const { return m_dataFolder; }
    const Interval* Period() const { return m_period; }
    const std::vector<Task>& Tasks() const { return m_tasks; }
    const std::vector<std::int32_t>& Skipped() const { return m_skipped; }
    std::vector<fs::path> TakeUnreadable() { return std::move(m_unreadable); }

private:
    void MarkTaskUnreadable(std::int32_t id)
    {
        m_skipped.push_back(id);
        m_skippedSet.insert(id);
        MarkUnreadable(model::TaskPath(m_dataFolder, id));
    }

    TimeSpan TotalOf(const Task& task) const { return m_period != nullptr ? task.TotalIn(*m_period) : task.Total(); }

    fs::path m_dataFolder;
    const Interval* m_period;
    std::vector<Task> m_tasks;
    std::unordered_map<std::int32_t, TimeSpan> m_totals;
    // In list order for the page, and as sets to look up: ten thousand damaged files must not cost a
    // hundred million comparisons.
    std::vector<std::int32_t> m_skipped;
    std::unordered_set<std::int32_t> m_skippedSet;
    std::vector<fs::path> m_unreadable;
    std::unordered_set<std::string> m_unreadableSet;
};

void AppendRow(std::string& page, const std::string& name, const TimeSpan& time)
{
    page += "<tr><td><b>";
    page += model::HtmlEscape(name);
    page += "</b></td><td>";
    time.AppendFormat(page);
    page += "</td></tr>";
}

} // namespace

class ReportPreparer
{
public:
    static PreparedReport Failed(std::string error)
    {
        PreparedReport failed;
        failed.error = std::move(error);
        return failed;
    }

    static PreparedReport Prepare(ReportData& data, const std::string& heading);
};

PreparedReport ReportPreparer::Prepare(ReportData& data, const std::string& heading)
{
    std::string summaries = "<h3>1. Task Summary</h3><table border = \"1\"><tr><td><b>Task Name</b></td><td><b>"
                            "Full Task Time</b></td></tr>";
    TimeSpan taskSum;
    for (const Task& task : data.Tasks()) {
        const TimeSpan time = data.MemberTotal(task.id);
        AppendRow(summaries, task.name, time);
        taskSum += time;
    }
    summaries += "</table><br><b>Common time for all tasks: " + taskSum.Format() + "</b>";

    summaries += "<h3>2. Categories Summary</h3><table border = \"1\"><tr><td><b>Category Name</b></td><td><b>"
                 "Full Category Time</b></td></tr>";
    // Read afresh and once, as the task files are: a category file that was damaged when the program read it
    // (or is damaged now) must be named, not shown as a summary without categories. A missing one has none.
    std::string categoriesError;
    const auto categories = model::Category::LoadAll(data.DataFolder(), &categoriesError);
    if (categories || !model::PathTaken(model::CatalogPath(data.DataFolder()))) {
        categoriesError.clear();
    } else {
        data.MarkUnreadable(model::CatalogPath(data.DataFolder()));
    }
    TimeSpan categorySum;
    const std::vector<model::Category> none;
    for (const model::Category& category : categories ? *categories : none) {
        TimeSpan time;
        for (const std::int32_t member : category.TaskIds()) {
            time += data.MemberTotal(member);
        }
        AppendRow(summaries, category.GetName(), time);
        categorySum += time;
    }
    summaries += "</table><br><b>Common time for all categories: " + categorySum.Format() + "</b>";

    // Only now is it known which files could not be read; the page names them above everything else.
    PreparedReport report;
    report.m_ready = true;
    report.unreadableFiles = data.TakeUnreadable();
    report.categoriesError = std::move(categoriesError);
    std::string& top = report.m_top;
    top = std::string("<head><meta charset=\"utf-8\"></head><body><h1><a href=\"") + kReportWebsite +
          "\">Kelmora</a> report for " + heading + ":</h1>";
    if (!report.unreadableFiles.empty()) {
        top += "<p><b>These files could not be read, so their time is missing from this report:</b></p><ul>";
        for (const fs::path& path : report.unreadableFiles) {
            top += "<li>" + model::HtmlEscape(path.string()) + "</li>";
        }
        top += "</ul>";
    }
    top += summaries;
    top += "<h3>3. TimeLog</h3>";
    report.m_log.BuildFromTasks(data.Tasks(), data.Period(), data.Skipped());
    return report;
}

bool PreparedReport::WriteTo(model::TextSink& out) const
{
    if (!m_ready) {
        return false;
    }
    out.Append(m_top);
    if (!m_log.WriteHtmlTable(out)) {
        return false;
    }
    out.Append("</body>");
    return out.Pour();
}

PreparedReport PreparePeriodReport(const model::TaskStore& store, const Interval& period)
{
    // The tasks are listed afresh from the folder, so files added since the store was loaded are counted too.
    std::string error;
    const auto ids = model::ListTaskFiles(store.DataFolder(), &error);
    if (!ids) {
        return ReportPreparer::Failed(std::move(error));
    }
    ReportData data(store.DataFolder(), &period);
    data.LoadTasks(*ids);
    return ReportPreparer::Prepare(data, period.Format());
}

PreparedReport PrepareFullReport(const model::TaskStore& store)
{
    ReportData data(store.DataFolder(), nullptr);
    data.LoadTasks(store.TaskIds());
    return ReportPreparer::Prepare(data, "all working time");
}

PreparedReport PrepareCalendarReport(const model::TaskStore& store, int periodIndex)
{
    Interval period;
    if (!period.SetCalendarPeriod(periodIndex)) {
        return PrepareFullReport(store);
    }
    return PreparePeriodReport(store, period);
}

namespace {

ReportPage MakePage(PreparedReport report)
{
    ReportPage page;
    if (report.Ready()) {
        model::TextSink sink(page.text);
        report.WriteTo(sink);
    }
    page.unreadableFiles = std::move(report.unreadableFiles);
    page.error = std::move(report.error);
    return page;
}

} // namespace

ReportPage BuildPeriodReport(const model::TaskStore& store, const Interval& period)
{
    return MakePage(PreparePeriodReport(store, period));
}

ReportPage BuildFullReport(const model::TaskStore& store)
{
    return MakePage(PrepareFullReport(store));
}

ReportPage BuildCalendarReport(const model::TaskStore& store, int periodIndex)
{
    return MakePage(PrepareCalendarReport(store, periodIndex));
}

} // namespace kelmora::reports
