#include "hotkeys/hotkeytable.h"
#include "platform/globalshortcutsfake.h"
#include "support/testsupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kelmora::hotkeys {
namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;
namespace fs = std::filesystem;

constexpr std::uint32_t kAltShift = platform::kModAlt | platform::kModShift;

std::string Hotkey(int id, int vk, int modifiers, const std::string& title)
{
    return "\r\n\t<hotkey>\r\n\t\t<id>" + std::to_string(id) + "</id>\r\n\t\t<vk>" + std::to_string(vk) +
           "</vk>\r\n\t\t<modifiers>" + std::to_string(modifiers) + "</modifiers>\r\n\t\t<title>" + title +
           "</title>\r\n\t</hotkey>";
}

const std::string kDefaultFile = "\r\n\r\n<xml>" + Hotkey(45056, 77, 5, "Show tray menu") +
                                 Hotkey(45057, 84, 5, "Show/hide task list window") +
                                 Hotkey(45058, 82, 5, "Create new task") + Hotkey(45059, 83, 5, "Show settings") +
                                 Hotkey(45060, 80, 5, "Stop current task") + "\r\n</xml>";

class HotkeyTableTest : public ::testing::Test
{
protected:
    fs::path File() const { return HotkeysPath(m_dir.path()); }

    testsupport::TempDir m_dir;
    platform::FakeGlobalShortcuts m_shortcuts;
    CHotkeyTable m_table{m_dir.path(), m_shortcuts};
};

TEST_F(HotkeyTableTest, MissingFile_GivesTheDefaultsWritesNothingAndSavesTheExactText)
{
    ASSERT_TRUE(m_table.LoadHotkeys());
    EXPECT_FALSE(fs::exists(File()));
    EXPECT_TRUE(m_table.RegisterAll());
    for (const char key : {'M', 'T', 'R', 'S', 'P'}) {
        EXPECT_TRUE(m_shortcuts.Press(kAltShift, static_cast<std::uint32_t>(key))) << key;
    }
    ASSERT_TRUE(m_table.SaveHotkeys());
    EXPECT_EQ(ReadFile(File()), kDefaultFile);
}

// The load cases of the file; `registers` is what the hub does with LoadHotkeys' result.
struct LoadCase
{
    const char* name;
    std::string file;
    bool loads;
    // Entry 1 after the load.
    HotkeyEntry second;
};

TEST_F(HotkeyTableTest, LoadCases)
{
    const std::string head = "\r\n\r\n<xml>" + Hotkey(45056, 77, 5, "Show tray menu");
    const std::string tail = Hotkey(45058, 82, 5, "Create new task") + Hotkey(45059, 83, 5, "Show settings") +
                             Hotkey(45060, 80, 5, "Stop current task") + "\r\n</xml>";
    const LoadCase cases[] = {
        {"four elements",
         head + Hotkey(45057, 65, 3, "X") + Hotkey(45058, 82, 5, "Y") + Hotkey(45059, 83, 5, "Z") + "</xml>",
         false,
         {45057, "Show/hide task list window", kAltShift, 'T'}},
        {"second carries 45056",
         head + Hotkey(45056, 84, 5, "Tray again") + tail,
         true,
         {45056, "Tray again", kAltShift, 'T'}},
        {"title with &",
         head + Hotkey(45057, 75, 3, "Lists & logs") + tail,
         true,
         {45057, "Lists & logs", platform::kModAlt | platform::kModControl, 'K'}},
        {"element without vk",
         head + "<hotkey><id>1</id><modifiers>5</modifiers></hotkey>" + tail,
         false,
         {45057, "Show/hide task list window", kAltShift, 'T'}},
        {"not xml", "no tags here", false, {45057, "Show/hide task list window", kAltShift, 'T'}},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(File(), c.file);
        EXPECT_EQ(m_table.LoadHotkeys(), c.loads);
        EXPECT_EQ(*m_table.At(1), c.second);
        EXPECT_EQ(ReadFile(File()), c.file);
    }
}

TEST_F(HotkeyTableTest, SecondEntryWithTheTrayMenuId_ItsCombinationShowsTheTrayMenu)
{
    WriteFile(File(), "<xml>" + Hotkey(45056, 77, 5, "a") + Hotkey(45056, 84, 5, "b") + Hotkey(45058, 82, 5, "c") +
                          Hotkey(45059, 83, 5, "d") + Hotkey(45060, 80, 5, "e") + "</xml>");
    ASSERT_TRUE(m_table.LoadHotkeys());
    m_table.RegisterAll();
    QSignalSpy spy(&m_shortcuts, &platform::GlobalShortcuts::activated);
    ASSERT_TRUE(m_shortcuts.Press(kAltShift, 'T'));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 45056);
}

TEST_F(HotkeyTableTest, TitleWithAmpersand_ReadsBackUnchangedAfterASave)
{
    ASSERT_TRUE(m_table.LoadHotkeys());
    m_table.At(2)->title = "Tasks & <notes> \\ \"quoted\"";
    ASSERT_TRUE(m_table.SaveHotkeys());
    CHotkeyTable again(m_dir.path(), m_shortcuts);
    ASSERT_TRUE(again.LoadHotkeys());
    EXPECT_EQ(again.At(2)->title, m_table.At(2)->title);
}

TEST_F(HotkeyTableTest, GetHotkeyText)
{
    const std::pair<std::uint32_t, const char*> cases[] = {
        {5, "Shift+Alt+M"}, {2, "Ctrl+M"}, {15, "Ctrl+Shift+Alt+Win+M"}, {8, "Win+M"}, {0, "M"}, {6, "Ctrl+Shift+M"}};
    for (const auto& [modifiers, text] : cases) {
        EXPECT_EQ(CHotkeyTable::GetHotkeyText({1, "", modifiers, 'M'}), QString::fromLatin1(text));
    }
}

TEST_F(HotkeyTableTest, HeldOrRepeatedCombination_IsShownUnavailableAndLeftOutOfTheMenu)
{
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

TEST_F(HotkeyTableTest, FailedWrite_IsReportedAndKeepsWhatWasThere)
{
    ASSERT_TRUE(m_table.LoadHotkeys());
    // A folder in the file's place: the rename over it fails as it would on a full or read-only disk.
    fs::create_directory(File());
    WriteFile(File() / "keep", "x");
    std::string error;
    EXPECT_FALSE(m_table.SaveHotkeys(&error));
    EXPECT_NE(error.find("hotkeys.xml"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(File() / "keep"), "x");
}

TEST_F(HotkeyTableTest, Destruction_Unregisters)
{
    {
        CHotkeyTable table(m_dir.path(), m_shortcuts);
        table.LoadHotkeys();
        table.RegisterAll();
        EXPECT_EQ(m_shortcuts.Registered().size(), 5u);
    }
    EXPECT_TRUE(m_shortcuts.Registered().empty());
}

} // namespace
} // namespace kelmora::hotkeys
