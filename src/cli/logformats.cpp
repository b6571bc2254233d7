#include "logformats.h"

#include "model/timelog.h"
#include "model/timestamp.h"

#include <cstdio>
#include <unordered_map>

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

void AppendIsoTime(std::string& out, const TimeStamp& stamp)
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
    if (p.year < 0 || p.year > 9999) {
        return; // only a damaged file holds such a time, and ISO 8601 has no agreed form for it
    }
    // Written digit by digit: a time log of a million spans has two million of these.
    char buffer[26];
    char* at = buffer;
    const auto put = [&at](long long value, int digits) {
        for (int i = digits - 1; i >= 0; --i) {
            at[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        at += digits;
    };
    const auto sep = [&at](char c) { *at++ = c; };
    put(p.year, 4);
    sep('-');
    put(p.month, 2);
    sep('-');
    put(p.day, 2);
    sep('T');
    put(p.hour, 2);
    sep(':');
    put(p.minute, 2);
    sep(':');
    put(p.second, 2);
    if (isoOffset) {
        const long long minutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
        sep(offsetSeconds < 0 ? '-' : '+');
        put(minutes / 60 % 100, 2);
        sep(':');
        put(minutes % 60, 2);
    } else {
        sep('Z');
    }
    out.append(buffer, static_cast<std::size_t>(at - buffer));
}

} // namespace

std::string IsoTime(const TimeStamp& stamp)
{
    std::string text;
    AppendIsoTime(text, stamp);
    return text;
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
    // What every row of a task begins with, quoted once per task rather than once per span.
    std::unordered_map<std::int32_t, std::string> heads;
    std::string text = "Task,Category,Start,End,Duration\r\n";
    const auto& entries = log.Entries();
    text.reserve(text.size() + entries.size() * 80);
    // One writer a column, which keeps the zone and date of the row before.
    model::LocalStampWriter starts;
    model::LocalStampWriter stops;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        auto head = heads.find(it->taskId);
        if (head == heads.end()) {
            const std::string* category = CategoryOf(categories, it->taskId);
            head = heads
                       .emplace(it->taskId, CsvField(log.TaskName(it->taskId)) + ',' +
                                                (category ? CsvField(*category) : std::string()) + ',')
                       .first;
        }
        const TimeStamp stop = it->EffectiveStop();
        text += head->second;
        starts.Append(it->start, text);
        text += ',';
        stops.Append(stop, text);
        text += ',';
        (stop - it->start).AppendFormat(text);
        text += "\r\n";
    }
    return text;
}

std::string LogToJson(const model::TimeLog& log, const CategoryNames& categories)
{
    std::unordered_map<std::int32_t, std::string> heads;
    std::string text = "[";
    const auto& entries = log.Entries();
    text.reserve(entries.size() * 160);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        auto head = heads.find(it->taskId);
        if (head == heads.end()) {
            const std::string* category = CategoryOf(categories, it->taskId);
            head = heads
                       .emplace(it->taskId, "{\"task\":" + JsonString(log.TaskName(it->taskId)) + ",\"category\":" +
                                                (category ? JsonString(*category) : "null") + ",\"start\":\"")
                       .first;
        }
        text += it == entries.rbegin() ? "\n" : ",\n";
        text += head->second;
        AppendIsoTime(text, it->start);
        if (it->running) {
            text += "\",\"end\":null,\"running\":true,\"duration\":";
        } else {
            text += "\",\"end\":\"";
            AppendIsoTime(text, it->stop);
            text += "\",\"running\":false,\"duration\":";
        }
        text += std::to_string(DurationSeconds(*it));
        text += '}';
    }
    text += entries.empty() ? "]\n" : "\n]\n";
    return text;
}

} // namespace kelmora::cli
