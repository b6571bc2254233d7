#include "exportformat.h"

#include "model/task.h"
#include "model/textsink.h"
#include "model/timelog.h"

#include <algorithm>
#include <cctype>

namespace kelmora::reports {

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

} // namespace

bool IsHtmlExportName(std::string_view fileName)
{
    return EndsWithNoCase(fileName, ".htm") || EndsWithNoCase(fileName, ".html");
}

std::string ExportContent(const model::TimeLog& log, std::string_view fileName)
{
    std::string content;
    model::TextSink sink(content);
    WriteExportContent(log, fileName, sink);
    return content;
}

bool WriteExportContent(const model::TimeLog& log, std::string_view fileName, model::TextSink& out)
{
    if (!IsHtmlExportName(fileName)) {
        return log.WriteTabText(out);
    }
    // Declared like the report, so names outside ASCII show correctly wherever the page is opened.
    out.Append("<html><head><meta charset=\"utf-8\"></head><body>");
    if (!log.WriteHtmlTable(out)) {
        return false;
    }
    out.Append("</body></html>");
    return out.Pour();
}

bool BuildExportLog(const model::TaskStore& store, int periodIndex, model::TimeLog& log)
{
    model::Interval period;
    if (period.SetCalendarPeriod(periodIndex)) {
        return log.BuildForPeriod(store, period);
    }
    return log.BuildAll(store);
}

} // namespace kelmora::reports
