#include "hotkeys/hotkeyspage.h"
#include "hotkeys/hotkeytable.h"
#include "platform/globalshortcutsfake.h"
#include "support/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

namespace kelmora::hotkeys {
namespace {

namespace fs = std::filesystem;
constexpr std::uint32_t kAltShift = platform::kModAlt | platform::kModShift;

struct Shown
{
    QString text;
    QString caption;
};

class HotkeysPageTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_table.LoadHotkeys()); }

    app::ShowMessageFn Recorder()
    {
        return [this](QWidget*, const QString& text, const QString& caption) { m_shown.push_back({text, caption}); };
    }

    template <typename T> static T* Child(QWidget& parent, const char* name)
    {
        return parent.findChild<T*>(QLatin1String(name));
    }

    // Sets the dialog's controls; an empty key clears the combo.
    static void Answer(CEditHotkeyDlg& dialog, bool alt, bool ctrl, bool shift, QString key)
    {
        Child<QCheckBox>(dialog, "altCheck")->setChecked(alt);
        Child<QCheckBox>(dialog, "ctrlCheck")->setChecked(ctrl);
        Child<QCheckBox>(dialog, "shiftCheck")->setChecked(shift);
        auto* combo = Child<QComboBox>(dialog, "keyCombo");
        combo->setCurrentIndex(combo->findText(key));
    }

    testsupport::TempDir m_dir;
    platform::FakeGlobalShortcuts m_shortcuts;
    CHotkeyTable m_table{m_dir.path(), m_shortcuts};
    std::vector<Shown> m_shown;
};

TEST_F(HotkeysPageTest, EditDialog_ShowsTheEntry)
{
    CEditHotkeyDlg dialog(*m_table.At(1), m_table, Recorder());
    EXPECT_TRUE(Child<QCheckBox>(dialog, "altCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "ctrlCheck")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(dialog, "shiftCheck")->isChecked());
    auto* combo = Child<QComboBox>(dialog, "keyCombo");
    EXPECT_EQ(combo->count(), 26);
    EXPECT_EQ(combo->currentText(), QStringLiteral("T"));
    EXPECT_EQ(combo->currentData().toUInt(), 84u);
}

TEST_F(HotkeysPageTest, EditDialog_OkRules)
{
    struct Case
    {
        const char* name;
        bool alt, ctrl, shift;
        QString key;
        // Empty: accepted.
        QString caption;
        QString text;
        std::uint32_t modifiers;
    };
    const Case cases[] = {
        {"no key", true, false, true, {}, "No key is selected", "Select some key to proceed", 0},
        {"bare letter", false, false, false, "Q", "No modifier is selected", "Select at least one modifier", 0},
        {"used by another", true, false, true, "S", "Hotkey in use",
         "This combination is already used for \"Show settings\"", 0},
        {"own combination", true, false, true, "T", {}, {}, kAltShift},
        {"new one", false, true, true, "K", {}, {}, platform::kModControl | platform::kModShift},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_shown.clear();
        HotkeyEntry entry = *m_table.At(1);
        entry.modifiers |= platform::kModWin;
        *m_table.At(1) = entry;
        CEditHotkeyDlg dialog(*m_table.At(1), m_table, Recorder());
        Answer(dialog, c.alt, c.ctrl, c.shift, c.key);
        dialog.accept();
        if (c.caption.isEmpty()) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_TRUE(m_shown.empty());
            // The Win flag is not offered, so OK drops it.
            EXPECT_EQ(m_table.At(1)->modifiers, c.modifiers);
            EXPECT_EQ(m_table.At(1)->vk, static_cast<std::uint32_t>(c.key.at(0).unicode()));
        } else {
            EXPECT_NE(dialog.result(), QDialog::Accepted);
            ASSERT_EQ(m_shown.size(), 1u);
            EXPECT_EQ(m_shown[0].caption, c.caption);
            EXPECT_EQ(m_shown[0].text, c.text);
            EXPECT_EQ(*m_table.At(1), entry);
        }
        *m_table.At(1) = entry;
    }
}

class HotkeysPageChangeTest : public HotkeysPageTest
{
protected:
    void SetUp() override
    {
        HotkeysPageTest::SetUp();
        m_table.RegisterAll();
        m_page = std::make_unique<CHotkeysPage>(m_table, Recorder(), [this](CEditHotkeyDlg& dialog) {
            EXPECT_TRUE(m_shortcuts.Registered().empty()) << "the dialog runs with the shortcuts released";
            m_answer(dialog);
            return dialog.result();
        });
        m_page->OnSetActive();
        m_view = Child<QTreeWidget>(*m_page, "hotkeyView");
    }

    void Select(int row) { m_view->setCurrentItem(m_view->topLevelItem(row)); }

    std::unique_ptr<CHotkeysPage> m_page;
    QTreeWidget* m_view = nullptr;
    std::function<void(CEditHotkeyDlg&)> m_answer;
};

TEST_F(HotkeysPageChangeTest, ListShowsTheTableAndChangeNeedsASelection)
{
    ASSERT_EQ(m_view->topLevelItemCount(), 5);
    EXPECT_EQ(m_view->headerItem()->text(0), QStringLiteral("Action"));
    EXPECT_EQ(m_view->topLevelItem(4)->text(0), QStringLiteral("Stop current task"));
    EXPECT_EQ(m_view->topLevelItem(4)->text(1), QStringLiteral("Shift+Alt+P"));
    auto* change = Child<QPushButton>(*m_page, "changeButton");
    EXPECT_FALSE(change->isEnabled());
    Select(2);
    EXPECT_TRUE(change->isEnabled());
}

TEST_F(HotkeysPageChangeTest, ChangeWithOk_TakesEffectAtOnceAndIsWritten)
{
    m_answer = [](CEditHotkeyDlg& dialog) {
        Answer(dialog, true, true, false, "K");
        dialog.accept();
    };
    Select(1);
    Child<QPushButton>(*m_page, "changeButton")->click();
    const auto kCtrlAlt = platform::kModControl | platform::kModAlt;
    EXPECT_TRUE(m_shortcuts.Press(kCtrlAlt, 'K'));
    EXPECT_FALSE(m_shortcuts.Press(kAltShift, 'T'));
    EXPECT_EQ(m_view->topLevelItem(1)->text(1), QStringLiteral("Ctrl+Alt+K"));
    CHotkeyTable written(m_dir.path(), m_shortcuts);
    ASSERT_TRUE(written.LoadHotkeys());
    EXPECT_EQ(written.At(1)->modifiers, kCtrlAlt);
    EXPECT_EQ(written.At(1)->vk, static_cast<std::uint32_t>('K'));
}

TEST_F(HotkeysPageChangeTest, DoubleClickAndEscape_RegistersAgainAndWritesTheUnchangedTable)
{
    m_shortcuts.Hold(kAltShift, 'R');
    m_answer = [](CEditHotkeyDlg& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); };
    Select(0);
    const int registered = m_shortcuts.RegisterCount();
    emit m_view->itemDoubleClicked(m_view->topLevelItem(0), 0);
    EXPECT_EQ(m_shortcuts.RegisterCount(), registered + 1);
    CHotkeyTable written(m_dir.path(), m_shortcuts);
    ASSERT_TRUE(fs::exists(HotkeysPath(m_dir.path())));
    ASSERT_TRUE(written.LoadHotkeys());
    for (int i = 0; i < kHotkeyCount; ++i) {
        EXPECT_EQ(*written.At(i), *m_table.At(i));
    }
    EXPECT_EQ(m_view->topLevelItem(2)->text(1), QStringLiteral("Shift+Alt+R (unavailable)"));
    EXPECT_TRUE(m_shown.empty());
}

TEST_F(HotkeysPageChangeTest, FailedWrite_IsReported)
{
    m_answer = [](CEditHotkeyDlg& dialog) { dialog.reject(); };
    fs::create_directory(HotkeysPath(m_dir.path()));
    Select(0);
    m_page->Change();
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].caption, QStringLiteral("Error"));
    EXPECT_TRUE(m_shortcuts.Press(kAltShift, 'M'));
}

} // namespace
} // namespace kelmora::hotkeys
