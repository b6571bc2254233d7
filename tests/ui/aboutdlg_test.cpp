#include "app/appfixture.h"
#include "ui/aboutdlg.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace kelmora::ui {
namespace {

using Requests = std::vector<std::string>;

class AboutDlgTest : public app::AppTest
{
protected:
    void SetUp() override
    {
        m_app = MakeApp();
        ASSERT_TRUE(m_app->InitInstance());
        m_dlg = std::make_unique<CAboutDlg>(*m_app);
    }

    void TearDown() override
    {
        m_dlg.reset();
        if (m_app) {
            m_app->ExitInstance();
        }
    }

    template <typename Widget> Widget& Child(const char* name)
    {
        auto* widget = m_dlg->findChild<Widget*>(QString::fromLatin1(name));
        if (widget == nullptr) {
            ADD_FAILURE() << "no child " << name;
            std::abort();
        }
        return *widget;
    }

    // Clicks the middle of a link label's visible text, the way a user hits the link.
    void ClickLink(const char* name, const QString& shownText)
    {
        auto& label = Child<QLabel>(name);
        const int textWidth = QFontMetrics(label.font()).horizontalAdvance(shownText);
        const QRect contents = label.contentsRect();
        const QPoint middle(contents.left() + textWidth / 2, contents.center().y());
        QTest::mouseClick(&label, Qt::LeftButton, Qt::NoModifier, middle);
    }

    std::unique_ptr<app::CKelmoraApp> m_app;
    std::unique_ptr<CAboutDlg> m_dlg;
};

TEST_F(AboutDlgTest, ShowsCaptionVersionDescriptionAndLinks)
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
}

TEST_F(AboutDlgTest, ProgramPictureIsShownAtSixtyFourPixels)
{
    m_dlg->ShowDialog();
    const QPixmap picture = Child<QLabel>("iconLabel").pixmap();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(64, 64));
    EXPECT_EQ(picture.devicePixelRatio(), m_dlg->devicePixelRatioF());
}

TEST_F(AboutDlgTest, ClickingTheLinks_AsksTheShellToOpenThem)
{
    m_dlg->ShowDialog();
    ClickLink("websiteLabel", QStringLiteral("kelmora.app"));
    EXPECT_EQ(m_shell->requests(), Requests{"https://kelmora.app"});
    ClickLink("supportLabel", QStringLiteral("support@kelmora.app"));
    EXPECT_EQ(m_shell->requests(), (Requests{"https://kelmora.app", "mailto:support@kelmora.app"}));
}

TEST_F(AboutDlgTest, CloseOnlyHidesAndShowDialogBringsItBack)
{
    m_dlg->ShowDialog();
    ASSERT_TRUE(m_dlg->isVisible());
    Child<QPushButton>("closeButton").click();
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_FALSE(m_dlg->close());
    m_dlg->ShowDialog();
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_TRUE(m_shell->requests().empty());
}

} // namespace
} // namespace kelmora::ui
