#include "platform/desktopshellopener.h"

#include <QDesktopServices>
#include <QDir>
#include <QObject>
#include <QUrl>

#include <gtest/gtest.h>

#include <vector>

namespace kelmora::platform {
namespace {

// Stands in for the desktop's applications: QDesktopServices hands URLs of a scheme with a registered
// handler to the handler instead of the desktop, so nothing is really started.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    std::vector<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

class DesktopShellOpenerTest : public ::testing::Test
{
protected:
    DesktopShellOpenerTest()
    {
        for (const char* scheme : kSchemes) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_recorder, "open");
        }
    }
    ~DesktopShellOpenerTest() override
    {
        for (const char* scheme : kSchemes) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
    }

    static constexpr const char* kSchemes[] = {"file", "https", "mailto"};
    UrlRecorder m_recorder;
    DesktopShellOpener m_opener;
};

TEST_F(DesktopShellOpenerTest, FilesAndLinks_ReachTheDesktopAsUrls_PathsAsFileUrls)
{
    ASSERT_TRUE(m_opener.Open("/home/ann/.local/share/Kelmora/report.htm"));
    ASSERT_TRUE(m_opener.Open("https://example.org/kelmora?x=1"));
    ASSERT_TRUE(m_opener.Open("mailto:support@example.org?subject=Feedback"));
    ASSERT_EQ(m_recorder.urls.size(), 3u);
    EXPECT_EQ(m_recorder.urls[0], QUrl::fromLocalFile(QStringLiteral("/home/ann/.local/share/Kelmora/report.htm")));
    EXPECT_EQ(m_recorder.urls[1].toString(), QStringLiteral("https://example.org/kelmora?x=1"));
    EXPECT_EQ(m_recorder.urls[2].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(m_recorder.urls[2].path(), QStringLiteral("support@example.org"));
    EXPECT_EQ(m_recorder.urls[2].query(), QStringLiteral("subject=Feedback"));
    // Nothing to open: refused without asking the desktop.
    EXPECT_FALSE(m_opener.Open(""));
    EXPECT_EQ(m_recorder.urls.size(), 3u);
    // Paths become file URLs, also relative ones and those with a colon; links stay as they are.
    const QUrl report = toOpenableUrl("/tmp/my report #1.htm");
    EXPECT_TRUE(report.isLocalFile());
    EXPECT_EQ(report.toLocalFile(), QStringLiteral("/tmp/my report #1.htm"));

    const QUrl relative = toOpenableUrl("export.txt");
    EXPECT_EQ(relative.toLocalFile(), QDir::current().absoluteFilePath(QStringLiteral("export.txt")));

    // One letter before a colon is a file name, not a scheme.
    EXPECT_TRUE(toOpenableUrl("c:report.htm").isLocalFile());
    EXPECT_TRUE(toOpenableUrl("/tmp/a:b.htm").isLocalFile());

    EXPECT_EQ(toOpenableUrl("https://example.org/a b").scheme(), QStringLiteral("https"));
    EXPECT_EQ(toOpenableUrl("mailto:someone@example.org").scheme(), QStringLiteral("mailto"));
    EXPECT_FALSE(toOpenableUrl("").isValid());
}

} // namespace
} // namespace kelmora::platform

#include "shellopener_test.moc"
