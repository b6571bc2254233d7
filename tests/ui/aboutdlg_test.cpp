#include "uifixture.h"

#include "ui/aboutdlg.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelmora::ui {
namespace {

using Requests = std::vector<std::string>;

class AboutDlgTest : public UiTest
{
protected:
    void SetUp() override
    {
        StartApp();
        m_dlg = std::make_unique<CAboutDlg>(*m_app);
        m_dlg->ShowDialog();
    }

    void TearDown() override
    {
        m_dlg.reset();
        UiTest::TearDown();
    }

    template <typename Widget> Widget& Child(const char* name) { return ChildOf<Widget>(*m_dlg, name); }

    // Clicks the middle of a link label's visible text, the way a user hits the link.
    void ClickLink(const char* name, const QString& shownText)
    {
        auto& label = Child<QLabel>(name);
        const int textWidth = QFontMetrics(label.font()).horizontalAdvance(shownText);
        const QRect contents = label.contentsRect();
        const QPoint middle(contents.left() + textWidth / 2, contents.center().y());
        QTest::mouseClick(&label, Qt::LeftButton, Qt::NoModifier, middle);
    }

    std::unique_ptr<CAboutDlg> m_dlg;
};

TEST_F(AboutDlgTest, ShowsCaptionVersionPictureDescriptionAndLinks)
{
    EXPECT_EQ(m_dlg->windowTitle(), "About Kelmora...");
    const QString version = Child<QLabel>("versionLabel").text();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Version \\d+\\.\\d+\\.\\d+$")).match(version).hasMatch())
        << version.toStdString();
    EXPECT_EQ(version, CAboutDlg::VersionText());
    EXPECT_TRUE(Child<QLabel>("descriptionLabel").text().startsWith("A personal time tracker: "));

    auto& website = Child<QLabel>("websiteLabel");
    EXPECT_TRUE(website.text().contains("href=\"https://kelmora.app\"")) << website.text().toStdString();
    EXPECT_FALSE(website.openExternalLinks());
    EXPECT_EQ(website.toolTip(), "https://kelmora.app");
    auto& support = Child<QLabel>("supportLabel");
    EXPECT_TRUE(support.text().contains("href=\"mailto:support@kelmora.app\"")) << support.text().toStdString();
    EXPECT_FALSE(support.openExternalLinks());
    EXPECT_EQ(Child<QPushButton>("closeButton").text().remove(QLatin1Char('&')), "Close");

    const QPixmap picture = Child<QLabel>("iconLabel").pixmap();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(64, 64));
    EXPECT_EQ(picture.devicePixelRatio(), m_dlg->devicePixelRatioF());
}

TEST_F(AboutDlgTest, ClickingTheLinks_AsksTheShellToOpenThem_CloseOnlyHides)
{
    ClickLink("websiteLabel", QStringLiteral("kelmora.app"));
    EXPECT_EQ(m_shell->requests(), Requests{"https://kelmora.app"});
    ClickLink("supportLabel", QStringLiteral("support@kelmora.app"));
    EXPECT_EQ(m_shell->requests(), (Requests{"https://kelmora.app", "mailto:support@kelmora.app"}));

    Child<QPushButton>("closeButton").click();
    EXPECT_FALSE(m_dlg->isVisible());
    m_dlg->ShowDialog();
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(m_shell->requests().size(), 2u);
}

} // namespace
} // namespace kelmora::ui
