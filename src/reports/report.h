#pragma once

#include "reports/reportpage.h"

#include <QDialog>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;

namespace kelmora::app {
class CKelmoraApp;
}

namespace kelmora::reports {

// "These files could not be read, so their time is missing from the <what>:", then the files, one a line.
QString UnreadableFilesText(const QString& what, const std::vector<std::filesystem::path>& files);

// <dataFolder>/report.htm, replaced by every report.
std::filesystem::path ReportFilePath(const std::filesystem::path& dataFolder);

// Writes the page to "report.htm" in the data folder, atomically, and hands it to the desktop's browser.
// When the file cannot be written the user is told, the old report stays, and the result is false.
bool WriteReport(app::CKelmoraApp& app, const std::string& pageText, QWidget* owner);
// The same for a page made piece by piece into the file by `produce`.
bool WriteReport(app::CKelmoraApp& app, const std::function<bool(model::TextSink&)>& produce, QWidget* owner);

// Writes and opens a prepared page, then tells the user which files it had to leave out. A page that could
// not be made at all is reported instead. False when no report was written.
bool ShowReport(app::CKelmoraApp& app, const PreparedReport& report, QWidget* owner);

// The tray's "Generate Report" commands: 0 this day, 1 this week, 2 this month, 3 this year (any other
// index all time). False when no report was written; the user has been told why.
bool ShowReportForPeriod(app::CKelmoraApp& app, int periodIndex, QWidget* owner = nullptr);

// The Task List window's "Report" button: the "Report period" dialog, modal. True when a report was
// written and opened.
bool RunReportDialog(app::CKelmoraApp& app, QWidget* parent);

// "Report period": a calendar period, or a custom one between two pickers. OK makes the report and closes
// only when it was written.
class CReportPeriodDlg final : public QDialog
{
    Q_OBJECT

public:
    // The stored index of "Custom period"; the past periods are stored after it.
    static constexpr int kCustomPeriod = 5;

    explicit CReportPeriodDlg(app::CKelmoraApp& app, QWidget* parent = nullptr);

    void accept() override;

private:
    void UpdateEnabling();

    app::CKelmoraApp& m_app;
    QComboBox* m_periodCombo;
    QLabel* m_startLabel;
    QDateTimeEdit* m_startEdit;
    QLabel* m_finishLabel;
    QDateTimeEdit* m_finishEdit;
};

} // namespace kelmora::reports
