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

// Clicks the middle of a link label's visible text, the way a user hits the link.
void ClickLink(QLabel& label, const QString& shownText)
{
    const int textWidth = QFontMetrics(label.font()).horizontalAdvance(shownText);
    const QRect contents = label.contentsRect();
    const QPoint middle(contents.left() + textWidth / 2, contents.center().y());
    QTest::mouseClick(&label, Qt::LeftButton, Qt::NoModifier, middle);
}

TEST_F(UiTest, AboutBox_ShowsVersionAndPicture_LinksGoToTheShell_ClosingOnlyHides)
{
    Start();
    CAboutDlg dlg(*m_app);
    dlg.ShowDialog();
    const QString version = ChildOf<QLabel>(dlg, "versionLabel").text();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Version \\d+\\.\\d+\\.\\d+$")).match(version).hasMatch())
        << version.toStdString();
    EXPECT_EQ(ChildOf<QLabel>(dlg, "websiteLabel").toolTip(), "https://kelmora.app");
    const QPixmap picture = ChildOf<QLabel>(dlg, "iconLabel").pixmap();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(64, 64));
    EXPECT_EQ(picture.devicePixelRatio(), dlg.devicePixelRatioF());

    ClickLink(ChildOf<QLabel>(dlg, "websiteLabel"), QStringLiteral("kelmora.app"));
    EXPECT_EQ(m_shell->requests(), Requests{"https://kelmora.app"});
    ClickLink(ChildOf<QLabel>(dlg, "supportLabel"), QStringLiteral("support@kelmora.app"));
    EXPECT_EQ(m_shell->requests(), (Requests{"https://kelmora.app", "mailto:support@kelmora.app"}));

    // Closing is refused, so the box lives on; ShowDialog brings it back even from the task bar.
    EXPECT_FALSE(dlg.close());
    EXPECT_FALSE(dlg.isVisible());
    dlg.showMinimized();
    dlg.ShowDialog();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.windowState() & Qt::WindowMinimized);
    ChildOf<QPushButton>(dlg, "closeButton").click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(m_shell->requests().size(), 2u);
}

} // namespace
} // namespace kelmora::ui
