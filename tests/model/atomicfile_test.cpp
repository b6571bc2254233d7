#include "model/atomicfile.h"
#include "model/datafolder.h"
#include "model/folderlock.h"
#include "model/task.h"
#include "model/textsink.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace kelmora::model {
namespace {

using testsupport::ReadFile;
using testsupport::ScopedFileSizeLimit;
using testsupport::TempDir;
using testsupport::WriteFile;

std::vector<std::string> FolderEntries(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicFile, Write_CreatesAndReplacesOwnerOnlyKeepingAnExistingMode)
{
    TempDir dir;
    const auto path = dir.path() / "a.bin";
    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    EXPECT_EQ(ReadFile(path), "first");
    ASSERT_TRUE(WriteFileAtomically(path, std::string("sec\0ond", 7)));
    EXPECT_EQ(ReadFile(path), std::string("sec\0ond", 7));
    ASSERT_TRUE(WriteFileAtomically(path, ""));
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"a.bin"});
    // New files are for their owner only.
    ASSERT_TRUE(WriteFileAtomically(dir.path() / "p", "x"));
    EXPECT_EQ(testsupport::ModeOf(dir.path() / "p"), 0600u);
    // A file that exists keeps the mode its user gave it.
    ASSERT_EQ(chmod((dir.path() / "p").c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(dir.path() / "p", "y"));
    EXPECT_EQ(testsupport::ModeOf(dir.path() / "p"), 0640u);
}

// A report or an export is the user's document: made as any new file is, and a link the user keeps stays a link.
TEST(AtomicFile, UserDocument_NewFileTakesTheUmask_ALinkWritesItsTarget)
{
    TempDir dir;
    const WriteOptions document{true};
    const mode_t previous = umask(002);
    const bool written = WriteFileAtomically(dir.path() / "new.htm", "x", nullptr, document);
    umask(previous);
    ASSERT_TRUE(written);
    EXPECT_EQ(testsupport::ModeOf(dir.path() / "new.htm"), 0664u);

    std::filesystem::create_directory(dir.path() / "real");
    WriteFile(dir.path() / "real" / "log.xls", "old");
    ASSERT_EQ(chmod((dir.path() / "real" / "log.xls").c_str(), 0604), 0);
    std::filesystem::create_symlink("real/log.xls", dir.path() / "link.xls");
    std::filesystem::create_symlink(dir.path() / "real" / "fresh.htm", dir.path() / "dangling");
    ASSERT_TRUE(WriteFileAtomically(dir.path() / "link.xls", "new", nullptr, document));
    ASSERT_TRUE(WriteFileAtomically(dir.path() / "dangling", "made", nullptr, document));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "link.xls"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "dangling"));
    EXPECT_EQ(ReadFile(dir.path() / "real" / "log.xls"), "new");
    EXPECT_EQ(ReadFile(dir.path() / "real" / "fresh.htm"), "made");
    EXPECT_EQ(testsupport::ModeOf(dir.path() / "real" / "log.xls"), 0604u);
    EXPECT_EQ(FolderEntries(dir.path() / "real"), (std::vector<std::string>{"fresh.htm", "log.xls"}));

    std::filesystem::create_symlink("loop", dir.path() / "loop");
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir.path() / "loop", "x", &error, document));
    EXPECT_NE(error.find("cannot follow the link"), std::string::npos) << error;
}

TEST(AtomicFile, WriteFailingMidway_KeepsOldFileAndLeavesNoTemporary)
{
    TempDir dir;
    const auto path = dir.path() / "a.bin";
    WriteFile(path, "old contents");
    std::string error;
    {
        ScopedFileSizeLimit limit(16);
        EXPECT_FALSE(WriteFileAtomically(path, std::string(4096, 'x'), &error));
    }
    EXPECT_NE(error.find("a.bin"), std::string::npos);
    EXPECT_EQ(ReadFile(path), "old contents");
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"a.bin"});

    // A task save on a full disk reports it, and the old task still loads.
    Task task;
    task.id = 3;
    task.name = "kept";
    ASSERT_TRUE(task.Save(dir.path()));
    task.name = std::string(10'000, 'y');
    {
        ScopedFileSizeLimit limit(100);
        EXPECT_FALSE(task.Save(dir.path()));
    }
    EXPECT_EQ(testsupport::LoadTask(dir.path(), 3).name, "kept");
}

TEST(AtomicFile, MissingFolderOrDirectoryInTheWay_FailsReadingOnlyRegularFiles)
{
    TempDir dir;
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir.path() / "no" / "such", "x", &error));
    EXPECT_FALSE(error.empty());
    std::filesystem::create_directory(dir.path() / "sub");
    std::filesystem::create_directory(dir.path() / "sub" / "inner");
    EXPECT_FALSE(WriteFileAtomically(dir.path() / "sub", "x"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "sub"));
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"sub"});
    // Reading refuses missing files, folders and pipes.
    std::string contents;
    EXPECT_FALSE(ReadWholeFile(dir.path() / "none", contents));
    EXPECT_FALSE(ReadWholeFile(dir.path(), contents));
    ASSERT_EQ(mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadWholeFile(dir.path() / "fifo", contents)); // must not block
    WriteFile(dir.path() / "big", std::string(200'000, 'z'));
    ASSERT_TRUE(ReadWholeFile(dir.path() / "big", contents));
    EXPECT_EQ(contents.size(), 200'000u);
    // A file may be as large as its kind allows, and not a byte more.
    EXPECT_TRUE(ReadWholeFile(dir.path() / "big", contents, nullptr, FileKind{"a test file", 200'000}));
    EXPECT_FALSE(ReadWholeFile(dir.path() / "big", contents, &error, FileKind{"a test file", 199'999}));
    EXPECT_EQ(error,
              (dir.path() / "big").string() + ": is 200000 bytes long, more than a test file can be (199999 bytes)");
}

TEST(DataFolder, CreateDirectoryTree_MakesParentsOwnerOnlyUnlessAFileIsInTheWay)
{
    TempDir dir;
    const auto deep = dir.path() / "a" / "b" / "Kelmora";
    ASSERT_TRUE(EnsureDataFolder(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_EQ(testsupport::ModeOf(deep), 0700u);
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

// Contents made record by record into the file: whole when every piece is written; on a full disk or a producer
// that gives up the old file stays, and the producer is told to stop soon after the disk refused.
TEST(AtomicFile, Produced_WrittenInPiecesOrNotAtAll)
{
    struct Case
    {
        const char* name;
        rlim_t sizeLimit;
        int giveUpAt; // the producer's own failure; -1 never
        bool written;
    };
    const Case cases[] = {
        {"written", RLIM_INFINITY, -1, true},
        {"disk full midway", 300'000, -1, false},
        {"producer gives up", RLIM_INFINITY, 4'000, false},
    };
    constexpr int kRecords = 5'000;
    const std::string record = std::string(99, 'r') + "\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto path = dir.path() / "page.htm";
        WriteFile(path, "old");
        int made = 0;
        std::string error;
        bool result = false;
        {
            ScopedFileSizeLimit limit(c.sizeLimit);
            result = WriteFileAtomically(
                path,
                [&](TextSink& out) {
                    for (; made < kRecords; ++made) {
                        if (made == c.giveUpAt) {
                            return false;
                        }
                        out.Append(record);
                        if (!out.Pour()) {
                            return false;
                        }
                    }
                    return true;
                },
                &error);
        }
        EXPECT_EQ(result, c.written);
        EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"page.htm"});
        if (c.written) {
            EXPECT_EQ(ReadFile(path).size(), record.size() * kRecords);
            EXPECT_EQ(ReadFile(path).substr(0, record.size()), record);
            continue;
        }
        EXPECT_EQ(ReadFile(path), "old");
        EXPECT_NE(error.find("page.htm: cannot write: "), std::string::npos) << error;
        if (c.giveUpAt < 0) {
            EXPECT_NE(error.find(std::strerror(EFBIG)), std::string::npos) << error;
            EXPECT_LT(made, 4'000); // stopped about one piece after the limit, not at the end
        }
    }
}

TEST(FolderLock, WriterRemovesOnlyOurOwnLeftoversAndABusyFolderGivesUpChangingNothing)
{
    TempDir dir;
    const std::vector<std::string> ours = {".12.tsk.tmp-a1B2c3", ".idx.tmp-ZZZZZZ", ".categories.xml.tmp-000000",
                                           ".hotkeys.xml.tmp-xYz987"};
    const std::vector<std::string> foreign = {
        ".syncthing.12.tsk.tmp", ".12.tsk.tmp-abc",    ".report.htm.tmp-a1B2c3", ".012.tsk.tmp-a1B2c3",
        "12.tsk.tmp-a1B2c3",     ".12.tsk.tmp-a1B2c!", ".notes.txt.tmp-a1B2c3",  "12.tsk"};
    for (const auto& name : ours) {
        EXPECT_TRUE(model::IsOwnDataTemporary(name)) << name;
        WriteFile(dir.path() / name, "x");
    }
    for (const auto& name : foreign) {
        EXPECT_FALSE(model::IsOwnDataTemporary(name)) << name;
        WriteFile(dir.path() / name, "x");
    }
    std::vector<std::string> expected = foreign;
    std::sort(expected.begin(), expected.end());
    {
        const model::FolderLock holder(dir.path());
        ASSERT_TRUE(holder.Held());
        EXPECT_EQ(FolderEntries(dir.path()), expected);
        // A nested lock of the same thread does not wait for itself; another thread waits and gives up.
        EXPECT_TRUE(model::FolderLock(dir.path(), std::chrono::milliseconds(0)).Held());
        WriteFile(dir.path() / ours.front(), "x");
        std::string error;
        std::thread([&dir, &error] {
            const model::FolderLock other(dir.path(), std::chrono::milliseconds(30));
            error = other.Held() ? "held" : other.Error();
        }).join();
        EXPECT_NE(error.find("30 ms; nothing was changed"), std::string::npos) << error;
        EXPECT_TRUE(std::filesystem::exists(dir.path() / ours.front()));
    }
    EXPECT_TRUE(model::FolderLock(dir.path()).Held());
    EXPECT_EQ(FolderEntries(dir.path()), expected);
    EXPECT_FALSE(model::FolderLock(dir.path() / "missing").Held());
    // Readers share the lock with each other, not with a writer, and cannot turn into one.
    using Mode = model::FolderLock::Mode;
    const model::FolderLock reader(dir.path(), std::chrono::milliseconds(0), Mode::Shared);
    EXPECT_FALSE(model::FolderLock(dir.path()).Held());
    bool otherReader = false;
    bool writer = true;
    std::thread([&] {
        otherReader = model::FolderLock(dir.path(), std::chrono::milliseconds(0), Mode::Shared).Held();
        writer = model::FolderLock(dir.path(), std::chrono::milliseconds(0)).Held();
    }).join();
    EXPECT_TRUE(otherReader);
    EXPECT_FALSE(writer);
}

} // namespace
} // namespace kelmora::model
