// The report and the time-log export in the real program: every way in, with a recording "xdg-open" as
// the desktop's opener.
#include "e2e.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace kelmora::e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

class ReportsDesktop : public Desktop
{
protected:
    void SetUp() override
    {
        Desktop::SetUp();
        const fs::path bin = DataFolder().parent_path() / "bin";
        fs::create_directories(bin);
        m_opened = bin / "opened.txt";
        std::ofstream(bin / "xdg-open") << "#!/bin/sh\necho \"$1\" >> '" << m_opened.string() << "'\n";
        fs::permissions(bin / "xdg-open", fs::perms::owner_all);
        SetEnvironment("PATH", bin.string() + ":" + std::getenv("PATH"));
        // Without a desktop of its own Qt hands files to xdg-open.
        SetEnvironment("XDG_CURRENT_DESKTOP", std::nullopt);
        SetEnvironment("DESKTOP_SESSION", std::nullopt);
    }

    // Waits until the opener has been handed `count` files: the last one.
    std::string WaitForOpened(std::size_t count)
    {
        std::vector<std::string> lines;
        WaitUntil([&] {
            std::istringstream text(ReadFile(m_opened));
            lines.clear();
            for (std::string line; std::getline(text, line);) {
                lines.push_back(line);
            }
            return lines.size() >= count;
        });
        return lines.size() >= count ? lines[count - 1] : std::string();
    }

    void Export(const std::string& name)
    {
        Keys({"alt+x"});
        ASSERT_FALSE(WaitForWindow("Export Time Log").empty());
        Xdotool({"type", "--delay", "20", (DataFolder() / name).string()});
        Keys({"Return"});
        ASSERT_TRUE(WaitUntil([&] { return VisibleWindows("Export Time Log").empty(); }));
    }

    fs::path m_opened;
};

TEST_F(ReportsDesktop, TrayReport_ReportButtonCustomPeriod_ExportToHtmlAndXls_CloseWithTheSaveDialogOpen)
{
    SetSetting("AutoStop", 1); // the close at the end asks nothing
    Cli({"create", "Reading"});
    Cli({"add", "Reading", "2020-06-01 09:00:00", "2020-06-01 10:30:00"});
    Cli({"create", "Writing"});
    Cli({"start", "Writing"});
    StartKelmora();
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon);

    ChooseFromTrayMenu(*icon, "g"); // "&Generate Report"; Return takes "for This Day"
    Screenshot("report-submenu");
    Keys({"Return"});
    EXPECT_NE(WaitForOpened(1).find("report.htm"), std::string::npos);
    const std::string day = ReadFile(DataFolder() / "report.htm");
    EXPECT_NE(day.find("<b>Writing</b>"), std::string::npos) << day;
    EXPECT_EQ(day.find("01:30:00"), std::string::npos) << "the 2020 span is not in this day";

    // "Custom period" is the last choice; the start goes back to 2019.
    ChooseFromTrayMenu(*icon, "t");
    ASSERT_FALSE(WaitForWindow("Kelmora: Task List").empty());
    Keys({"alt+r"});
    ASSERT_FALSE(WaitForWindow("Report period").empty());
    Keys({"End", "Tab", "2", "0", "1", "9"});
    Screenshot("custom-period");
    Keys({"Return"});
    EXPECT_NE(WaitForOpened(2).find("report.htm"), std::string::npos);
    EXPECT_NE(ReadFile(DataFolder() / "report.htm").find("01:30:00"), std::string::npos);
    EXPECT_TRUE(WaitUntil([&] { return VisibleWindows("Report period").empty(); }));

    // The Task List shows this day, so the export holds the running span only.
    ASSERT_FALSE(WaitForWindow("Kelmora: Task List").empty());
    Export("log.html");
    EXPECT_NE(WaitForOpened(3).find("log.html"), std::string::npos);
    EXPECT_EQ(ReadFile(DataFolder() / "log.html").rfind("<html><head><meta charset=\"utf-8\">", 0), 0u);
    ASSERT_FALSE(WaitForWindow("Kelmora: Task List").empty());
    Export("log.xls");
    EXPECT_NE(WaitForOpened(4).find("log.xls"), std::string::npos);
    EXPECT_EQ(ReadFile(DataFolder() / "log.xls").rfind("Writing\t", 0), 0u) << "tab-separated text";

    ASSERT_FALSE(WaitForWindow("Kelmora: Task List").empty());
    Keys({"alt+x"});
    ASSERT_FALSE(WaitForWindow("Export Time Log").empty());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(TerminateKelmora(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << "closed, not killed";
}

} // namespace
} // namespace kelmora::e2e
