#include "app/appfixture.h"
#include "model/category.h"
#include "model/taskfile.h"
#include "reports/export.h"
#include "reports/report.h"
#include "ui/uifixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kelmora::reports {
namespace {

using testsupport::ReadFile;
using testsupport::Utc;

// An application over one task tracked 08:00 to 08:30 UTC; now is 09:00.
class ReportUiTest : public app::AppTest
{
protected:
    void SetUp() override
    {
        const std::int32_t id = MakeTask("Design <review>", false);
        ASSERT_TRUE(
            testsupport::SaveTask(Data(), id, "Design <review>", {{Utc(2008, 4, 7, 8, 0), Utc(2008, 4, 7, 8, 30)}}));
        Start();
    }

    std::string Report() const { return ReadFile(Data() / "report.htm"); }
    std::vector<std::string> Opened() const { return m_shell->requests(); }
};

TEST_F(ReportUiTest, TrayCommand_WritesAndOpensReport_AndNamesWhatWasLeftOut)
{
    // The category file was damaged when the program read it, so its store has no categories.
    testsupport::WriteFile(model::TaskPath(Data(), 5), "\x01");
    testsupport::WriteFile(model::CatalogPath(Data()), "<xml>");
    m_app->ReloadStore();
    ASSERT_TRUE(ShowReportForPeriod(*m_app, 0));
    EXPECT_EQ(Report(), BuildCalendarReport(m_app->Store(), 0).text);
    EXPECT_EQ(Opened(), std::vector<std::string>{(Data() / "report.htm").string()});
    const QString catalog = QString::fromStdString(model::CatalogPath(Data()).string());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].startsWith("Report: These files could not be read, so their time is missing from the "
                                         "report:\n" +
                                         QString::fromStdString((Data() / "5.tsk").string()) + "\n" + catalog +
                                         "\n\nThe report shows no categories: " + catalog +
                                         ": the category file is damaged"))
        << m_messages[0].toStdString();
    EXPECT_EQ(m_icons, std::vector<app::MessageIcon>{app::MessageIcon::Warning});

    // A folder in the report's place cannot be replaced: the user is told and nothing is opened.
    std::filesystem::remove(Data() / "report.htm");
    std::filesystem::create_directory(Data() / "report.htm");
    EXPECT_FALSE(WriteReport(*m_app, "page", nullptr));
    EXPECT_EQ(m_messages.back().toStdString(),
              "Error: Failed to write report file \"" + (Data() / "report.htm").string() + "\"");
    EXPECT_EQ(m_icons.back(), app::MessageIcon::Error);
    EXPECT_EQ(Opened().size(), 1u);
}

TEST_F(ReportUiTest, Dialog_CustomPeriodIsCheckedBeforeTheReport)
{
    m_settings->SetSetting("ReportPeriod", 5);
    CReportPeriodDlg dialog(*m_app);
    auto* combo = dialog.findChild<QComboBox*>("periodCombo");
    auto* start = dialog.findChild<QDateTimeEdit*>("startEdit");
    auto* finish = dialog.findChild<QDateTimeEdit*>("finishEdit");
    EXPECT_EQ(combo->currentText(), "Custom period");
    EXPECT_EQ(start->dateTime(), QDateTime(QDate(2008, 4, 7), QTime(9, 0)));
    EXPECT_TRUE(start->isEnabled() && finish->isEnabled());
    combo->setCurrentIndex(4);
    EXPECT_FALSE(start->isEnabled() || finish->isEnabled());
    combo->setCurrentIndex(combo->count() - 1);

    struct Case
    {
        const char* start;
        const char* finish;
        const char* message; // nullptr: the report is made and the dialog closes
    };
    const Case cases[] = {
        {"2008-04-07 08:40", "2008-04-07 08:20",
         "Error: The finish of the period lies before its start. Please correct the period."},
        {"2008-04-07 1:", "2008-04-07 09:00", "Error: Incorrect string for start time"},
        {"2008-04-07 08:00", "2008-04-07 9", "Error: Incorrect string for finsh time"},
        {"2008-04-07 08:20", "2008-04-07 08:40", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        m_messages.clear();
        m_icons.clear();
        m_settings->SetSetting("ReportPeriod", 0);
        start->findChild<QLineEdit*>()->setText(QString::fromLatin1(c.start));
        finish->findChild<QLineEdit*>()->setText(QString::fromLatin1(c.finish));
        ASSERT_EQ(start->text() + finish->text(), QString::fromLatin1(c.start) + c.finish);
        dialog.setResult(QDialog::Rejected);
        dialog.accept();
        EXPECT_EQ(m_settings->GetSetting("ReportPeriod", 0), 5);
        if (c.message != nullptr) {
            EXPECT_EQ(m_messages, std::vector<QString>{QString::fromLatin1(c.message)});
            EXPECT_EQ(m_icons, std::vector<app::MessageIcon>{app::MessageIcon::Error});
            EXPECT_EQ(dialog.result(), QDialog::Rejected);
            EXPECT_FALSE(std::filesystem::exists(Data() / "report.htm"));
        } else {
            EXPECT_TRUE(m_messages.empty());
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_NE(Report().find("report for 2008-04-07 08:20:00 - 2008-04-07 08:40:00 (00:20:00):"),
                      std::string::npos);
        }
    }

    // The pickers show minutes, but a period that ends now ends at this second.
    m_clock->SetUtc(2008, 4, 7, 9, 0, 37);
    CReportPeriodDlg now(*m_app);
    now.accept();
    EXPECT_NE(Report().find("report for 2008-04-07 09:00:37 - 2008-04-07 09:00:37 (00:00:00):"), std::string::npos);

    // The past periods are stored after "Custom period" (5), which keeps its index.
    m_settings->SetSetting("ReportPeriod", 6);
    CReportPeriodDlg yesterday(*m_app);
    EXPECT_EQ(yesterday.findChild<QComboBox*>("periodCombo")->currentText(), "Yesterday");
    yesterday.accept();
    EXPECT_NE(Report().find("report for 2008-04-06 00:00:00 - 2008-04-07 00:00:00 (24:00:00):"), std::string::npos);
    EXPECT_EQ(m_settings->GetSetting("ReportPeriod", 0), 6);
}

TEST_F(ReportUiTest, Export_ThroughTheSaveDialog_ByNameAndOnFailure)
{
    // The real save dialog: its filters as the user sees them, and a name typed without extension.
    QTimer::singleShot(0, [this] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* filters = dialog->findChild<QComboBox*>("fileTypeCombo");
        EXPECT_EQ(ui::ComboTexts(*filters),
                  QStringList({"Excel Files (*.xls)", "HTML Files (*.htm, *.html)", "All Files (*.*)"}));
        EXPECT_EQ(filters->currentIndex(), 0);
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        dialog->setDirectory(QString::fromStdString(m_dir.path().string()));
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("log");
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides the slot it overrides
    });
    const mode_t mask = umask(022);
    const bool exported = RunExportDialog(*m_app, 4, nullptr);
    umask(mask);
    ASSERT_TRUE(exported);
    const std::string tab = "Design <review>\t00:30:00\t2008-04-07 08:00:00\t2008-04-07 08:30:00\r\n";
    EXPECT_EQ(ReadFile(m_dir.path() / "log.xls"), tab);
    // The user's document, not a data file: readable as any new file of the user's is.
    EXPECT_EQ(testsupport::ModeOf(m_dir.path() / "log.xls"), 0644u);

    ASSERT_TRUE(ExportTimeLog(*m_app, 0, QString::fromStdString((m_dir.path() / "LOG.HTML").string()), nullptr));
    EXPECT_NE(ReadFile(m_dir.path() / "LOG.HTML").find("<tr><td><b>Design &lt;review&gt;</b></td>"), std::string::npos);
    EXPECT_EQ(Opened(),
              std::vector<std::string>({(m_dir.path() / "log.xls").string(), (m_dir.path() / "LOG.HTML").string()}));

    const QString folder = QString::fromStdString(m_dir.path().string());
    EXPECT_FALSE(ExportTimeLog(*m_app, 4, folder, nullptr));
    EXPECT_EQ(m_messages, std::vector<QString>{"Error during export: Failed to open file \"" + folder + "\""});
    EXPECT_EQ(m_icons, std::vector<app::MessageIcon>{app::MessageIcon::Error});
    EXPECT_EQ(Opened().size(), 2u);

    // A task file that cannot be read: the rest is still written, and the user learns which file is missing.
    testsupport::WriteFile(model::TaskPath(Data(), 5), "\x01");
    m_app->ReloadStore();
    m_messages.clear();
    ASSERT_TRUE(ExportTimeLog(*m_app, 4, QString::fromStdString((m_dir.path() / "log.xls").string()), nullptr));
    EXPECT_EQ(ReadFile(m_dir.path() / "log.xls"), tab);
    EXPECT_EQ(m_messages, std::vector<QString>{"Export Time Log: These files could not be read, so their time is "
                                               "missing from the export:\n" +
                                               QString::fromStdString(model::TaskPath(Data(), 5).string())});
    EXPECT_EQ(m_icons.back(), app::MessageIcon::Warning);
}

} // namespace
} // namespace kelmora::reports
