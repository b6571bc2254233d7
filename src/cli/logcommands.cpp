// log: the time log of all tasks.
#include "clicommon.h"
#include "logformats.h"

#include "model/category.h"
#include "model/taskstore.h"
#include "model/textsink.h"
#include "model/timelog.h"

#include <memory>

namespace kelmora::cli {

namespace {

struct LogArgs
{
    std::string period = "all";
    std::string format = "tsv";
};

// The category of every task, for the forms that name it. False when a category could not be read: its
// tasks would pass for tasks without one.
bool ReadCategoryNames(Session& session, CategoryNames& names)
{
    if (!session.categoriesLoaded) {
        return false; // RunCli has said why
    }
    // One read of the catalogue, not one per category.
    std::string error;
    const auto categories = model::Category::LoadAll(session.store.DataFolder(), &error);
    if (!categories) {
        session.err << "The categories can not be read: " << error << "\n";
        return false;
    }
    for (const model::Category& category : *categories) {
        for (const std::int32_t member : category.TaskIds()) {
            names.emplace(member, category.GetName()); // the first category listing a task wins, as in tasks
        }
    }
    return true;
}

int RunLog(Session& session, const LogArgs& args)
{
    const std::optional<model::Interval> range = PeriodNamed(args.period);
    model::TimeLog log;
    bool complete = range ? log.BuildForPeriod(session.store, *range) : log.BuildAll(session.store);
    if (args.format == "csv" || args.format == "json") {
        CategoryNames categories;
        complete = ReadCategoryNames(session, categories) && complete;
        session.out << (args.format == "csv" ? LogToCsv(log, categories) : LogToJson(log, categories));
    } else {
        // In pieces as it is made: the all-time log runs to tens of megabytes, and holding it whole cost more
        // than making it.
        std::ostream& out = session.out;
        model::TextSink sink([&out](std::string_view piece) {
            return static_cast<bool>(out.write(piece.data(), static_cast<std::streamsize>(piece.size())));
        });
        if (args.format == "html" ? log.WriteHtmlTable(sink) : log.WriteTabText(sink)) {
            sink.Finish();
        }
        if (args.format == "html") {
            out << '\n';
        }
    }
    for (const std::int32_t id : log.SkippedTaskIds()) {
        session.err << "Task " << id << " can not be read; its time is missing from the log.\n";
    }
    return complete ? kExitOk : kExitFailed;
}

} // namespace

void RegisterLogCommands(CommandRegistry& registry)
{
    auto args = std::make_shared<LogArgs>();
    CLI::App* log =
        registry.Add("log", "Print the time log, newest span first.", [args](Session& s) { return RunLog(s, *args); });
    log->add_option("--period", args->period,
                    "day, week, month, year, yesterday, last-week, last-month, last-year (local calendar) or all (the "
                    "default)")
        ->check(OneOf(PeriodNames(), "period"));
    log->add_option("--format", args->format, "tsv (the default), html, csv or json")
        ->check(OneOf({"tsv", "html", "csv", "json"}, "format"));
    log->footer("tsv prints one line per span: NAME, DURATION, START and STOP, each line ending in CR LF; html prints\n"
                "the same as an HTML table. csv is for spreadsheets (RFC 4180): a heading line, then Task, Category\n"
                "(empty for none), Start, End and Duration as tsv writes them. json is for scripts: an array of\n"
                "objects with \"task\", \"category\" (null for none), \"start\" and \"end\" in ISO 8601 with the zone\n"
                "offset (2026-12-01T09:00:00+01:00), \"running\", and \"duration\" in whole seconds. A running span\n"
                "ends now in tsv, html and csv; in json its \"end\" is null, \"running\" true, and its duration runs\n"
                "up to now. Newest span first; a span that overlaps the period is shown whole. Exit status 1 when a\n"
                "task file (or, for csv and json, a category) could not be read; the rest is printed all the same.");
}

} // namespace kelmora::cli
