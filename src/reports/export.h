#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace kelmora::app {
class CKelmoraApp;
}

namespace kelmora::reports {

// The export's save dialog: "Excel Files (*.xls)" (selected), "HTML Files (*.htm, *.html)", "All Files
// (*.*)"; a name typed without extension gets ".xls"; replacing a file asks first.
void ConfigureExportDialog(QFileDialog& dialog);

// Writes the time log of the Task List window's period index (0 this day … 3 this year, else all time)
// to `path`, atomically, as HTML for ".htm"/".html" names and tab-separated text otherwise, then opens
// it with the desktop's program for it. When the file cannot be written the user is told and the result
// is false.
bool ExportTimeLog(app::CKelmoraApp& app, int periodIndex, const QString& path, QWidget* owner);

// The "Export Time Log" button: asks for the file, then exports. False when cancelled or failed.
bool RunExportDialog(app::CKelmoraApp& app, int periodIndex, QWidget* parent);

} // namespace kelmora::reports
