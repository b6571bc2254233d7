// log: the time log of all tasks.
#include "clicommon.h"

#include "model/timelog.h"

#include <memory>

namespace kelmora::cli {

namespace {

struct LogArgs
{
    std::string period = "all";
    std::string format = "tsv";
};

int RunLog(Session& session, const LogArgs& args)
{
    const std::optional<model::Interval> range = PeriodNamed(args.period);
    model::TimeLog log;
    const bool complete = range ? log.BuildForPeriod(session.store, *range) : log.BuildAll(session.store);
    session.out << (args.format == "html" ? log.ToHtmlTable() + "\n" : log.ToTabText());
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
    log->add_option("--period", args->period, "day, week, month, year (local calendar) or all (the default)")
        ->check(OneOf({"day", "week", "month", "year", "all"}, "period"));
    log->add_option("--format", args->format, "tsv (the default) or html")->check(OneOf({"tsv", "html"}, "format"));
    log->footer("tsv prints one line per span: NAME, DURATION, START and STOP, each line ending in CR LF; html\n"
                "prints the same as an HTML table. A span that overlaps the period is shown whole.");
}

} // namespace kelmora::cli
