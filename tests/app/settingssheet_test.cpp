#include "app/settingssheet.h"
#include "platform/fakesettingsstore.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kelmora::app {
namespace {

enum Page
{
    kCommon = 0,
    kShortcuts = 1,
    kTimeouts = 2,
};

class SettingsSheetTest : public ::testing::Test
{
protected:
    CSettingsSheet& Open(QString idleSource = {})
    {
        SettingsSheetServices services{
            m_settings, [this](QWidget*, const QString& text, const QString&) { m_shown.push_back(text); },
            std::move(idleSource)};
        m_sheet = std::make_unique<CSettingsSheet>(services, nullptr);
        return *m_sheet;
    }

    template <typename T> T* Child(const char* name) { return m_sheet->findChild<T*>(QLatin1String(name)); }
    bool Checked(const char* name) { return Child<QAbstractButton>(name)->isChecked(); }
    QString Text(const char* name) { return Child<QLineEdit>(name)->text(); }
    void SetText(const char* name, const QString& text) { Child<QLineEdit>(name)->setText(text); }
    void Switch(Page page) { m_sheet->Tabs()->setCurrentIndex(page); }
    std::optional<std::int32_t> Stored(const char* name) const { return m_settings.storedValue(name); }

    platform::FakeSettingsStore m_settings;
    std::unique_ptr<CSettingsSheet> m_sheet;
    std::vector<QString> m_shown;
};

TEST_F(SettingsSheetTest, FreshUser_SeesOnlyTheReminderTickedUsualModeAndTwoAndFiveMinutes)
{
    Open();
    ASSERT_EQ(m_sheet->Tabs()->count(), 3);
    for (const char* box : {"autostartCheck", "autoStopCheck", "showWindowCheck", "quickModeRadio"}) {
        EXPECT_FALSE(Checked(box)) << box;
    }
    EXPECT_TRUE(Checked("remindCheck"));
    EXPECT_TRUE(Checked("usualModeRadio"));
    Switch(kTimeouts);
    EXPECT_EQ(Text("idleMinutesEdit"), QStringLiteral("2"));
    EXPECT_EQ(Text("remindMinutesEdit"), QStringLiteral("5"));
    EXPECT_FALSE(Checked("idleDetectionCheck"));
    EXPECT_EQ(Child<QLabel>("idleSourceLabel")->text(),
              QStringLiteral("Idle detection is not available on this desktop"));
}

TEST_F(SettingsSheetTest, SecondsNotWholeMinutes_ShowRoundedDownAndStoreThatOnLeaving)
{
    m_settings.SetSetting("Timeout", 150);
    Open(QStringLiteral("X11 screen saver"));
    Switch(kTimeouts);
    EXPECT_EQ(Text("idleMinutesEdit"), QStringLiteral("2"));
    EXPECT_EQ(Child<QLabel>("idleSourceLabel")->text(), QStringLiteral("Idle time from: X11 screen saver"));
    Child<QCheckBox>("idleDetectionCheck")->setChecked(true);
    Switch(kCommon);
    EXPECT_EQ(Stored("Timeout"), 120);
    EXPECT_EQ(Stored("RemindTimeout"), 300);
    EXPECT_EQ(Stored("UseIdleDetection"), 1);
}

TEST_F(SettingsSheetTest, CancelAfterAPageSwitch_KeepsWhatTheSwitchStored)
{
    Open();
    Child<QCheckBox>("autostartCheck")->setChecked(true);
    Child<QCheckBox>("autoStopCheck")->setChecked(true);
    Child<QRadioButton>("quickModeRadio")->click();
    Switch(kShortcuts);
    Switch(kCommon);
    Child<QCheckBox>("showWindowCheck")->setChecked(true);
    m_sheet->reject();
    EXPECT_TRUE(m_settings.IsAutostart());
    EXPECT_EQ(Stored("AutoStop"), 1);
    EXPECT_EQ(Stored("UseQuickAccessMenu"), 1);
    EXPECT_EQ(Stored("ShowWindow"), 0);
    EXPECT_EQ(Stored("Remind"), 1);
}

TEST_F(SettingsSheetTest, TimeoutsOutsideOneToADay_AreRefusedAndThePageStays)
{
    struct Case
    {
        QString idle;
        QString remind;
        bool accepted;
    };
    const Case cases[] = {
        {"0", "5", false}, {"2", "1441", false}, {"", "5", false}, {"1440", "1", true}, {"007", "30", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.idle.toStdString() + " " + c.remind.toStdString());
        m_shown.clear();
        Open();
        Switch(kTimeouts);
        SetText("idleMinutesEdit", c.idle);
        SetText("remindMinutesEdit", c.remind);
        m_sheet->accept();
        EXPECT_EQ(m_sheet->result() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(m_sheet->Tabs()->currentIndex(), kTimeouts);
        EXPECT_EQ(m_shown.size(), c.accepted ? 0u : 1u);
        Switch(kCommon);
        EXPECT_EQ(m_sheet->Tabs()->currentIndex(), c.accepted ? kCommon : kTimeouts);
        if (c.accepted) {
            EXPECT_EQ(Stored("Timeout"), c.idle.toInt() * 60);
            EXPECT_EQ(Stored("RemindTimeout"), c.remind.toInt() * 60);
        }
    }
}

TEST_F(SettingsSheetTest, AutostartThatCannotBeWritten_IsReported)
{
    Open();
    m_settings.setFailing(true);
    Child<QCheckBox>("autostartCheck")->setChecked(true);
    m_sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply)->click();
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_TRUE(m_shown[0].contains(QStringLiteral("autostart entry could not be written")))
        << m_shown[0].toStdString();
}

} // namespace
} // namespace kelmora::app
