#include "settingssheet.h"

#include "platform/settingsstore.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kelmora::app {

namespace {

ShowMessageFn OrWarningBox(ShowMessageFn showMessage)
{
    if (showMessage) {
        return showMessage;
    }
    return
        [](QWidget* owner, const QString& text, const QString& caption) { QMessageBox::warning(owner, caption, text); };
}

QCheckBox* AddCheckBox(QVBoxLayout* layout, const QString& text, const char* name)
{
    auto* box = new QCheckBox(text);
    box->setObjectName(QLatin1String(name));
    layout->addWidget(box);
    return box;
}

// A number-only edit with its labels around it: "text [   ] min".
QLineEdit* AddMinutesRow(QVBoxLayout* layout, const QString& text, const char* name)
{
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(text);
    auto* edit = new QLineEdit;
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), edit));
    edit->setMaximumWidth(70);
    label->setBuddy(edit);
    row->addWidget(label, 1);
    row->addWidget(edit);
    row->addWidget(new QLabel(QStringLiteral("min")));
    layout->addLayout(row);
    return edit;
}

bool Flag(const platform::SettingsStore& settings, const platform::Setting& setting)
{
    return platform::GetSetting(settings, setting) != 0;
}

} // namespace

CPropertyPage::CPropertyPage(QString caption, QWidget* parent) : QWidget(parent), m_caption(std::move(caption)) {}

CSettingsPage::CSettingsPage(SettingsSheetServices services, QWidget* parent)
    : CPropertyPage(QStringLiteral("Common"), parent), m_services(std::move(services))
{
    m_services.showMessage = OrWarningBox(std::move(m_services.showMessage));
    auto* layout = new QVBoxLayout(this);
    auto* general = new QGroupBox(QStringLiteral("General Settings"));
    auto* generalLayout = new QVBoxLayout(general);
    m_autostart =
        AddCheckBox(generalLayout, QStringLiteral("Automatically start Kelmora when I log in"), "autostartCheck");
    m_autoStop =
        AddCheckBox(generalLayout, QStringLiteral("Automatically stop current task before exit"), "autoStopCheck");
    m_remind = AddCheckBox(generalLayout, QStringLiteral("Remind me to start time tracking during inactive periods"),
                           "remindCheck");
    m_showWindow =
        AddCheckBox(generalLayout, QStringLiteral("Show Task List window at Kelmora start"), "showWindowCheck");
    layout->addWidget(general);

    auto* menu = new QGroupBox(QStringLiteral("Tray icon context menu"));
    auto* menuLayout = new QVBoxLayout(menu);
    m_usualMode = new QRadioButton(QStringLiteral("Usual mode"));
    m_usualMode->setObjectName(QStringLiteral("usualModeRadio"));
    m_quickMode = new QRadioButton(QStringLiteral("Quick Task Access mode"));
    m_quickMode->setObjectName(QStringLiteral("quickModeRadio"));
    menuLayout->addWidget(m_usualMode);
    menuLayout->addWidget(m_quickMode);
    layout->addWidget(menu);
    layout->addStretch(1);
    // The mode follows the clicks, not the buttons' state at the time of storing.
    connect(m_usualMode, &QRadioButton::clicked, this, [this] { m_menuMode = 0; });
    connect(m_quickMode, &QRadioButton::clicked, this, [this] { m_menuMode = 1; });
}

void CSettingsPage::OnSetActive()
{
    const platform::SettingsStore& settings = m_services.settings;
    m_autostart->setChecked(settings.IsAutostart());
    m_showWindow->setChecked(Flag(settings, platform::setting::kShowWindow));
    m_autoStop->setChecked(Flag(settings, platform::setting::kAutoStop));
    m_remind->setChecked(Flag(settings, platform::setting::kRemind));
    m_menuMode = Flag(settings, platform::setting::kUseQuickAccessMenu) ? 1 : 0;
    (m_menuMode == 0 ? m_usualMode : m_quickMode)->setChecked(true);
}

bool CSettingsPage::OnKillActive()
{
    platform::SettingsStore& settings = m_services.settings;
    // An entry the user made or edited (another path, options of their own) counts as on and stays as it is:
    // only a change of the box writes or removes it.
    if (m_autostart->isChecked() != settings.IsAutostart() && !settings.SetAutostart(m_autostart->isChecked())) {
        m_services.showMessage(this,
                               m_autostart->isChecked()
                                   ? QStringLiteral("The autostart entry could not be written, so Kelmora will not "
                                                    "start when you log in.")
                                   : QStringLiteral("The autostart entry could not be removed, so Kelmora will "
                                                    "still start when you log in."),
                               QStringLiteral("Error"));
    }
    platform::SetSetting(settings, platform::setting::kShowWindow, m_showWindow->isChecked() ? 1 : 0);
    platform::SetSetting(settings, platform::setting::kAutoStop, m_autoStop->isChecked() ? 1 : 0);
    platform::SetSetting(settings, platform::setting::kRemind, m_remind->isChecked() ? 1 : 0);
    platform::SetSetting(settings, platform::setting::kUseQuickAccessMenu, m_menuMode);
    return true;
}

CTimeoutsPage::CTimeoutsPage(SettingsSheetServices services, QWidget* parent)
    : CPropertyPage(QStringLiteral("Timeouts"), parent), m_services(std::move(services))
{
    m_services.showMessage = OrWarningBox(std::move(m_services.showMessage));
    auto* layout = new QVBoxLayout(this);
    m_idleMinutes =
        AddMinutesRow(layout, QStringLiteral("Timeout for message about an idle period:"), "idleMinutesEdit");
    m_remindMinutes =
        AddMinutesRow(layout, QStringLiteral("Timeout for \"No current task\" message:"), "remindMinutesEdit");
    m_idleDetection =
        AddCheckBox(layout, QStringLiteral("Detect inactivity periods while a task is tracked"), "idleDetectionCheck");
    m_idleSource =
        new QLabel(m_services.idleSource.isEmpty() ? QStringLiteral("Idle detection is not available on this desktop")
                                                   : QStringLiteral("Idle time from: %1").arg(m_services.idleSource));
    m_idleSource->setObjectName(QStringLiteral("idleSourceLabel"));
    m_idleSource->setIndent(20);
    layout->addWidget(m_idleSource);
    layout->addStretch(1);
}

void CTimeoutsPage::OnSetActive()
{
    const platform::SettingsStore& settings = m_services.settings;
    // Whole minutes, the remainder dropped.
    m_idleMinutes->setText(
        QString::number(platform::GetSetting(settings, platform::setting::kTimeoutOnTimeoutsPage) / 60));
    m_remindMinutes->setText(QString::number(platform::GetSetting(settings, platform::setting::kRemindTimeout) / 60));
    m_idleDetection->setChecked(Flag(settings, platform::setting::kUseIdleDetection));
}

bool CTimeoutsPage::ReadMinutes(QLineEdit* edit, int& minutes)
{
    bool ok = false;
    minutes = edit->text().toInt(&ok);
    if (ok && minutes >= kMinMinutes && minutes <= kMaxMinutes) {
        return true;
    }
    m_services.showMessage(
        this, QStringLiteral("Enter a whole number of minutes from %1 to %2.").arg(kMinMinutes).arg(kMaxMinutes),
        QStringLiteral("Timeouts"));
    edit->setFocus();
    edit->selectAll();
    return false;
}

// Nothing is stored unless both timeouts are valid: a half-stored page would not be what the user sees.
bool CTimeoutsPage::OnKillActive()
{
    int idle = 0;
    int remind = 0;
    if (!ReadMinutes(m_idleMinutes, idle) || !ReadMinutes(m_remindMinutes, remind)) {
        return false;
    }
    platform::SettingsStore& settings = m_services.settings;
    platform::SetSetting(settings, platform::setting::kTimeoutOnTimeoutsPage, idle * 60);
    platform::SetSetting(settings, platform::setting::kRemindTimeout, remind * 60);
    platform::SetSetting(settings, platform::setting::kUseIdleDetection, m_idleDetection->isChecked() ? 1 : 0);
    return true;
}

CSettingsSheet::CSettingsSheet(SettingsSheetServices services, std::unique_ptr<CPropertyPage> shortcutsPage,
                               QWidget* parent)
    : QDialog(parent), m_tabs(new QTabWidget)
{
    setWindowTitle(QStringLiteral("Settings"));
    setModal(true);
    m_tabs->setObjectName(QStringLiteral("pageTabs"));
    if (!shortcutsPage) {
        shortcutsPage = std::make_unique<CPropertyPage>(QStringLiteral("Keyboard Shortcuts"));
    }
    m_pages = {new CSettingsPage(services), shortcutsPage.release(), new CTimeoutsPage(services)};
    for (CPropertyPage* page : m_pages) {
        m_tabs->addTab(page, page->Caption());
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply);
    buttons->setObjectName(QStringLiteral("sheetButtons"));
    // Enter presses OK on every page, unless a page's own button has the focus.
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSettingsSheet::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { Apply(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CSettingsSheet::OnCurrentChanged);
    m_pages.front()->OnSetActive();
}

CPropertyPage* CSettingsSheet::Page(int index) const
{
    return index >= 0 && static_cast<std::size_t>(index) < m_pages.size() ? m_pages[static_cast<std::size_t>(index)]
                                                                          : nullptr;
}

bool CSettingsSheet::Apply()
{
    return Page(m_current)->OnKillActive();
}

void CSettingsSheet::accept()
{
    if (Apply()) {
        QDialog::accept();
    }
}

// The tab has already changed when this runs; a page that refuses to be left is shown again.
void CSettingsSheet::OnCurrentChanged(int index)
{
    if (m_restoring || index == m_current) {
        return;
    }
    if (!Page(m_current)->OnKillActive()) {
        m_restoring = true;
        m_tabs->setCurrentIndex(m_current);
        m_restoring = false;
        return;
    }
    m_current = index;
    Page(m_current)->OnSetActive();
}

int RunSettingsSheet(QWidget* parent, SettingsSheetServices services, std::unique_ptr<CPropertyPage> shortcutsPage)
{
    CSettingsSheet sheet(std::move(services), std::move(shortcutsPage), parent);
    return sheet.exec();
}

} // namespace kelmora::app
