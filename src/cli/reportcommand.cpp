// report: the tray program's HTML report page, for a calendar period, all time or a custom period.
#include "clicommon.h"

#include "model/atomicfile.h"
#include "model/textsink.h"
#include "reports/reportpage.h"

#include <memory>

namespace kelmora::cli {

namespace {

struct ReportArgs
{
    std::string period = "day";
    std::string from;
    std::string to;
    std::string output;
};

// The custom period FROM..TO in local time; nullopt after a message when a time does not exist or the
// period runs backwards.
std::optional<model::Interval> CustomPeriod(Session& session, const ReportArgs& args)
{
    const auto start = LocalTime(session, args.from);
    const auto finish = start ? LocalTime(session, args.to) : std::nullopt;
    if (!start || !finish) {
        return std::nullopt;
    }
    if (*finish < *start) {
        session.err << "The finish " << args.to << " lies before the start " << args.from
                    << "; a report period can not run backwards.\n";
        return std::nullopt;
    }
    return model::Interval(*start, *finish, true);
}

int RunReport(Session& session, const ReportArgs& args)
{
    reports::PreparedReport page;
    if (!args.from.empty()) {
        const std::optional<model::Interval> period = CustomPeriod(session, args);
        if (!period) {
            return kExitFailed;
        }
        page = reports::PreparePeriodReport(session.store, *period);
    } else {
        const std::optional<model::Interval> period = PeriodNamed(args.period);
        page =
            period ? reports::PreparePeriodReport(session.store, *period) : reports::PrepareFullReport(session.store);
    }
    if (!page.Ready()) {
        session.err << "kelmora-cli: no report could be made: " << page.error << "\n";
        return kExitFailed;
    }
    // The page names these at its top; a script sees them here and in the exit status.
    for (auto& file : page.unreadableFiles) {
        file = session.dataFolder / file.filename();
        session.err << "kelmora-cli: warning: " << file.string() << " can not be read; its time is missing from the "
                    << "report.\n";
    }
    // Without the catalogue the page has no categories; RunCli has warned already.
    const int status = page.unreadableFiles.empty() && session.categoriesLoaded ? kExitOk : kExitFailed;
    const auto write = [&page](model::TextSink& out) { return page.WriteTo(out); };
    if (args.output.empty()) {
        std::ostream& out = session.out;
        model::TextSink sink([&out](std::string_view piece) {
            // A closed pipe ends the making of the page.
            return static_cast<bool>(out.write(piece.data(), static_cast<std::streamsize>(piece.size())));
        });
        write(sink);
        sink.Finish();
        out << '\n';
        return status;
    }
    std::string error;
    // The user's own file: made as any new document is, and a link keeps pointing at it.
    if (!model::WriteFileAtomically(args.output, write, &error, model::WriteOptions{true})) {
        session.err << "Failed to write report file \"" << args.output << "\": " << error << "\n";
        return kExitFailed;
    }
    return status;
}

// TIME as YYYY-MM-DD HH:MM or with seconds; the short form gets ":00", so the rest sees one form only.
CLI::Validator ReportTimeText()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            std::string full = text.size() == 16 ? text + ":00" : text;
            if (!TimeText()(full).empty()) {
                return "Invalid time \"" + text + "\": expected a valid local time as YYYY-MM-DD HH:MM[:SS].";
            }
            text = full;
            return {};
        },
        "TIME");
}

} // namespace

void RegisterReportCommand(CommandRegistry& registry)
{
    auto args = std::make_shared<ReportArgs>();
    CLI::App* report = registry.Add("report", "Print or write the HTML report page of a period.",
                                    [args](Session& s) { return RunReport(s, *args); });
    CLI::Option* period =
        report
            ->add_option("--period", args->period,
                         "day (the default), week, month, year, yesterday, last-week, last-month, last-year "
                         "(local calendar) or all")
            ->check(OneOf(PeriodNames(), "period"));
    CLI::Option* from =
        report->add_option("--from", args->from, "start of a custom period, local YYYY-MM-DD HH:MM[:SS]")
            ->transform(ReportTimeText());
    CLI::Option* to = report->add_option("--to", args->to, "finish of a custom period, local YYYY-MM-DD HH:MM[:SS]")
                          ->transform(ReportTimeText());
    from->needs(to);
    to->needs(from);
    period->excludes(from);
    period->excludes(to);
    report->add_option("--output", args->output, "write the page to FILE (replaced whole) instead of printing it")
        ->type_name("FILE")
        ->check(CLI::Validator(
            [](std::string& text) { return text.empty() ? std::string("--output is empty: name a file.") : ""; }, ""));
    report->footer(
        "The page the tray program's \"Generate Report\" opens: the time of each task and each category in\n"
        "the period, and the time log, newest span first. Totals count only the time inside the period; the\n"
        "log shows spans whole; a running task counts up to now. A calendar period runs from its first\n"
        "local midnight to now. --from and --to go together and make a custom period; a finish before its\n"
        "start, or a local time the zone skips, is refused (exit 1). Task files that cannot be read are\n"
        "named at the top of the page and on standard error, and the exit status is 1; the page still\n"
        "shows everything else.");
}

} // namespace kelmora::cli
