// The report page in headless Chromium: a hostile task name must stay text.
#include "model/task.h"
#include "model/taskstore.h"
#include "reports/reportpage.h"
#include "support/childprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace kelmora::reports {
namespace {

namespace fs = std::filesystem;
using testsupport::ChildProcess;

const fs::path kChromium = "/usr/bin/chromium";
const std::string kHostile = "<img src=x onerror=\"document.body.setAttribute('data-pwned','1')\">";

// Runs Chromium headless over the file with `mode` ("--dump-dom" or "--screenshot=…") and returns its output.
std::string RunChromium(const fs::path& page, const std::string& mode)
{
    const testsupport::TempDir profile;
    ChildProcess chromium(kChromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                                      "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                      "--user-data-dir=" + profile.path().string(), "--window-size=900,700", mode,
                                      "file://" + page.string()});
    std::string output;
    while (const auto line = chromium.readLine(std::chrono::seconds(60))) {
        output += *line + "\n";
    }
    EXPECT_EQ(chromium.waitForExit(std::chrono::seconds(30)), 0);
    return output;
}

TEST(ReportInBrowser, HostileNameIsShownAsText_AndNoScriptRuns)
{
    if (!fs::exists(kChromium)) {
        GTEST_SKIP() << "Chromium is not installed";
    }
    const testsupport::ScopedTimeZone zone("UTC");
    const testsupport::ScopedFakeClock clock(2008, 4, 7, 14, 0);
    const testsupport::TempDir dir;
    model::TaskStore store(dir.path());
    ASSERT_TRUE(store.Load());
    for (const std::string& name : {kHostile, std::string("Überprüfung – 日本語のタスク"), std::string("Ελληνικά ✓")}) {
        model::Task task;
        task.id = store.CreateTask(name);
        task.name = name;
        task.intervals.Append({testsupport::Utc(2008, 4, 7, 9, 0), testsupport::Utc(2008, 4, 7, 10, task.id)});
        ASSERT_TRUE(task.Save(store.DataFolder()));
    }
    const fs::path report = dir.path() / "report.htm";
    testsupport::WriteFile(report, BuildFullReport(store).text);
    // The same name written raw, to show that the check below would see a script that ran.
    const fs::path raw = dir.path() / "raw.htm";
    testsupport::WriteFile(raw, "<html><body>" + kHostile + "</body></html>");

    EXPECT_NE(RunChromium(raw, "--dump-dom").find("<body data-pwned=\"1\">"), std::string::npos);
    const std::string dom = RunChromium(report, "--dump-dom");
    EXPECT_NE(dom.find("<body><h1>"), std::string::npos) << dom;
    EXPECT_EQ(dom.find("<img"), std::string::npos) << dom;
    EXPECT_NE(dom.find("<b>&lt;img src=x onerror=\"document.body.setAttribute('data-pwned','1')\"&gt;</b>"),
              std::string::npos)
        << dom;
    EXPECT_NE(dom.find("<b>Überprüfung – 日本語のタスク</b>"), std::string::npos) << dom;

    // KELMORA_REPORT_SCREENSHOT=<file.png> keeps a picture of the page for a person to look at.
    if (const char* shot = std::getenv("KELMORA_REPORT_SCREENSHOT")) {
        RunChromium(report, std::string("--screenshot=") + shot);
        EXPECT_TRUE(fs::exists(shot));
    }
}

} // namespace
} // namespace kelmora::reports
