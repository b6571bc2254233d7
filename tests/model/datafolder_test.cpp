#include "model/datafolder.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kelmora::model {
namespace {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(DataFolder, CreateDirectoryTree_MakesParentsOwnerOnlyUnlessAFileIsInTheWay)
{
    TempDir dir;
    const auto deep = dir.path() / "a" / "b" / "Kelmora";
    ASSERT_TRUE(EnsureDataFolder(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    struct stat info
    {};
    ASSERT_EQ(stat(deep.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(CreateDirectoryTree(deep)); // already there
    WriteFile(dir.path() / "file", "x");
    std::string error;
    EXPECT_FALSE(EnsureDataFolder(dir.path() / "file" / "Kelmora", &error));
    EXPECT_NE(error.find("Kelmora"), std::string::npos);
}

TEST(DataFolder, OldDataBesideExecutable_MovedReplacingExistingFiles)
{
    TempDir dir;
    const auto exe = dir.path() / "bin";
    const auto data = dir.path() / "data";
    std::filesystem::create_directories(exe);
    std::filesystem::create_directories(data);
    EXPECT_FALSE(HasOldData(exe));
    WriteFile(exe / "0.tsk", "old zero");
    WriteFile(exe / "7.tsk", "old seven");
    WriteFile(exe / "categories.xml", "old categories");
    WriteFile(exe / "hotkeys.xml", "stays");
    WriteFile(exe / "report.htm", "stays");
    WriteFile(exe / "kelmora", "the program");
    EXPECT_FALSE(HasOldData(exe)); // no "idx", no migration
    WriteFile(exe / "idx", "idx!");
    WriteFile(data / "0.tsk", "newer zero");
    ASSERT_TRUE(HasOldData(exe));

    EXPECT_EQ(MigrateOldData(exe, data), 4);
    EXPECT_EQ(ReadFile(data / "0.tsk"), "old zero");
    EXPECT_EQ(ReadFile(data / "7.tsk"), "old seven");
    EXPECT_EQ(ReadFile(data / "categories.xml"), "old categories");
    EXPECT_EQ(ReadFile(data / "idx"), "idx!");
    EXPECT_FALSE(std::filesystem::exists(exe / "0.tsk"));
    EXPECT_FALSE(HasOldData(exe));
    EXPECT_TRUE(std::filesystem::exists(exe / "hotkeys.xml"));
    EXPECT_TRUE(std::filesystem::exists(exe / "report.htm"));
    EXPECT_TRUE(std::filesystem::exists(exe / "kelmora"));
}

TEST(DataFolder, InterruptedMigration_ResumesBecauseIdxMovesLast)
{
    TempDir dir;
    const auto exe = dir.path() / "bin";
    const auto data = dir.path() / "data";
    std::filesystem::create_directories(exe);
    WriteFile(exe / "idx", "i");
    WriteFile(exe / "1.tsk", "one");
    // The data folder is missing, so every move fails: "idx" must stay to mark the data as old.
    EXPECT_EQ(MigrateOldData(exe, data), 0);
    EXPECT_TRUE(HasOldData(exe));
    std::filesystem::create_directories(data);
    EXPECT_EQ(MigrateOldData(exe, data), 2);
    EXPECT_EQ(ReadFile(data / "1.tsk"), "one");
    // Into itself nothing moves.
    WriteFile(data / "idx", "x");
    EXPECT_EQ(MigrateOldData(data, data), 0);
    EXPECT_EQ(ReadFile(data / "1.tsk"), "one");
}

} // namespace
} // namespace kelmora::model
