#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kelmora::model {
class Interval;
class TaskStore;
} // namespace kelmora::model

namespace kelmora::reports {

// Where the heading's "Kelmora" link points: the product's web site, as the About box shows it.
inline constexpr const char* kReportWebsite = "https://kelmora.app";

// A report page and what kept parts of it out.
struct ReportPage
{
    // The page, empty when none could be made (see `error`).
    std::string text;
    // Files that could not be read, in the order met: their time is missing from the page, which names them
    // at its top.
    std::vector<std::filesystem::path> unreadableFiles;
    std::string error;
};

// The page for `period`: every task file found in the data folder now, the categories of `store`, and the
// spans that overlap the period. Totals count only the part inside the period; the time log shows spans
// whole. A running span counts up to now.
ReportPage BuildPeriodReport(const model::TaskStore& store, const model::Interval& period);
// The all-time page over the tasks and categories of `store`.
ReportPage BuildFullReport(const model::TaskStore& store);
// By the index of the period lists: 0 this day, 1 this week, 2 this month, 3 this year; any other index
// all time.
ReportPage BuildCalendarReport(const model::TaskStore& store, int periodIndex);

} // namespace kelmora::reports
