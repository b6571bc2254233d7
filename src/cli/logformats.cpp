#include "logformats.h"

#include "model/timelog.h"
#include "model/timestamp.h"

#include <cstdio>

namespace kelmora::cli {

namespace {

using model::TimeLogEntry;
using model::TimeStamp;

// The length of the valid UTF-8 sequence at the start of `text`, 0 when there is none.
std::size_t Utf8Length(std::string_view text)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    // The bounds of the second byte exclude overlong forms, surrogates and code points past U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

const std::string* CategoryOf(const CategoryNames& categories, std::int32_t taskId)
{
    const auto it = categories.find(taskId);
    return it == categories.end() ? nullptr : &it->second;
}

// Whole seconds, as the HH:MM:SS of the other forms counts them.
long long DurationSeconds(const TimeLogEntry& entry)
{
    return (entry.EffectiveStop() - entry.start).TotalMs() / 1000;
}

} // namespace

std::string IsoTime(const TimeStamp& stamp)
{
    model::DateParts p;
    stamp.GetLocalParts(p);
    TimeStamp wall;
    wall.SetUtc(p.year, p.month, p.day, p.hour, p.minute, p.second, 0);
    const std::int64_t unixMs = stamp.ToUnixMs();
    const std::int64_t wholeSecondMs = unixMs - ((unixMs % 1000) + 1000) % 1000;
    const std::int64_t offsetSeconds = (wall.ToUnixMs() - wholeSecondMs) / 1000;
    const bool isoOffset = offsetSeconds % 60 == 0;
    if (!isoOffset) {
        p = stamp.GetUtcParts();
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
    std::string text = buffer;
    if (!isoOffset) {
        return text + "Z";
    }
    const long long minutes = offsetSeconds < 0 ? -offsetSeconds / 60 : offsetSeconds / 60;
    std::snprintf(buffer, sizeof buffer, "%c%02lld:%02lld", offsetSeconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text + buffer;
}

std::string JsonString(std::string_view text)
{
    std::string result = "\"";
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text.front());
        const std::size_t length = Utf8Length(text);
        if (c == '"' || c == '\\') {
            result += '\\';
            result += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            result += escape;
        } else if (length == 0) {
            result += "\xEF\xBF\xBD";
        } else {
            result += text.substr(0, length);
        }
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return result + "\"";
}

std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string result = "\"";
    for (const char c : text) {
        result += c;
        if (c == '"') {
            result += '"';
        }
    }
    return result + "\"";
}

std::string LogToCsv(const model::TimeLog& log, const CategoryNames& categories)
{
    std::string text = "Task,Category,Start,End,Duration\r\n";
    const auto& entries = log.Entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const std::string* category = CategoryOf(categories, it->taskId);
        const TimeStamp stop = it->EffectiveStop();
        text += CsvField(log.TaskName(it->taskId)) + ',' + (category ? CsvField(*category) : std::string()) + ',' +
                it->start.Format() + ',' + stop.Format() + ',' + (stop - it->start).Format() + "\r\n";
    }
    return text;
}

std::string LogToJson(const model::TimeLog& log, const CategoryNames& categories)
{
    std::string text = "[";
    const auto& entries = log.Entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const std::string* category = CategoryOf(categories, it->taskId);
        text += it == entries.rbegin() ? "\n" : ",\n";
        text += "{\"task\":" + JsonString(log.TaskName(it->taskId)) +
                ",\"category\":" + (category ? JsonString(*category) : "null") + ",\"start\":\"" + IsoTime(it->start) +
                "\",\"end\":" + (it->running ? "null" : '"' + IsoTime(it->stop) + '"') +
                ",\"running\":" + (it->running ? "true" : "false") +
                ",\"duration\":" + std::to_string(DurationSeconds(*it)) + "}";
    }
    return text + (entries.empty() ? "]\n" : "\n]\n");
}

} // namespace kelmora::cli
