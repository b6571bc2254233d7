#include "hotkeys/hotkeyspage.h"
#include "hotkeys/hotkeytable.h"
#include "platform/globalshortcutsfake.h"
#include "support/testsupport.h"
#include "ui/uifixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

namespace kelmora::hotkeys {
namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;
using ui::ChildOf;
namespace fs = std::filesystem;

constexpr std::uint32_t kAltShift = platform::kModAlt | platform::kModShift;

std::string Hotkey(int id, int vk, int modifiers, const std::string& title)
{
    return "\r\n\t<hotkey>\r\n\t\t<id>" + std::to_string(id) + "</id>\r\n\t\t<vk>" + std::to_string(vk) +
           "</vk>\r\n\t\t<modifiers>" + std::to_string(modifiers) + "</modifiers>\r\n\t\t<title>" + title +
           "</title>\r\n\t</hotkey>";
}

// The file as the program writes it, with `second` in the place of the second
// entry.
std::string FileWith(const std::string& second)
{
    return "\r\n\r\n<xml>" + Hotkey(45056, 77, 5, "Show tray menu") + second + Hotkey(45058, 82, 5, "Create new task") +
           Hotkey(45059, 83, 5, "Show settings") + Hotkey(45060, 80, 5, "Stop current task") + "\r\n</xml>";
}

class HotkeyTableTest : public ::testing::Test
{
protected:
    fs::path File() const { return HotkeysPath(m_dir.path()); }

    testsupport::TempDir m_dir;
    platform::FakeGlobalShortcuts m_shortcuts;
    CHotkeyTable m_table{m_dir.path(), m_shortcuts};
};

TEST_F(HotkeyTableTest, MissingFile_GivesTheDefaultsWritesNothingAndSavesTheExactText_TitlesReadBack)
{
    ASSERT_TRUE(m_table.LoadHotkeys());
    EXPECT_FALSE(fs::exists(File()));
    EXPECT_TRUE(m_table.RegisterAll());
    for (const char key : {'M', 'T', 'R', 'S', 'P'}) {
        EXPECT_TRUE(m_shortcuts.Press(kAltShift, static_cast<std::uint32_t>(key))) << key;
    }
    ASSERT_TRUE(m_table.SaveHotkeys());
    EXPECT_EQ(ReadFile(File()), FileWith(Hotkey(45057, 84, 5, "Show/hide task list window")));

    // A title with the file's special characters reads back unchanged; a table unregisters when destroyed.
    m_table.UnregisterAll();
    m_table.At(2)->title = "Tasks & <notes> \\ \"quoted\"";
    ASSERT_TRUE(m_table.SaveHotkeys());
    {
        CHotkeyTable again(m_dir.path(), m_shortcuts);
        ASSERT_TRUE(again.LoadHotkeys());
        EXPECT_EQ(again.At(2)->title, m_table.At(2)->title);
        again.RegisterAll();
        EXPECT_EQ(m_shortcuts.Registered().size(), 5u);
    }
    EXPECT_TRUE(m_shortcuts.Registered().empty());
}

struct LoadCase
{
    const char* name;
    std::string file;
    bool loads;
    HotkeyEntry second;
    // False: not registered, as it would take the key from typing.
    bool grabbed = true;
};

// Entry 1 after each load, and what its combination then sets off; the file is
// never rewritten by a load.
TEST_F(HotkeyTableTest, LoadCases)
{
    const HotkeyEntry defaultSecond{45057, "Show/hide task list window", kAltShift, 'T'};
    const LoadCase cases[] = {
        {"four elements", FileWith(""), false, defaultSecond},
        // Its combination shows the tray menu too.
        {"second carries 45056",
         FileWith(Hotkey(45056, 84, 5, "Tray again")),
         true,
         {45056, "Tray again", kAltShift, 'T'}},
        {"title with &",
         FileWith(Hotkey(45057, 75, 3, "Lists & logs")),
         true,
         {45057, "Lists & logs", platform::kModAlt | platform::kModControl, 'K'}},
        {"element without vk", FileWith("<hotkey><id>1</id><modifiers>5</modifiers></hotkey>"), false, defaultSecond},
        {"not xml", "no tags here", false, defaultSecond},
        {"bare key", FileWith(Hotkey(45057, 81, 0, "Bare")), true, {45057, "Bare", 0, 'Q'}, false},
        {"shift only",
         FileWith(Hotkey(45057, 81, 4, "Shift")),
         true,
         {45057, "Shift", platform::kModShift, 'Q'},
         false},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(File(), c.file);
        EXPECT_EQ(m_table.LoadHotkeys(), c.loads);
        EXPECT_EQ(*m_table.At(1), c.second);
        EXPECT_EQ(ReadFile(File()), c.file);
        EXPECT_EQ(m_table.RegisterAll(), c.grabbed); // an entry left out is a shortcut that does not work
        QSignalSpy spy(&m_shortcuts, &platform::GlobalShortcuts::activated);
        EXPECT_EQ(m_shortcuts.Press(c.second.modifiers, c.second.vk), c.grabbed);
        EXPECT_EQ(spy.count(), c.grabbed ? 1 : 0);
        EXPECT_EQ(spy.value(0).value(0).toInt(), c.grabbed ? c.second.id : 0);
        // The others are there all the same, and the page shows each one as it is.
        EXPECT_TRUE(m_shortcuts.Press(kAltShift, 'S'));
        EXPECT_EQ(m_table.ShownText(1).endsWith(" (unavailable)"), !c.grabbed) << m_table.ShownText(1).toStdString();
        EXPECT_EQ(m_table.ShownText(3), QStringLiteral("Shift+Alt+S"));
        EXPECT_EQ(m_table.ShownText(4), QStringLiteral("Shift+Alt+P"));
        m_table.UnregisterAll();
    }
}

TEST_F(HotkeyTableTest, HotkeyText_ModifiersInOrder_HeldOrRepeatedShownUnavailableAndLeftOutOfTheMenu)
{
    const std::pair<std::uint32_t, const char*> cases[] = {
        {2, "Ctrl+M"}, {15, "Ctrl+Shift+Alt+Win+M"}, {8, "Win+M"}, {0, "M"}, {6, "Ctrl+Shift+M"}};
    for (const auto& [modifiers, text] : cases) {
        EXPECT_EQ(CHotkeyTable::GetHotkeyText({1, "", modifiers, 'M'}), QString::fromLatin1(text));
    }
    ASSERT_TRUE(m_table.LoadHotkeys());
    m_shortcuts.Hold(kAltShift, 'P');
    m_table.At(3)->vk = 'M';
    EXPECT_FALSE(m_table.RegisterAll());
    EXPECT_EQ(m_table.ShownText(0), QStringLiteral("Shift+Alt+M"));
    EXPECT_EQ(m_table.ShownText(3), QStringLiteral("Shift+Alt+M (unavailable)"));
    EXPECT_EQ(m_table.ShownText(4), QStringLiteral("Shift+Alt+P (unavailable)"));
    EXPECT_EQ(m_table.ActiveText(45060), QString());
    EXPECT_EQ(m_table.ActiveText(45057), QStringLiteral("Shift+Alt+T"));
    m_table.UnregisterAll();
    EXPECT_EQ(m_table.ActiveText(45057), QString());
    EXPECT_EQ(m_table.ShownText(1), QStringLiteral("Shift+Alt+T (unavailable)"));
}

// ---- the Keyboard Shortcuts page and its edit dialog ----

class HotkeysPageTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_table.LoadHotkeys()); }

    app::ShowMessageFn Recorder()
    {
        return
            [this](QWidget*, const QString& text, const QString& caption) { m_shown.push_back(caption + ": " + text); };
    }

    // Sets the dialog's controls; an empty key clears the combo.
    static void Answer(CEditHotkeyDlg& dialog, bool alt, bool ctrl, bool shift, QString key)
    {
        ChildOf<QCheckBox>(dialog, "altCheck").setChecked(alt);
        ChildOf<QCheckBox>(dialog, "ctrlCheck").setChecked(ctrl);
        ChildOf<QCheckBox>(dialog, "shiftCheck").setChecked(shift);
        auto* combo = &ChildOf<QComboBox>(dialog, "keyCombo");
        combo->setCurrentIndex(combo->findText(key));
    }

    testsupport::TempDir m_dir;
    platform::FakeGlobalShortcuts m_shortcuts;
    CHotkeyTable m_table{m_dir.path(), m_shortcuts};
    // Each message as "caption: text".
    std::vector<QString> m_shown;
};

TEST_F(HotkeysPageTest, EditDialog_OkRules)
{
    const QString kTypingCaption = "Alt or Ctrl needed";
    const QString kTypingText =
        "Select Alt or Ctrl as well: a letter alone, or with Shift only, is what you type in every other program.";
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
        {"bare letter", false, false, false, "Q", kTypingCaption, kTypingText, 0},
        {"shift only", false, false, true, "Q", kTypingCaption, kTypingText, 0},
        {"used by another", true, false, true, "S", "Hotkey in use",
         "This combination is already used for \"Show settings\"", 0},
        {"own combination", true, false, true, "T", {}, {}, kAltShift},
        {"another's key, other modifiers", false, true, true, "S", {}, {}, platform::kModControl | platform::kModShift},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_shown.clear();
        HotkeyEntry entry = *m_table.At(1);
        entry.modifiers |= platform::kModWin;
        *m_table.At(1) = entry;
        CEditHotkeyDlg dialog(*m_table.At(1), m_table, Recorder());
        // It shows the entry first: Shift+Alt+T.
        EXPECT_TRUE(ChildOf<QCheckBox>(dialog, "altCheck").isChecked());
        EXPECT_FALSE(ChildOf<QCheckBox>(dialog, "ctrlCheck").isChecked());
        EXPECT_TRUE(ChildOf<QCheckBox>(dialog, "shiftCheck").isChecked());
        auto* combo = &ChildOf<QComboBox>(dialog, "keyCombo");
        EXPECT_EQ(combo->count(), 26);
        EXPECT_EQ(combo->currentData().toUInt(), 84u);
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
            EXPECT_EQ(m_shown[0], c.caption + ": " + c.text);
            EXPECT_EQ(*m_table.At(1), entry);
        }
        *m_table.At(1) = entry;
    }
    // OK on an entry left as it is: its combination is its own, not another's.
    m_shown.clear();
    CEditHotkeyDlg own(*m_table.At(0), m_table, Recorder());
    own.accept();
    EXPECT_TRUE(m_shown.empty());
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
            emit m_shortcuts.statusChanged();
            EXPECT_EQ(m_view->topLevelItem(0)->text(1), QStringLiteral("Shift+Alt+M")) << "the state before it";
            m_answer(dialog);
            return dialog.result();
        });
        m_page->OnSetActive();
        m_view = &ChildOf<QTreeWidget>(*m_page, "hotkeyView");
    }

    void Select(int row) { m_view->setCurrentItem(m_view->topLevelItem(row)); }

    std::unique_ptr<CHotkeysPage> m_page;
    QTreeWidget* m_view = nullptr;
    std::function<void(CEditHotkeyDlg&)> m_answer;
};

// Escape (after a double-click) registers the table again and writes it
// unchanged; OK on the Change button's dialog shows the new combination.
TEST_F(HotkeysPageChangeTest, EscapeKeepsAndOkChangesTheSelectedRow)
{
    ASSERT_EQ(m_view->topLevelItemCount(), 5);
    EXPECT_EQ(m_view->topLevelItem(4)->text(0), QStringLiteral("Stop current task"));
    auto* change = &ChildOf<QPushButton>(*m_page, "changeButton");
    EXPECT_FALSE(change->isEnabled()) << "nothing selected";
    m_shortcuts.Hold(kAltShift, 'R');
    m_answer = [](CEditHotkeyDlg& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); };
    Select(0);
    const int registered = m_shortcuts.RegisterCount();
    emit m_view->itemDoubleClicked(m_view->topLevelItem(0), 0);
    EXPECT_EQ(m_shortcuts.RegisterCount(), registered + 1);
    EXPECT_EQ(ReadFile(HotkeysPath(m_dir.path())), FileWith(Hotkey(45057, 84, 5, "Show/hide task list window")));
    EXPECT_EQ(m_view->topLevelItem(2)->text(1), QStringLiteral("Shift+Alt+R (unavailable)"));

    m_answer = [](CEditHotkeyDlg& dialog) {
        Answer(dialog, true, true, false, "K");
        dialog.accept();
    };
    Select(1);
    ASSERT_TRUE(change->isEnabled());
    EXPECT_FALSE(change->isDefault() || change->autoDefault()) << "Enter outside the list is the sheet's OK";
    QTest::keyClick(m_view, Qt::Key_Return);
    // That the new combination works at once, is written at once and frees the old one, the end-to-end test of
    // the global keys shows with the real desktop.
    EXPECT_EQ(m_view->topLevelItem(1)->text(1), QStringLiteral("Ctrl+Alt+K"));
    EXPECT_TRUE(m_shown.empty());
}

// A folder in the file's place: the rename over it fails as it would on a full
// or read-only disk. The user is told which file, what was there stays, and the
// shortcuts work again.
TEST_F(HotkeysPageChangeTest, FailedWrite_IsReportedAndKeepsWhatWasThere)
{
    m_answer = [](CEditHotkeyDlg& dialog) { dialog.reject(); };
    fs::create_directory(HotkeysPath(m_dir.path()));
    WriteFile(HotkeysPath(m_dir.path()) / "keep", "x");
    Select(0);
    m_page->Change();
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_TRUE(m_shown[0].startsWith("Error: ")) << m_shown[0].toStdString();
    EXPECT_TRUE(m_shown[0].contains("hotkeys.xml")) << m_shown[0].toStdString();
    EXPECT_EQ(ReadFile(HotkeysPath(m_dir.path()) / "keep"), "x");
    EXPECT_TRUE(m_shortcuts.Press(kAltShift, 'M'));
}

} // namespace
} // namespace kelmora::hotkeys
