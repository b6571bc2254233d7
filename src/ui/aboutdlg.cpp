#include "aboutdlg.h"

#include "app/icons.h"
#include "app/kelmoraapp.h"
#include "app/mainwnd.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#ifndef KELMORA_VERSION
#error "KELMORA_VERSION must come from the build"
#endif

namespace kelmora::ui {

namespace {

constexpr int kPictureSize = 64;

// A label whose only content is a link that the dialog opens itself, so every request goes through the
// application's shell rather than straight to the desktop.
QLabel* MakeLinkLabel(QWidget* parent, const char* name, const QString& url, const QString& text)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), text.toHtmlEscaped()));
    label->setOpenExternalLinks(false);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setFocusPolicy(Qt::StrongFocus);
    label->setToolTip(url);
    return label;
}

} // namespace

CAboutDlg::CAboutDlg(app::CKelmoraApp& app, QWidget* parent)
    : CModelessDialog(parent), m_app(app), m_iconLabel(new QLabel(this)),
      m_websiteLabel(
          MakeLinkLabel(this, "websiteLabel", QString::fromLatin1(kWebsiteAddress), QStringLiteral("kelmora.app"))),
      m_supportLabel(MakeLinkLabel(this, "supportLabel",
                                   QStringLiteral("mailto:") + QString::fromLatin1(app::kSupportAddress),
                                   QString::fromLatin1(app::kSupportAddress))),
      m_closeButton(nullptr)
{
    setObjectName("aboutDlg");
    setWindowTitle(QStringLiteral("About Kelmora..."));
    setWindowIcon(app::MakeIcon(app::IconKind::Program));

    m_iconLabel->setObjectName("iconLabel");
    m_iconLabel->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    UpdatePicture();

    auto* nameLabel = new QLabel(QStringLiteral("Kelmora"), this);
    nameLabel->setObjectName("nameLabel");
    QFont nameFont = nameLabel->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
    nameLabel->setFont(nameFont);
    auto* versionLabel = new QLabel(VersionText(), this);
    versionLabel->setObjectName("versionLabel");
    versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* descriptionLabel =
        new QLabel(QStringLiteral("A personal time tracker: keep a list of your tasks, track one at a time from "
                                  "the notification area, and see where your hours went by day, week, month or year."),
                   this);
    descriptionLabel->setObjectName("descriptionLabel");
    descriptionLabel->setWordWrap(true);
    connect(m_websiteLabel, &QLabel::linkActivated, this, &CAboutDlg::OnLinkActivated);
    connect(m_supportLabel, &QLabel::linkActivated, this, &CAboutDlg::OnLinkActivated);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setObjectName("buttonBox");
    m_closeButton = buttons->button(QDialogButtonBox::Close);
    m_closeButton->setObjectName("closeButton");
    m_closeButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAboutDlg::HideDialog);

    auto* text = new QVBoxLayout;
    text->addWidget(nameLabel);
    text->addWidget(versionLabel);
    text->addWidget(descriptionLabel);
    text->addSpacing(nameLabel->fontMetrics().height() / 2);
    text->addWidget(m_websiteLabel);
    text->addWidget(m_supportLabel);
    text->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(m_iconLabel, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);
    // Wide enough that the description wraps into a few lines instead of one tall column.
    descriptionLabel->setMinimumWidth(descriptionLabel->fontMetrics().averageCharWidth() * 48);

    setTabOrder(m_websiteLabel, m_supportLabel);
    setTabOrder(m_supportLabel, m_closeButton);
    m_closeButton->setFocus();
}

QString CAboutDlg::VersionText()
{
    return QStringLiteral("Version ") + QStringLiteral(KELMORA_VERSION);
}

void CAboutDlg::showEvent(QShowEvent* event)
{
    // The dialog may appear on a screen of another scale than the one it was built for.
    UpdatePicture();
    CModelessDialog::showEvent(event);
}

void CAboutDlg::UpdatePicture()
{
    // Drawn for the screen's real pixels, shown at 64 device-independent pixels.
    m_iconLabel->setPixmap(
        app::MakeIcon(app::IconKind::Program).pixmap(QSize(kPictureSize, kPictureSize), devicePixelRatioF()));
}

void CAboutDlg::OnLinkActivated(const QString& url)
{
    m_app.Shell().Open(url.toStdString());
}

} // namespace kelmora::ui
