#include "clicommon.h"

#include "model/taskops.h"
#include "model/taskstore.h"
#include "model/timelog.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace kelmora::cli {

CLI::App* CommandRegistry::Add(const std::string& name, const std::string& description, Action action,
                               bool needsCategories)
{
    CLI::App* command = m_app.add_subcommand(name, description);
    m_entries.push_back({command, std::move(action), needsCategories});
    return command;
}

const Action* CommandRegistry::Chosen(bool& needsCategories) const
{
    for (const Entry& entry : m_entries) {
        if (entry.command->parsed()) {
            needsCategories = entry.needsCategories;
            return &entry.action;
        }
    }
    return nullptr;
}

const std::vector<model::TaskFacts>& Facts(Session& session)
{
    if (!session.facts) {
        session.facts =
            model::GatherTaskFacts(session.store.DataFolder(), session.store.TaskIds(), session.cacheFolder);
    }
    return *session.facts;
}

TerminalSafeBuffer::~TerminalSafeBuffer()
{
    sync();
}

TerminalSafeBuffer::int_type TerminalSafeBuffer::overflow(int_type ch)
{
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
        Put(static_cast<unsigned char>(traits_type::to_char_type(ch)));
    }
    return traits_type::not_eof(ch);
}

int TerminalSafeBuffer::sync()
{
    if (m_pendingC2) {
        m_pendingC2 = false;
        m_target.sputc(static_cast<char>(0xC2));
    }
    return m_target.pubsync();
}

void TerminalSafeBuffer::Put(unsigned char byte)
{
    if (m_pendingC2) {
        m_pendingC2 = false;
        if (byte >= 0x80 && byte <= 0x9F) {
            Escape(0xC2);
            Escape(byte);
            return;
        }
        m_target.sputc(static_cast<char>(0xC2));
    }
    if (byte == 0xC2) {
        m_pendingC2 = true;
    } else if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F) {
        Escape(byte);
    } else {
        m_target.sputc(static_cast<char>(byte));
    }
}

void TerminalSafeBuffer::Escape(unsigned char byte)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const char text[4] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0x0F]};
    m_target.sputn(text, sizeof text);
}

std::string Field(std::string text)
{
    return model::TabField(text);
}

std::optional<std::int32_t> ParseId(const std::string& text)
{
    std::int32_t id = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (ec != std::errc() || end != text.data() + text.size() || id < 0 || text.empty() ||
        (text.size() > 1 && text.front() == '0')) {
        return std::nullopt;
    }
    return id;
}

namespace {

struct TimeFields
{
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "YYYY-MM-DD HH:MM:SS" with fields that make a calendar time (whatever the zone makes of it).
std::optional<TimeFields> ParseTimeFields(const std::string& text)
{
    TimeFields f;
    char tail = 0;
    if (text.size() != 19 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &f.year, &f.month, &f.day, &f.hour,
                                         &f.minute, &f.second, &tail) != 6) {
        return std::nullopt;
    }
    model::TimeStamp probe;
    if (!probe.SetUtc(f.year, f.month, f.day, f.hour, f.minute, f.second, 0)) {
        return std::nullopt;
    }
    return f;
}

} // namespace

CLI::Validator TimeText()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            return ParseTimeFields(text)
                       ? std::string()
                       : "Invalid time \"" + text + "\": expected a valid local time as " + kTimeFormatHint + ".";
        },
        "TIME");
}

CLI::Validator CategoryIdText(bool allowNone)
{
    return CLI::Validator(
        [allowNone](std::string& text) -> std::string {
            return (ParseId(text) || (allowNone && text == "none")) ? std::string()
                                                                    : "Invalid category id \"" + text + "\".";
        },
        "");
}

CLI::Validator OneOf(std::vector<std::string> names, const std::string& what)
{
    return CLI::Validator(
        [names, what](std::string& text) -> std::string {
            if (std::find(names.begin(), names.end(), text) != names.end()) {
                return {};
            }
            std::string list;
            for (std::size_t i = 0; i < names.size(); ++i) {
                list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
            }
            return "Unknown " + what + " \"" + text + "\": use " + list + ".";
        },
        "");
}

std::optional<model::TimeStamp> LocalTime(Session& session, const std::string& text)
{
    const auto f = ParseTimeFields(text);
    model::TimeStamp stamp;
    if (!f || !stamp.SetLocal(f->year, f->month, f->day, f->hour, f->minute, f->second, 0)) {
        session.err << "The local time " << text << " does not exist in this time zone (the clocks skip it).\n";
        return std::nullopt;
    }
    return stamp;
}

const std::vector<std::string>& PeriodNames()
{
    static const std::vector<std::string> kNames = {"day",       "week",      "month",      "year",     "all",
                                                    "yesterday", "last-week", "last-month", "last-year"};
    return kNames;
}

std::optional<model::Interval> PeriodNamed(const std::string& period)
{
    const std::vector<std::string>& names = PeriodNames();
    const auto it = std::find(names.begin(), names.end(), period);
    model::Interval range;
    if (it == names.end() || !range.SetCalendarPeriod(static_cast<int>(it - names.begin()))) {
        return std::nullopt;
    }
    return range;
}

int ResolveTask(Session& session, const std::string& text, std::int32_t& id)
{
    const model::TaskStore& store = session.store;
    if (text.starts_with("id:")) {
        const auto byId = ParseId(text.substr(3));
        if (!byId || store.IndexOfTask(*byId) < 0) {
            session.err << "No task with the id " << text.substr(3) << ".\n";
            return kExitFailed;
        }
        id = *byId;
        return kExitOk;
    }
    if (text.starts_with("name:")) {
        id = model::TaskNamed(Facts(session), text.substr(5));
        if (id < 0) {
            session.err << "No task with the name \"" << text.substr(5) << "\".\n";
            return kExitFailed;
        }
        return kExitOk;
    }
    const auto parsed = ParseId(text);
    const std::int32_t byId = parsed && store.IndexOfTask(*parsed) >= 0 ? *parsed : -1;
    const std::int32_t byName = model::TaskNamed(Facts(session), text);
    if (byId >= 0 && byName >= 0 && byId != byName) {
        session.err << "\"" << text << "\" is the id of task " << byId << " and the name of task " << byName
                    << "; write id:" << text << " or name:" << text << ".\n";
        return kExitUsage;
    }
    id = byId >= 0 ? byId : byName;
    if (id < 0) {
        session.err << "No task with the id or name \"" << text << "\".\n";
        return kExitFailed;
    }
    return kExitOk;
}

std::int32_t ResolveCategory(Session& session, const std::string& text)
{
    const auto id = ParseId(text);
    const std::vector<std::int32_t> ids = session.store.CategoryIds();
    if (!id || std::find(ids.begin(), ids.end(), *id) == ids.end()) {
        session.err << "No category with the id " << text << ".\n";
        return -1;
    }
    return *id;
}

bool LoadTask(Session& session, std::int32_t id, model::Task& task)
{
    task.id = id;
    std::string error;
    if (!task.Load(session.store.DataFolder(), &error)) {
        session.err << "Task " << id << " can not be read: " << error << "\n";
        return false;
    }
    return true;
}

bool SaveTask(Session& session, const model::Task& task)
{
    std::string error;
    if (!task.Save(session.store.DataFolder(), &error)) {
        session.err << "Task " << task.id << " can not be saved: " << error << "\n";
        return false;
    }
    return true;
}

bool StopRunning(Session& session, std::int32_t id)
{
    std::string error;
    if (!model::StopTask(session.store.DataFolder(), id, &error, nullptr, {session.cacheFolder, &Facts(session)})) {
        session.err << "Task " << id << " can not be stopped: " << error << "\n";
        return false;
    }
    return true;
}

} // namespace kelmora::cli
