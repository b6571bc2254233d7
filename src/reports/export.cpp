#include "export.h"

#include "app/kelmoraapp.h"
#include "model/atomicfile.h"
#include "model/taskfile.h"
#include "model/timelog.h"
#include "reports/exportformat.h"
#include "reports/report.h"

#include <QFile>
#include <QFileDialog>

#include <filesystem>

namespace kelmora::reports {

void ConfigureExportDialog(QFileDialog& dialog)
{
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowTitle(QStringLiteral("Export Time Log"));
    // Qt takes a filter's patterns from its last parentheses and, with the details hidden, shows what stands
    // before them. So each description is shown as written while the patterns that follow do the matching:
    // "*.htm," would match nothing, and "*.*" would miss names without a dot.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters({QStringLiteral("Excel Files (*.xls) (*.xls)"),
                           QStringLiteral("HTML Files (*.htm, *.html) (*.htm *.html)"),
                           QStringLiteral("All Files (*.*) (*)")});
    dialog.selectNameFilter(dialog.nameFilters().constFirst());
    dialog.setDefaultSuffix(QStringLiteral("xls"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
}

bool ExportTimeLog(app::CKelmoraApp& app, int periodIndex, const QString& path, QWidget* owner)
{
    const QByteArray encoded = QFile::encodeName(path);
    const std::filesystem::path file(encoded.toStdString());
    model::TimeLog log;
    // A task file that cannot be read leaves only its own spans out; the rest is exported all the same, and the
    // user is told which files are missing.
    const bool complete = BuildExportLog(app.Store(), periodIndex, log);
    // The atomic write also catches a full disk, which a failed open alone would miss.
    const std::string name = encoded.toStdString();
    if (!model::WriteFileAtomically(
            file, [&log, &name](model::TextSink& out) { return WriteExportContent(log, name, out); }, nullptr,
            model::WriteOptions{true})) {
        app.ShowMessage(owner, QStringLiteral("Failed to open file \"%1\"").arg(path),
                        QStringLiteral("Error during export"), app::MessageIcon::Error);
        return false;
    }
    app.Shell().Open(file.string());
    if (!complete) {
        std::vector<std::filesystem::path> unreadable;
        for (const std::int32_t id : log.SkippedTaskIds()) {
            unreadable.push_back(model::TaskPath(app.DataFolder(), id));
        }
        app.ShowMessage(owner, UnreadableFilesText(QStringLiteral("export"), unreadable),
                        QStringLiteral("Export Time Log"), app::MessageIcon::Warning);
    }
    return true;
}

bool RunExportDialog(app::CKelmoraApp& app, int periodIndex, QWidget* parent)
{
    QFileDialog dialog(parent);
    ConfigureExportDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    return ExportTimeLog(app, periodIndex, dialog.selectedFiles().constFirst(), parent);
}

} // namespace kelmora::reports
