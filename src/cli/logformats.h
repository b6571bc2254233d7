#pragma once

// The time log for spreadsheets (CSV) and scripts (JSON), beside its tab-separated and HTML forms.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace kelmora::model {
class TimeLog;
class TimeStamp;
} // namespace kelmora::model

namespace kelmora::cli {

// Task id -> the name of its category; a task without a category is absent.
using CategoryNames = std::map<std::int32_t, std::string>;

// RFC 4180: a heading line, then one record per span, newest first, each line ending in CR LF. Columns
// Task, Category (empty for none), Start, End, Duration, as the other forms show them: local
// "YYYY-MM-DD HH:MM:SS" and "HH:MM:SS"; a running span ends now.
std::string LogToCsv(const model::TimeLog& log, const CategoryNames& categories);

// An array of objects, newest first: "task", "category" (null for none), "start", "end" (ISO 8601 with
// the zone's offset; null while the span runs), "running", and "duration" in whole seconds (up to now
// for a running span).
std::string LogToJson(const model::TimeLog& log, const CategoryNames& categories);

// "2026-12-01T09:00:00+01:00": local time and the offset in force then. An offset of odd seconds (local
// mean time, before zones were standard) has no ISO form; such a time is written in UTC with "Z".
std::string IsoTime(const model::TimeStamp& stamp);

// A JSON string with its quotes. Invalid UTF-8 becomes U+FFFD, since one bad byte would make a strict
// reader refuse the whole document.
std::string JsonString(std::string_view text);

// A CSV field, quoted (with quotes doubled) when it holds a comma, a quote or a line break.
std::string CsvField(std::string_view text);

} // namespace kelmora::cli
