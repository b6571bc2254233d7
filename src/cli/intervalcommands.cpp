// add, intervals, remove-interval, edit-interval: commands on the spans of one task.
#include "clicommon.h"

#include "model/taskops.h"

#include <memory>

namespace kelmora::cli {

namespace {

using model::Interval;
using model::Task;
using model::TimeStamp;

// The span START..END in local time; nullopt after a message when a time does not exist or END < START.
std::optional<Interval> SpanOf(Session& session, const std::string& startText, const std::string& stopText)
{
    const auto start = LocalTime(session, startText);
    const auto stop = start ? LocalTime(session, stopText) : std::nullopt;
    if (!start || !stop) {
        return std::nullopt;
    }
    if (*stop < *start) {
        session.err << "The end " << stopText << " lies before the start " << startText
                    << "; an interval can not run backwards.\n";
        return std::nullopt;
    }
    // A span without time adds nothing to any total; stored, it would only clutter the time log.
    if (!(*start < *stop)) {
        session.err << "The end " << stopText << " equals the start; an interval must last at least a second.\n";
        return std::nullopt;
    }
    return Interval(*start, *stop, true);
}

// Loads TASK; `status` says why not.
bool TaskFor(Session& session, const std::string& taskText, Task& task, int& status)
{
    std::int32_t id = -1;
    status = ResolveTask(session, taskText, id);
    if (status == kExitOk && !LoadTask(session, id, task)) {
        status = kExitFailed;
    }
    return status == kExitOk;
}

bool Insert(Session& session, Task& task, const Interval& span)
{
    std::string error;
    if (!model::InsertSpan(task, span, &error)) {
        session.err << "The span can not be added: " << error << ".\n";
        return false;
    }
    return true;
}

int RunAdd(Session& session, const std::string& taskText, const std::string& startText, const std::string& stopText)
{
    const std::optional<Interval> span = SpanOf(session, startText, stopText);
    if (!span) {
        return kExitFailed;
    }
    Task task;
    int status = kExitOk;
    if (!TaskFor(session, taskText, task, status)) {
        return status;
    }
    return Insert(session, task, *span) && SaveTask(session, task) ? kExitOk : kExitFailed;
}

int RunIntervals(Session& session, const std::string& taskText)
{
    Task task;
    int status = kExitOk;
    if (!TaskFor(session, taskText, task, status)) {
        return status;
    }
    int number = 0;
    for (const Interval& interval : task.intervals) {
        const TimeStamp stop = interval.EffectiveStop();
        session.out << ++number << '\t' << interval.start.Format() << '\t' << stop.Format() << '\t'
                    << (stop - interval.start).Format() << '\t' << (interval.closed ? "closed" : "open") << '\n';
    }
    return kExitOk;
}

bool CheckNumber(Session& session, const Task& task, int number)
{
    if (number < 1 || number > task.intervals.Count()) {
        session.err << "Task " << task.id << " has no interval " << number << "; it has " << task.intervals.Count()
                    << ".\n";
        return false;
    }
    return true;
}

// The task with interval `number` taken out, ready for saving; false with the exit status when the task or
// the interval is not there.
bool TakeOutInterval(Session& session, const std::string& taskText, int number, Task& task, int& status)
{
    if (!TaskFor(session, taskText, task, status)) {
        return false;
    }
    if (!CheckNumber(session, task, number)) {
        status = kExitFailed;
        return false;
    }
    task.intervals.RemoveAt(number - 1);
    return true;
}

int RunRemoveInterval(Session& session, const std::string& taskText, int number)
{
    Task task;
    int status = kExitOk;
    if (!TakeOutInterval(session, taskText, number, task, status)) {
        return status;
    }
    return SaveTask(session, task) ? kExitOk : kExitFailed;
}

// As the Edit task dialog does: the old span goes, the new one is inserted with the merge rules.
int RunEditInterval(Session& session, const std::string& taskText, int number, const std::string& startText,
                    const std::string& stopText)
{
    const std::optional<Interval> span = SpanOf(session, startText, stopText);
    if (!span) {
        return kExitFailed;
    }
    Task task;
    int status = kExitOk;
    if (!TakeOutInterval(session, taskText, number, task, status)) {
        return status;
    }
    return Insert(session, task, *span) && SaveTask(session, task) ? kExitOk : kExitFailed;
}

struct SpanArgs
{
    std::string task;
    int number = 0;
    std::string start;
    std::string stop;
};

void AddTask(CLI::App* command, SpanArgs& args)
{
    command->add_option("TASK", args.task, "id, exact name, id:N or name:TEXT")->required();
}

void AddNumber(CLI::App* command, SpanArgs& args)
{
    command->add_option("N", args.number, "the interval's number, as intervals prints it")
        ->required()
        ->transform(CLI::Validator(
            [](std::string& text) {
                if (text.find_first_not_of("0123456789") != std::string::npos ||
                    text.find_first_not_of('0') == std::string::npos) {
                    return "Invalid interval number \"" + text + "\": count from 1.";
                }
                // The parser would read a leading zero as an octal number: 010 would name interval 8.
                text.erase(0, text.find_first_not_of('0'));
                return std::string();
            },
            "N"));
}

void AddTimes(CLI::App* command, SpanArgs& args)
{
    command->add_option("START", args.start, std::string("local time, ") + kTimeFormatHint)
        ->required()
        ->check(TimeText());
    command->add_option("END", args.stop, std::string("local time, ") + kTimeFormatHint)->required()->check(TimeText());
}

} // namespace

void RegisterIntervalCommands(CommandRegistry& registry)
{
    constexpr const char* kMergeRules =
        "The interval is placed in start order; intervals it overlaps are merged into it. Refuses an END\n"
        "before START, a local time that the time zone skips, and, while TASK runs, a span that begins\n"
        "after its running span began (stop the task first). A time shown twice takes its first occurrence.";

    auto add = std::make_shared<SpanArgs>();
    CLI::App* addCommand = registry.Add("add", "Add a closed interval to TASK.",
                                        [add](Session& s) { return RunAdd(s, add->task, add->start, add->stop); });
    AddTask(addCommand, *add);
    AddTimes(addCommand, *add);
    addCommand->footer(kMergeRules);

    auto list = std::make_shared<SpanArgs>();
    CLI::App* intervals = registry.Add("intervals", "List the intervals of TASK, numbered.",
                                       [list](Session& s) { return RunIntervals(s, list->task); });
    AddTask(intervals, *list);
    intervals->footer("Prints one line per interval in list order: N, START, END, DURATION and closed or open.\n"
                      "The END of an open interval is now. N is what remove-interval and edit-interval take.");

    auto remove = std::make_shared<SpanArgs>();
    CLI::App* removeCommand = registry.Add("remove-interval", "Delete interval N of TASK.", [remove](Session& s) {
        return RunRemoveInterval(s, remove->task, remove->number);
    });
    AddTask(removeCommand, *remove);
    AddNumber(removeCommand, *remove);

    auto edit = std::make_shared<SpanArgs>();
    CLI::App* editCommand =
        registry.Add("edit-interval", "Replace interval N of TASK by START..END.", [edit](Session& s) {
            return RunEditInterval(s, edit->task, edit->number, edit->start, edit->stop);
        });
    AddTask(editCommand, *edit);
    AddNumber(editCommand, *edit);
    AddTimes(editCommand, *edit);
    editCommand->footer(kMergeRules);
}

} // namespace kelmora::cli
