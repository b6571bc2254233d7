#pragma once

#include "model/timelog.h"

#include <filesystem>
#include <string>
#include <vector>

namespace kelmora::model {
class Interval;
class TaskStore;
class TextSink;
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

// A report read and summed, its text not yet made. The all-time page runs past a hundred megabytes, so a caller
// that writes it to a file makes it piece by piece into the file rather than holding it whole.
class PreparedReport
{
public:
    // False when no page could be made; `error` says why.
    bool Ready() const { return m_ready; }
    // The page, made into `out`. False when no page could be made or the sink's destination refused a piece.
    bool WriteTo(model::TextSink& out) const;

    // Files that could not be read, in the order met: their time is missing from the page, which names them
    // at its top.
    std::vector<std::filesystem::path> unreadableFiles;
    std::string error;
    // Why the category file could not be read, so that the page has no categories; empty when it was read.
    std::string categoriesError;

private:
    friend class ReportPreparer;

    bool m_ready = false;
    // Everything above the time log: it is the log that is most of the page.
    std::string m_top;
    model::TimeLog m_log;
};

// The report of `period`, of all time, or of a period index (below) ready to be written.
PreparedReport PreparePeriodReport(const model::TaskStore& store, const model::Interval& period);
PreparedReport PrepareFullReport(const model::TaskStore& store);
PreparedReport PrepareCalendarReport(const model::TaskStore& store, int periodIndex);

// The page for `period`: every task file found in the data folder now, the categories of its category file, and the
// spans that overlap the period. Totals count only the part inside the period; the time log shows spans
// whole. A running span counts up to now.
ReportPage BuildPeriodReport(const model::TaskStore& store, const model::Interval& period);
// The all-time page over the tasks of `store` and the categories of its category file.
ReportPage BuildFullReport(const model::TaskStore& store);
// By the index of the period lists: 0 this day, 1 this week, 2 this month, 3 this year; any other index
// all time.
ReportPage BuildCalendarReport(const model::TaskStore& store, int periodIndex);

} // namespace kelmora::reports
