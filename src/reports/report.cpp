#include "report.h"

#include "app/kelmoraapp.h"
#include "app/periods.h"
#include "model/atomicfile.h"
#include "model/task.h"
#include "model/textsink.h"
#include "platform/settingsstore.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kelmora::reports {

namespace fs = std::filesystem;

namespace {

QString PathText(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

QDateTimeEdit* MakePicker(QWidget* parent, const char* objectName, const model::TimeStamp& value)
{
    auto* edit = new QDateTimeEdit(parent);
    edit->setObjectName(QString::fromLatin1(objectName));
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm"));
    edit->setCalendarPopup(true);
    model::DateParts parts;
    value.GetLocalParts(parts);
    // The seconds are not shown, but they are kept: a period that ends "now" ends at this second.
    edit->setDateTime(QDateTime(QDate(parts.year, parts.month, parts.day),
                                QTime(parts.hour, parts.minute, parts.second, value.ms % 1000)));
    return edit;
}

// The picker's local wall-clock time. False while its text is not a complete time, or for a time the zone
// does not have.
bool ReadPicker(const QDateTimeEdit& edit, model::TimeStamp& stamp)
{
    if (!edit.hasAcceptableInput()) {
        return false;
    }
    const QDateTime value = edit.dateTime();
    const QDate day = value.date();
    const QTime clock = value.time();
    return day.isValid() && clock.isValid() &&
           stamp.SetLocal(day.year(), day.month(), day.day(), clock.hour(), clock.minute(), clock.second(),
                          clock.msec());
}

} // namespace

QString UnreadableFilesText(const QString& what, const std::vector<fs::path>& files)
{
    QString text = QStringLiteral("These files could not be read, so their time is missing from the %1:").arg(what);
    for (const fs::path& path : files) {
        text += QLatin1Char('\n') + PathText(path);
    }
    return text;
}

fs::path ReportFilePath(const fs::path& dataFolder)
{
    return dataFolder / "report.htm";
}

bool WriteReport(app::CKelmoraApp& app, const std::string& pageText, QWidget* owner)
{
    return WriteReport(
        app,
        [&pageText](model::TextSink& out) {
            out.Append(pageText);
            return out.Pour();
        },
        owner);
}

bool WriteReport(app::CKelmoraApp& app, const std::function<bool(model::TextSink&)>& produce, QWidget* owner)
{
    const fs::path path = ReportFilePath(app.DataFolder());
    if (!model::WriteFileAtomically(path, produce)) {
        app.ShowMessage(owner, QStringLiteral("Failed to write report file \"%1\"").arg(PathText(path)),
                        app::kErrorCaption, app::MessageIcon::Error);
        return false;
    }
    app.Shell().Open(path.string());
    return true;
}

bool ShowReport(app::CKelmoraApp& app, const PreparedReport& report, QWidget* owner)
{
    if (!report.Ready()) {
        app.ShowMessage(owner,
                        QStringLiteral("Failed to make the report: %1").arg(QString::fromStdString(report.error)),
                        app::kErrorCaption, app::MessageIcon::Error);
        return false;
    }
    if (!WriteReport(
            app, [&report](model::TextSink& out) { return report.WriteTo(out); }, owner)) {
        return false;
    }
    if (!report.unreadableFiles.empty()) {
        QString text = UnreadableFilesText(QStringLiteral("report"), report.unreadableFiles);
        if (!report.categoriesError.empty()) {
            text += QStringLiteral("\n\nThe report shows no categories: %1")
                        .arg(QString::fromStdString(report.categoriesError));
        }
        app.ShowMessage(owner, text, QStringLiteral("Report"), app::MessageIcon::Warning);
    }
    return true;
}

bool ShowReportForPeriod(app::CKelmoraApp& app, int periodIndex, QWidget* owner)
{
    return ShowReport(app, PrepareCalendarReport(app.Store(), periodIndex), owner);
}

bool RunReportDialog(app::CKelmoraApp& app, QWidget* parent)
{
    CReportPeriodDlg dialog(app, parent);
    return dialog.exec() == QDialog::Accepted;
}

// ---- CReportPeriodDlg ----

CReportPeriodDlg::CReportPeriodDlg(app::CKelmoraApp& app, QWidget* parent)
    : QDialog(parent), m_app(app), m_periodCombo(new QComboBox(this)),
      m_startLabel(new QLabel(QStringLiteral("Start"), this)), m_startEdit(nullptr),
      m_finishLabel(new QLabel(QStringLiteral("Finish"), this)), m_finishEdit(nullptr)
{
    setObjectName(QStringLiteral("reportPeriodDlg"));
    setWindowTitle(QStringLiteral("Report period"));

    model::TimeStamp now;
    now.Now();
    m_startEdit = MakePicker(this, "startEdit", now);
    m_finishEdit = MakePicker(this, "finishEdit", now);
    m_startLabel->setObjectName(QStringLiteral("startLabel"));
    m_finishLabel->setObjectName(QStringLiteral("finishLabel"));
    m_startLabel->setBuddy(m_startEdit);
    m_finishLabel->setBuddy(m_finishEdit);

    // Each item carries its stored index: "Custom period" kept 5, so the past periods stored after it are
    // shown before it, where they belong with the other calendar periods.
    m_periodCombo->setObjectName(QStringLiteral("periodCombo"));
    for (int index = 0; index < static_cast<int>(app::kPeriodNames.size()); ++index) {
        m_periodCombo->addItem(QString::fromLatin1(app::kPeriodNames[static_cast<std::size_t>(index)]),
                               index < kCustomPeriod ? index : index + 1);
    }
    m_periodCombo->addItem(QStringLiteral("Custom period"), kCustomPeriod);
    const int stored = m_periodCombo->findData(
        static_cast<int>(platform::GetSetting(m_app.Settings(), platform::setting::kReportPeriod)));
    m_periodCombo->setCurrentIndex(std::max(stored, 0));
    connect(m_periodCombo, &QComboBox::currentIndexChanged, this, &CReportPeriodDlg::UpdateEnabling);

    auto* okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    connect(okButton, &QPushButton::clicked, this, &CReportPeriodDlg::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CReportPeriodDlg::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(m_startLabel, 0, 0);
    grid->addWidget(m_startEdit, 0, 1);
    grid->addWidget(m_finishLabel, 1, 0);
    grid->addWidget(m_finishEdit, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Chose time period for report:"), this));
    layout->addWidget(m_periodCombo);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    UpdateEnabling();
}

void CReportPeriodDlg::UpdateEnabling()
{
    const bool custom = m_periodCombo->currentData().toInt() == kCustomPeriod;
    for (QWidget* widget : {static_cast<QWidget*>(m_startLabel), static_cast<QWidget*>(m_startEdit),
                            static_cast<QWidget*>(m_finishLabel), static_cast<QWidget*>(m_finishEdit)}) {
        widget->setEnabled(custom);
    }
}

void CReportPeriodDlg::accept()
{
    // Remembered first, so the next opening offers this period even when the times below are refused.
    const int index = m_periodCombo->currentData().toInt();
    platform::SetSetting(m_app.Settings(), platform::setting::kReportPeriod, index);

    PreparedReport report;
    if (index == kCustomPeriod) {
        model::Interval period;
        if (!ReadPicker(*m_startEdit, period.start)) {
            m_app.ShowMessage(this, QStringLiteral("Incorrect string for start time"), app::kErrorCaption,
                              app::MessageIcon::Error);
            m_startEdit->setFocus();
            return;
        }
        if (!ReadPicker(*m_finishEdit, period.stop)) {
            m_app.ShowMessage(this, QStringLiteral("Incorrect string for finsh time"), app::kErrorCaption,
                              app::MessageIcon::Error);
            m_finishEdit->setFocus();
            return;
        }
        // A period running backwards has no time in it; saying so beats an empty report.
        if (period.stop < period.start) {
            m_app.ShowMessage(this,
                              QStringLiteral("The finish of the period lies before its start. Please correct the "
                                             "period."),
                              app::kErrorCaption, app::MessageIcon::Error);
            m_finishEdit->setFocus();
            return;
        }
        report = PreparePeriodReport(m_app.Store(), period);
    } else {
        report = PrepareCalendarReport(m_app.Store(), index < kCustomPeriod ? index : index - 1);
    }
    if (ShowReport(m_app, report, this)) {
        QDialog::accept();
    }
}

} // namespace kelmora::reports
