// status: the running task in one line, for status bars that call it every second.
#include "clicommon.h"

#include "model/category.h"
#include "model/taskstore.h"

#include <memory>
#include <string_view>

namespace kelmora::cli {

namespace {

constexpr const char* kDefaultFormat = "{name}\t{span}";

// Expands the placeholders of `format` with `value`; "{{" and "}}" stand for braces. False, with the
// offending text in `bad`, for an unknown placeholder or a lone brace.
template <typename Value> bool Expand(const std::string& format, Value value, std::string& out, std::string& bad)
{
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if ((c == '{' || c == '}') && i + 1 < format.size() && format[i + 1] == c) {
            out += c;
            ++i;
            continue;
        }
        if (c == '}') {
            bad = "}";
            return false;
        }
        if (c != '{') {
            out += c;
            continue;
        }
        const std::size_t close = format.find('}', i);
        const std::string_view name =
            std::string_view(format).substr(i + 1, close == std::string::npos ? 0 : close - i - 1);
        if (close == std::string::npos ||
            (name != "name" && name != "span" && name != "today" && name != "week" && name != "category")) {
            bad = format.substr(i, close == std::string::npos ? std::string::npos : close - i + 1);
            return false;
        }
        out += value(name);
        i = close;
    }
    return true;
}

int RunStatus(Session& session, const std::string& format)
{
    // A status bar asks every second: the facts' cache spares opening every task file each time.
    const std::int32_t id = model::RunningTaskOf(Facts(session));
    if (id < 0) {
        return kExitOk;
    }
    model::Task task;
    if (!LoadTask(session, id, task)) {
        return kExitFailed;
    }
    auto value = [&](std::string_view name) -> std::string {
        if (name == "name") {
            return Field(task.name);
        }
        if (name == "span") {
            return task.intervals.At(task.intervals.Count() - 1).Duration().Format();
        }
        if (name == "today" || name == "week") {
            model::Interval period;
            period.SetCalendarPeriod(name == "today" ? 0 : 1);
            return task.TotalIn(period).Format();
        }
        model::Category category;
        const std::int32_t categoryId = session.categoriesLoaded ? session.store.FindCategoryOfTask(id) : -1;
        return categoryId >= 0 && category.SetId(categoryId) && category.Load(session.store.DataFolder())
                   ? Field(category.GetName())
                   : std::string();
    };
    std::string line;
    std::string bad;
    Expand(format, value, line, bad);
    session.out << line << '\n';
    return kExitOk;
}

} // namespace

void RegisterStatusCommand(CommandRegistry& registry)
{
    auto format = std::make_shared<std::string>(kDefaultFormat);
    CLI::App* status = registry.Add("status", "Print the running task for status bars.",
                                    [format](Session& s) { return RunStatus(s, *format); });
    status->add_option("--format", *format, "the line to print (default: {name}<TAB>{span})")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                std::string ignored;
                std::string bad;
                return Expand(
                           text, [](std::string_view) { return std::string(); }, ignored, bad)
                           ? std::string()
                           : "Unknown placeholder \"" + bad + "\": use {name}, {span}, {today}, {week} or {category}.";
            },
            "TEXT"));
    status->footer("Placeholders: {name} the running task, {span} its running span (HH:MM:SS), {today} and\n"
                   "{week} its time this day and this week, {category} its category's name (empty when none).\n"
                   "{{ and }} print braces. Prints nothing, and exits 0, when no task runs.");
}

} // namespace kelmora::cli
