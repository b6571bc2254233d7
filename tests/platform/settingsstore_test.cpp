#include "platform/fakesettingsstore.h"
#include "platform/inisettingsstore.h"
#include "support/scopedenvironment.h"
#include "support/testsupport.h"

#include <QRect>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

namespace kelmora::platform {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ScopedEnvironment;
using testsupport::TempDir;
using testsupport::WriteFile;

constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
constexpr auto kMax = std::numeric_limits<std::int32_t>::max();

class IniSettingsStoreTest : public ::testing::Test
{
protected:
    fs::path iniFile() const { return m_dir.path() / "config" / "Kelmora" / "kelmora.conf"; }
    fs::path autostartFile() const { return m_dir.path() / "config" / "autostart" / "kelmora.desktop"; }
    void writeIni(const std::string& text)
    {
        fs::create_directories(iniFile().parent_path());
        WriteFile(iniFile(), text);
    }

    TempDir m_dir;
    IniSettingsStore m_store{iniFile(), autostartFile(), "/opt/kelmora/bin/kelmora"};
};

// The stored values and their defaults, as both the real store (a fresh user: nothing is created) and the fake
// one give them. The idle monitor reads "Timeout" with a default of its own.
TEST_F(IniSettingsStoreTest, FreshUserGetsDefaults_ThenEvery32BitValueRoundTripsKeepingTheRestOfTheFile)
{
    const std::vector<std::pair<std::string_view, std::int32_t>> expected{
        {"ShowWindow", 0}, {"AutoStop", 0},        {"Remind", 1},           {"UseQuickAccessMenu", 0},
        {"Timeout", 120},  {"RemindTimeout", 300}, {"UseIdleDetection", 0}, {"IdleContinue", 0},
        {"HotkeyUsed", 0}, {"ReportPeriod", 0},    {"Period", 0},           {"left", 100},
        {"right", 800},    {"top", 100},           {"bottom", 600},
    };
    ASSERT_EQ(setting::kAll.size(), expected.size());
    const FakeSettingsStore fake;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].first);
        EXPECT_EQ(setting::kAll[i].name, expected[i].first);
        EXPECT_EQ(GetSetting(m_store, setting::kAll[i]), expected[i].second);
        EXPECT_EQ(GetSetting(fake, setting::kAll[i]), expected[i].second);
    }
    EXPECT_EQ(setting::kTimeoutInIdleMonitor.name, "Timeout");
    EXPECT_EQ(GetSetting(m_store, setting::kTimeoutInIdleMonitor), 0);
    EXPECT_EQ(m_store.GetSetting("Remind", -7), -7);
    EXPECT_FALSE(fs::exists(iniFile().parent_path()));
    // Every 32-bit value survives in a file other tools read and write; values this store did not write stay.
    writeIni("[General]\nTimeout=abc\nleft=5\n\n[Other]\nkey=value\n");
    ASSERT_TRUE(SetSetting(m_store, setting::kTimeoutOnTimeoutsPage, 600));
    ASSERT_TRUE(m_store.SetSetting("right", kMax));
    ASSERT_TRUE(m_store.SetSetting("top", kMin));
    ASSERT_TRUE(m_store.SetSetting("Remind", 0));
    EXPECT_EQ(ReadFile(iniFile()),
              "[General]\nRemind=0\nTimeout=600\nleft=5\nright=2147483647\ntop=-2147483648\n\n[Other]\nkey=value\n");

    EXPECT_EQ(GetSetting(m_store, setting::kTimeoutInIdleMonitor), 600);
    const IniSettingsStore other(iniFile(), autostartFile(), "/x");
    EXPECT_EQ(other.GetSetting("right", 0), kMax);
    EXPECT_EQ(other.GetSetting("top", 0), kMin);
}

// Only whole decimal 32-bit numbers count: an INI file holds text, and anything else reads as missing.
TEST_F(IniSettingsStoreTest, ValueOfAnotherType_CountsAsMissing)
{
    const std::pair<const char*, std::int32_t> numbers[] = {{"0", 0},  {"120", 120},         {"-5", -5},
                                                            {"+5", 5}, {"2147483647", kMax}, {"-2147483648", kMin}};
    for (const auto& [text, value] : numbers) {
        EXPECT_EQ(parseSettingValue(text), value) << text;
    }
    for (const char* text : {"2147483648", "-2147483649", "", "+", "-", "+-5", "5 ", " 5", "1e3", "0x10", "two minutes",
                             "12.5", "4294967295", "800 px", "true"}) {
        EXPECT_EQ(parseSettingValue(text), std::nullopt) << text;
    }
    writeIni("[General]\nReportPeriod=1, 2\ntop=\nbottom=650\n");
    EXPECT_EQ(m_store.GetSetting("ReportPeriod", 9), 9);
    EXPECT_EQ(m_store.GetSetting("top", 100), 100);
    EXPECT_EQ(m_store.GetSetting("bottom", 600), 650);
    {
        QSettings writer(QString::fromStdString(iniFile().string()), QSettings::IniFormat);
        writer.setValue(QStringLiteral("left"), QRect(1, 2, 3, 4));
        writer.setValue(QStringLiteral("right"), QStringList{QStringLiteral("1"), QStringLiteral("2")});
        writer.setValue(QStringLiteral("top"), 3.5);
        writer.sync();
        ASSERT_EQ(writer.status(), QSettings::NoError);
    }
    EXPECT_EQ(m_store.GetSetting("left", 100), 100);
    EXPECT_EQ(m_store.GetSetting("right", 800), 800);
    EXPECT_EQ(m_store.GetSetting("top", 100), 100);
}

// A file with a syntax error is read as far as it goes and repaired by a write; another writer's change is seen
// at the next read. A folder where the file should be is neither readable nor replaceable, even for root; an
// empty name is never stored.
TEST_F(IniSettingsStoreTest, DamagedChangedOrUnusableFile_ReadAfresh)
{
    EXPECT_FALSE(m_store.SetSetting("", 5));
    EXPECT_EQ(m_store.GetSetting("", 9), 9);
    EXPECT_FALSE(fs::exists(iniFile()));
    writeIni("[General\nleft=7\n");
    EXPECT_EQ(m_store.GetSetting("left", 100), 7);
    ASSERT_TRUE(m_store.SetSetting("top", 3));
    EXPECT_EQ(ReadFile(iniFile()), "[General]\nleft=7\ntop=3\n");
    EXPECT_EQ(m_store.GetSetting("top", 100), 3);
    writeIni("[General]\nPeriod=3\n");
    EXPECT_EQ(m_store.GetSetting("Period", 0), 3);
    EXPECT_EQ(m_store.GetSetting("top", 100), 100);

    fs::remove(iniFile());
    fs::create_directories(iniFile());
    EXPECT_FALSE(m_store.SetSetting("Timeout", 60));
    EXPECT_EQ(m_store.GetSetting("Timeout", 120), 120);
    WriteFile(m_dir.path() / "file", "x");
    IniSettingsStore underAFile(m_dir.path() / "file" / "kelmora.conf", autostartFile(), "/x");
    EXPECT_FALSE(underAFile.SetSetting("Timeout", 60));
    EXPECT_EQ(underAFile.GetSetting("Timeout", 120), 120);
}

TEST_F(IniSettingsStoreTest, ReadsFromAnotherThread_SeeWholeValuesInOrder)
{
    constexpr std::int32_t kWrites = 12;
    ASSERT_TRUE(m_store.SetSetting("RemindTimeout", 0));
    std::atomic<bool> done{false};
    std::atomic<int> wrongReads{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        std::int32_t last = 0;
        while (!done.load() || reads.load() == 0) {
            const std::int32_t value = GetSetting(m_store, setting::kRemindTimeout);
            if (value < last || value > kWrites) {
                ++wrongReads;
            }
            last = value;
            ++reads;
        }
    });
    for (std::int32_t value = 1; value <= kWrites; ++value) {
        ASSERT_TRUE(m_store.SetSetting("RemindTimeout", value));
    }
    done.store(true);
    reader.join();
    EXPECT_EQ(wrongReads.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(GetSetting(m_store, setting::kRemindTimeout), kWrites);
}

// Any entry counts as on, also one of another copy of the program; on rewrites it for this program, off removes
// only the entry, never the folder that may hold other programs' entries.
TEST_F(IniSettingsStoreTest, Autostart_OnWritesAnEntryForThisProgram_OffRemovesIt)
{
    EXPECT_FALSE(m_store.IsAutostart());
    fs::create_directories(autostartFile().parent_path());
    WriteFile(autostartFile(), "[Desktop Entry]\nType=Application\nExec=/home/old/kelmora\n");
    EXPECT_TRUE(m_store.IsAutostart());
    ASSERT_TRUE(m_store.SetAutostart(true));
    EXPECT_TRUE(m_store.IsAutostart());
    EXPECT_EQ(ReadFile(autostartFile()), "[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Kelmora\n"
                                         "Comment=Personal time tracker\n"
                                         "Exec=/opt/kelmora/bin/kelmora\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n");
    ASSERT_TRUE(m_store.SetAutostart(false));
    EXPECT_FALSE(m_store.IsAutostart());
    EXPECT_FALSE(fs::exists(autostartFile()));
    EXPECT_TRUE(m_store.SetAutostart(false));
    EXPECT_TRUE(fs::is_directory(autostartFile().parent_path()));

    // A dangling link is an entry too.
    fs::create_symlink(m_dir.path() / "nowhere.desktop", autostartFile());
    EXPECT_TRUE(m_store.IsAutostart());
    ASSERT_TRUE(m_store.SetAutostart(false));
    EXPECT_FALSE(fs::exists(fs::symlink_status(autostartFile())));
    // Without a program or a folder for the entry, on fails.
    IniSettingsStore noProgram(iniFile(), autostartFile(), fs::path());
    EXPECT_FALSE(noProgram.SetAutostart(true));
    EXPECT_FALSE(noProgram.IsAutostart());

    WriteFile(m_dir.path() / "file", "x");
    IniSettingsStore entryUnderAFile(iniFile(), m_dir.path() / "file" / "kelmora.desktop", "/x");
    EXPECT_FALSE(entryUnderAFile.SetAutostart(true));
    EXPECT_FALSE(entryUnderAFile.IsAutostart());
}

TEST(DesktopEntryExec, QuotesAndEscapesReservedCharacters)
{
    // Inside quotes ", `, $ and \ take a backslash; the string escapes then double every backslash.
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/kelmora", "/usr/bin/kelmora"},
        {"/opt/My Apps/kelmora", "\"/opt/My Apps/kelmora\""},
        {"/tmp/a\"b$c`d/kelmora", "\"/tmp/a\\\\\"b\\\\$c\\\\`d/kelmora\""},
        {"/tmp/a$b/kelmora", "\"/tmp/a\\\\$b/kelmora\""},
        {"/tmp/back\\slash/kelmora", "\"/tmp/back\\\\\\\\slash/kelmora\""},
        {"/tmp/50%/kelmora", "/tmp/50%%/kelmora"},
        {"/tmp/semi;colon/kelmora", "\"/tmp/semi;colon/kelmora\""},
        {"/tmp/new\nline/kelmora", "\"/tmp/new\\nline/kelmora\""},
        {"/tmp/it's/kelmora", "\"/tmp/it's/kelmora\""},
    };
    for (const auto& [path, exec] : cases) {
        EXPECT_EQ(desktopEntryExec(path), exec) << path;
    }
}

TEST(SettingLocations, FollowXdgConfigHome_ElseHome)
{
    {
        const ScopedEnvironment config("XDG_CONFIG_HOME", "/xdg/config");
        EXPECT_EQ(defaultSettingsFile(), fs::path("/xdg/config/Kelmora/kelmora.conf"));
        EXPECT_EQ(defaultAutostartFile(), fs::path("/xdg/config/autostart/kelmora.desktop"));
    }
    {
        const ScopedEnvironment config("XDG_CONFIG_HOME", std::nullopt);
        const ScopedEnvironment home("HOME", "/home/ann");
        EXPECT_EQ(defaultSettingsFile(), fs::path("/home/ann/.config/Kelmora/kelmora.conf"));
        EXPECT_EQ(defaultAutostartFile(), fs::path("/home/ann/.config/autostart/kelmora.desktop"));
    }
}

} // namespace
} // namespace kelmora::platform
