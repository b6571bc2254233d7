#pragma once

#include <string>
#include <string_view>

namespace kelmora::model {
class TaskStore;
class TextSink;
class TimeLog;
} // namespace kelmora::model

namespace kelmora::reports {

// True for a name ending in ".htm" or ".html" in any letter case: such a file gets the HTML page.
bool IsHtmlExportName(std::string_view fileName);

// What an export to `fileName` writes: an HTML page with the time log's table, or its tab-separated
// lines for a spreadsheet. Newest span first in both.
std::string ExportContent(const model::TimeLog& log, std::string_view fileName);
// The same made into a sink, for a log too large to hold whole. False when the sink's destination refused a
// piece.
bool WriteExportContent(const model::TimeLog& log, std::string_view fileName, model::TextSink& out);

// The time log of a period index of the Task List window: 0 this day, 1 this week, 2 this month,
// 3 this year; any other index all time. False when a task file could not be read; the log then holds
// every other task's spans.
bool BuildExportLog(const model::TaskStore& store, int periodIndex, model::TimeLog& log);

} // namespace kelmora::reports
