#include "cli/cli.h"
#include "cli/logformats.h"
#include "model/task.h"
#include "model/taskfacts.h"
#include "model/taskfile.h"
#include "model/taskops.h"
#include "model/taskstore.h"
#include "model/timelog.h"
#include "reports/reportpage.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <array>
#include <fcntl.h>
#include <functional>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kelmora::cli {
namespace {

using testsupport::ReadFile;
using testsupport::RewriteInPlace;
using testsupport::ScopedFakeClock;
using testsupport::ScopedTimeZone;
using testsupport::TempDir;
using testsupport::WriteFile;

struct Result
{
    int status;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test
{
protected:
    Result Run(std::vector<std::string> args)
    {
        std::vector<std::string> full{"--data-dir", m_data.string()};
        full.insert(full.end(), args.begin(), args.end());
        return RunRaw(full);
    }

    Result RunRaw(const std::vector<std::string>& args)
    {
        std::ostringstream out;
        std::ostringstream err;
        const CliContext context{[this](const std::string& name) -> std::optional<std::string> {
                                     if (!m_cache && (name == "HOME" || name == "XDG_CACHE_HOME")) {
                                         return std::nullopt;
                                     }
                                     if (name == "HOME") {
                                         return m_home.path().string();
                                     }
                                     const auto it = m_env.find(name);
                                     return it == m_env.end() ? std::nullopt : std::optional(it->second);
                                 },
                                 m_exe.path(), m_terminal};
        const int status = RunCli(args, out, err, context);
        return {status, out.str(), err.str()};
    }

    std::string CreateTask(const std::string& name)
    {
        const Result r = Run({"create", name});
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out.substr(0, r.out.find('\n'));
    }

    ScopedTimeZone m_zone{"UTC"};
    ScopedFakeClock m_clock{2008, 4, 7, 9, 0};
    TempDir m_root;
    TempDir m_home;
    TempDir m_exe;
    std::filesystem::path m_data = m_root.path() / "data";
    std::map<std::string, std::string> m_env;
    bool m_terminal = false;
    bool m_cache = true; // false: no cache folder can be worked out
};

TEST_F(CliTest, StartStopSwitch_FollowTheTrackingRules)
{
    CreateTask("A");
    CreateTask("B");
    EXPECT_EQ(Run({"start", "A"}).status, 0);
    m_clock->SetUtc(2008, 4, 7, 10, 0);
    EXPECT_EQ(Run({"tasks"}).out, "0\tA\t01:00:00\trunning\t(No category)\n1\tB\t00:00:00\tstopped\t(No category)\n");
    EXPECT_EQ(Run({"intervals", "A"}).out, "1\t2008-04-07 09:00:00\t2008-04-07 10:00:00\t01:00:00\topen\n");

    EXPECT_EQ(Run({"start", "1"}).status, 0); // switching stops A at now, as the model's test shows
    m_clock->SetUtc(2008, 4, 7, 10, 30);

    EXPECT_EQ(Run({"start", "B"}).status, 0); // restarting the running task opens a new span
    m_clock->SetUtc(2008, 4, 7, 11, 0);
    EXPECT_EQ(Run({"stop"}).status, 0);
    EXPECT_EQ(Run({"intervals", "B"}).out, "1\t2008-04-07 10:00:00\t2008-04-07 10:30:00\t00:30:00\tclosed\n"
                                           "2\t2008-04-07 10:30:00\t2008-04-07 11:00:00\t00:30:00\tclosed\n");
}

TEST_F(CliTest, Add_RefusesBackwardsEmptyAndMalformedIntervals)
{
    CreateTask("A");
    for (const char* end : {"2008-01-01 11:00:00", "2008-01-01 12:00:00"}) { // backwards, and no time at all
        const Result r = Run({"add", "A", "2008-01-01 12:00:00", end});
        EXPECT_EQ(r.status, 1) << end;
        EXPECT_FALSE(r.err.empty()) << end;
    }

    for (const char* bad :
         {"2008-01-01", "2008-02-30 10:00:00", "2008-01-01 24:00:00", "2008-01-01 10:00:00x", "tomorrow"}) {
        const Result r = Run({"add", "A", bad, "2008-01-01 11:00:00"});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("YYYY-MM-DD HH:MM:SS"), std::string::npos) << bad;
    }
    EXPECT_EQ(Run({"intervals", "A"}).out, "");
}

TEST_F(CliTest, CreateRenameAndDelete_RefuseEmptyAndTakenNames)
{
    CreateTask("A");
    CreateTask("B");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"create", ""}, {"rename", "A", ""}, {"create", "B"}, {"rename", "A", "B"}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err,
                  args.back().empty() ? "Task name can not be empty.\n" : "Task with name \"B\" already exists.\n");
    }
    EXPECT_EQ(Run({"rename", "A", "A"}).status, 0); // its own name is no clash
    EXPECT_EQ(Run({"rename", "0", "Alpha"}).status, 0);

    Run({"start", "B"});
    m_clock->SetUtc(2008, 4, 7, 9, 30);
    // Deleting a task that does not run leaves the running one alone.
    CreateTask("C");
    EXPECT_EQ(Run({"delete", "C"}).status, 0);
    EXPECT_EQ(Run({"status"}).out, "B\t00:30:00\n");
    EXPECT_EQ(Run({"delete", "B"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(m_data / "1.tsk"));
    EXPECT_EQ(Run({"tasks"}).out, "0\tAlpha\t00:00:00\tstopped\t(No category)\n");
    const Result gone = Run({"delete", "B"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.err, "No task with the id or name \"B\".\n");
}

TEST_F(CliTest, TaskArgument_AmbiguousTextRefusedIdAndNameFormsChoose)
{
    CreateTask("1"); // id 0, named "1"
    CreateTask("x"); // id 1
    const Result ambiguous = Run({"rename", "1", "y"});
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_EQ(ambiguous.err, "\"1\" is the id of task 1 and the name of task 0; write id:1 or name:1.\n");
    EXPECT_EQ(Run({"rename", "id:1", "renamed"}).status, 0);
    EXPECT_EQ(Run({"rename", "name:1", "one"}).status, 0);
    EXPECT_EQ(Run({"tasks"}).out,
              "0\tone\t00:00:00\tstopped\t(No category)\n1\trenamed\t00:00:00\tstopped\t(No category)\n");
    EXPECT_EQ(Run({"rename", "007", "y"}).status, 1); // not an id the program writes, and no such name
    CreateTask("01");                                 // id 2: "01" is a name, never id 1
    EXPECT_EQ(Run({"rename", "01", "z"}).status, 0);
    EXPECT_NE(Run({"tasks"}).out.find("1\trenamed\t00:00:00\tstopped\t(No category)\n2\tz\t"), std::string::npos);
    EXPECT_EQ(Run({"rename", "id:7", "y"}).status, 1);
    CreateTask("3"); // id 3, named "3": one task either way
    EXPECT_EQ(Run({"rename", "3", "three"}).status, 0);
}

// A damaged task file is named and the exit status is 1, but every other task is still listed or counted.
TEST_F(CliTest, DamagedTaskFile_NamedWithExitOneTheRestStillShown)
{
    CreateTask("A");
    CreateTask("B\tx\ny");
    Run({"add", "1", "2008-04-07 07:00:00", "2008-04-07 08:00:00"});
    WriteFile(m_data / "0.tsk", "\x05");
    Result r = Run({"tasks"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "1\tB x y\t01:00:00\tstopped\t(No category)\n"); // tabs and newlines keep one record
    EXPECT_NE(r.err.find("0.tsk"), std::string::npos);
    r = Run({"log"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "B x y\t01:00:00\t2008-04-07 07:00:00\t2008-04-07 08:00:00\r\n");
    EXPECT_EQ(r.err, "Task 0 can not be read; its time is missing from the log.\n");
}

// Bad usage exits 2; a well-formed request the data refuses (here: report periods and files) exits 1.
TEST_F(CliTest, RefusedCommands_ExitTwoForBadUsageOneOtherwise_WithAMessageThatSaysWhat)
{
    ScopedTimeZone berlin("Europe/Berlin");
    std::filesystem::create_directories(m_data);
    const std::string dir = m_data.string();
    const auto report = [&dir](std::vector<std::string> args) {
        args.insert(args.begin(), {"--data-dir", dir, "report"});
        return args;
    };
    const struct
    {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{}, 2, "subcommand is required"},
        {{"--data-dir", dir, "frobnicate"}, 2, "unknown command \"frobnicate\""},
        {{"--data-dir", dir, "create"}, 2, "NAME is required"},
        {{"--data-dir", dir, "create", "a", "b"}, 2, "not expected"},
        {{"--bogus", "tasks"}, 2, "--bogus"},
        {{"--data-dir", dir, "tasks", "extra"}, 2, "not expected"},
        {{"--data-dir"}, 2, "--data-dir: 1 required DIR missing"},
        {{"--data-dir", dir, "tasks", "--period"}, 2, "--period: 1 required"},
        {{"--data-dir=", "tasks"}, 2, "--data-dir is empty"},
        {{"--data-dir", "", "tasks"}, 2, "--data-dir is empty"},
        {{"--data-dir", dir, "remove-interval", "A", "0"}, 2, "Invalid interval number"},
        {{"--data-dir", dir, "status", "--format", "{nam}"}, 2, "Unknown placeholder \"{nam}\""},
        {{"--data-dir", dir, "status", "--format", "{{{name}}}}"}, 2, "Unknown placeholder \"}\""},
        {{"--data-dir", dir, "log", "--format", "xml"}, 2, "Unknown format \"xml\""},
        {{"--data-dir", dir, "tasks", "--period", "decade"}, 2, "Unknown period \"decade\""},
        {report({"--from", "2008-04-01 10:00"}), 2, "--from requires --to"},
        {report({"--to", "2008-04-01 10:00"}), 2, "--to requires --from"},
        {report({"--period", "week", "--from", "2008-04-01 10:00", "--to", "2008-04-02 10:00"}), 2, "excludes"},
        {report({"--period", "decade"}), 2, "Unknown period \"decade\""},
        {report({"--from", "2008-04-01 9:30", "--to", "2008-04-02 10:00"}), 2, "YYYY-MM-DD HH:MM[:SS]"},
        {report({"--output", ""}), 2, "--output is empty"},
        {report({"--from", "2008-04-02 10:00", "--to", "2008-04-02 09:59:59"}), 1, "lies before the start"},
        {report({"--from", "2024-03-31 02:30", "--to", "2024-03-31 04:00"}), 1, "does not exist in this time zone"},
        {{"--data-dir", dir, "add", "t", "2024-03-31 02:30:00", "2024-03-31 04:00:00"},
         1,
         "The local time 2024-03-31 02:30:00 does not exist in this time zone (the clocks skip it).\n"},
        {report({"--output", (m_root.path() / "no" / "r.htm").string()}), 1, "Failed to write report file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        const Result r = RunRaw(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(m_home.path() / ".local")); // an empty --data-dir never falls back
    // Options of kelmora-cli may follow the command, in either spelling; "--" ends the options.
    EXPECT_EQ(RunRaw({"create", "--data-dir=" + dir, "--", "-dash"}).out, "0\n");
    EXPECT_EQ(RunRaw({"tasks", "--data-dir", dir}).out, "0\t-dash\t00:00:00\tstopped\t(No category)\n");
}

TEST_F(CliTest, DataFolder_OldDataMigratedIntoTheDefaultOnly_OneThatCannotBeMadeFails)
{
    ASSERT_TRUE(testsupport::SaveTask(m_exe.path(), 4, "from the old install"));
    WriteFile(m_exe.path() / "idx", std::string("\x05\0\0\0", 4));
    EXPECT_EQ(Run({"create", "x"}).out, "0\n"); // --data-dir names another folder
    m_env["KELMORA_DATA_DIR"] = m_data.string();
    EXPECT_EQ(RunRaw({"create", "y"}).out, "1\n");
    m_env["KELMORA_DATA_DIR"] = ""; // empty counts as unset
    // Moving old data is a change: a reading command leaves it for the next command that writes.
    EXPECT_EQ(RunRaw({"tasks"}).status, 1);
    EXPECT_EQ(RunRaw({"create", "next"}).out, "5\n");
    EXPECT_EQ(RunRaw({"tasks"}).out, "4\tfrom the old install\t00:00:00\tstopped\t(No category)\n"
                                     "5\tnext\t00:00:00\tstopped\t(No category)\n");
}

// A mistyped --data-dir must not answer with an empty list, nor leave a folder or file behind.
TEST_F(CliTest, ReadingCommands_NeverCreateTheFolderOrItsFiles_AMissingOrWrongFolderIsAnError)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"tasks"}, {"log"}, {"report"}, {"categories"}, {"status"}, {"intervals", "0"}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.err, "kelmora-cli: no Kelmora data folder at " + m_data.string() + "\n") << args[0];
    }
    EXPECT_FALSE(std::filesystem::exists(m_data));
    std::filesystem::create_directory(m_data);
    WriteFile(m_data / ".0.tsk.tmp-a1b2c3", "left by a writer that was killed");
    EXPECT_EQ(Run({"tasks"}).status, 0);
    EXPECT_EQ(Run({"categories"}).out, "");
    const Result report = Run({"report"});
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.err, "");
    EXPECT_FALSE(std::filesystem::exists(m_data / "categories.xml"));
    // Only a writer, holding the folder to itself, may clear what another writer left.
    EXPECT_TRUE(std::filesystem::exists(m_data / ".0.tsk.tmp-a1b2c3"));
    CreateTask("A");
    EXPECT_FALSE(std::filesystem::exists(m_data / ".0.tsk.tmp-a1b2c3"));

    WriteFile(m_root.path() / "file", "x");
    m_data = m_root.path() / "file";
    for (const std::string command : {"tasks", "stop"}) {
        EXPECT_EQ(Run({command}).err, "kelmora-cli: " + m_data.string() + " is a file, not a folder\n");
    }
    m_data = m_root.path() / "file" / "data"; // cannot be made
    const Result blocked = Run({"create", "A"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("cannot create the folder"), std::string::npos) << blocked.err;
}

// Each is refused at once and by name, without reading it whole, and delete still removes it.
TEST_F(CliTest, HostileTaskFiles_RefusedQuicklyInBoundedMemoryAndStillDeletable)
{
    const struct
    {
        const char* name;
        std::function<void(const std::filesystem::path&)> plant;
        std::string message;
    } cases[] = {
        {"a sparse terabyte",
         [](const auto& path) {
             WriteFile(path, "");
             ASSERT_EQ(truncate(path.c_str(), off_t{1} << 40), 0);
         },
         ": is 1099511627776 bytes long, more than a task file can be (134217728 bytes)"},
        {"a header claiming 2^31-1 intervals",
         [](const auto& path) {
             WriteFile(path, std::string("\x01\0\0\0x\xff\xff\xff\x7f", 9) + std::string(51, '\0'));
         },
         ": the interval records end early"},
        {"a FIFO", [](const auto& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, ": is a FIFO, not a task file"},
        {"a link to a device", [](const auto& path) { std::filesystem::create_symlink("/dev/zero", path); },
         ": is a character device, not a task file"},
    };
    CreateTask("A");
    for (const auto& c : cases) {
        const std::string id = CreateTask(c.name);
        const std::filesystem::path file = m_data / (id + ".tsk");
        std::filesystem::remove(file);
        c.plant(file);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        Result r = Run({"tasks"});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.err, "Task " + id + " can not be read: " + file.string() + c.message + "\n") << c.name;
        for (const std::string command : {"log", "report", "start"}) {
            r = Run({command, command == "start" ? id : "--period=all"});
            EXPECT_EQ(r.status, 1) << c.name << ", " << command;
            EXPECT_NE(r.err.find(command == "log" ? "Task " + id : file.string()), std::string::npos) << r.err;
        }
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << c.name << ": peak memory grew, in KiB";
        EXPECT_EQ(Run({"delete", id}).status, 0) << c.name;
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(file))) << c.name;
    }
    EXPECT_TRUE(std::filesystem::exists("/dev/zero"));
    std::string nested = "<xml>";
    for (int i = 0; i < 100'000; ++i) {
        nested += "<a>";
    }
    WriteFile(m_data / "categories.xml", nested);
    const Result r = Run({"categories"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("elements are nested deeper than 64 levels (line 1, column "), std::string::npos) << r.err;
}

// What a sync tool left: reading commands say what they leave out, changing ones fold it in first.
TEST_F(CliTest, SyncConflictCopies_NamedByReadersFoldedByWritersAndDoctor)
{
    CreateTask("A");
    Run({"add", "A", "2008-04-07 07:00:00", "2008-04-07 08:00:00"});
    model::Task theirs;
    theirs.name = "B";
    theirs.intervals.Insert(model::Interval(testsupport::Utc(2008, 4, 7, 5, 0), testsupport::Utc(2008, 4, 7, 6, 0)));
    const std::string copy = "0.sync-conflict-20080407-090000-ABCDEFG.tsk";
    WriteFile(m_data / copy, model::EncodeTask(theirs));
    m_env["XDG_RUNTIME_DIR"] = m_home.path().string();
    const std::string both = "0\tA\t01:00:00\tstopped\t(No category)\n1\tB\t01:00:00\tstopped\t(No category)\n";
    Result r = Run({"tasks"});
    EXPECT_EQ(r.out, both);
    EXPECT_EQ(r.err, "kelmora-cli: 1 conflict copies left by a sync tool are counted in; the next command that "
                     "changes data folds them into the files (Merged changes from another machine: 1 task, 1 "
                     "interval)\n");
    // Counted from a private copy that is gone afterwards; the folder is as it was.
    EXPECT_TRUE(std::filesystem::is_empty(m_home.path()));
    EXPECT_FALSE(std::filesystem::exists(m_data / "1.tsk"));
    r = Run({"doctor", "--dry-run"});
    EXPECT_EQ(r.out, "would fold\t" + copy + ": made task 1 \"B\" with 1 spans\n");
    EXPECT_TRUE(std::filesystem::exists(m_data / copy));
    r = Run({"create", "C"});
    EXPECT_EQ(r.out, "2\n");
    EXPECT_EQ(r.err, "kelmora-cli: Merged changes from another machine: 1 task, 1 interval\n");
    EXPECT_EQ(Run({"tasks"}).out, "0\tA\t01:00:00\tstopped\t(No category)\n1\tB\t01:00:00\tstopped\t(No "
                                  "category)\n2\tC\t00:00:00\tstopped\t(No category)\n");
    // A copy with nothing the files lack is said to be so, not counted as a merge.
    WriteFile(m_data / ("2.sync-conflict-20080407-090000-ABCDEFG.tsk"), ReadFile(m_data / "2.tsk"));
    EXPECT_EQ(Run({"rename", "C", "D"}).err, "kelmora-cli: Nothing new in 1 conflict copies from another machine\n");
    WriteFile(m_data / "1 (laptop's conflicted copy 2008-04-07).tsk", "\x05");
    EXPECT_NE(Run({"tasks"}).err.find("1 conflict copies could not be folded in"), std::string::npos);
    r = Run({"doctor"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("folded\t1 (laptop's conflicted copy 2008-04-07).tsk: left, since it cannot be read"),
              std::string::npos)
        << r.out;
    // Read from a private copy, a damaged file is still named where the user can find it.
    WriteFile(m_data / "7.tsk", "\x05");
    EXPECT_NE(Run({"report"})
                  .err.find("kelmora-cli: warning: " + (m_data / "7.tsk").string() +
                            " can not be read; its time is missing from the report.\n"),
              std::string::npos);
    std::filesystem::remove(m_data / "1 (laptop's conflicted copy 2008-04-07).tsk");
    EXPECT_EQ(Run({"doctor"}).status, 1) << "a damaged task file";
}

TEST_F(CliTest, ControlCharactersInNames_EscapedOnATerminalByteExactThroughAPipe)
{
    const std::string name = "\x1b]0;owned\x07"
                             "A\xc2\x9b\xc2\x9f"
                             "2J \xc2\xb0\xc3\xa9\x7f";
    CreateTask(name);
    EXPECT_EQ(Run({"tasks"}).out, "0\t" + name + "\t00:00:00\tstopped\t(No category)\n");
    m_terminal = true;
    EXPECT_EQ(Run({"tasks"}).out,
              "0\t\\x1b]0;owned\\x07A\\xc2\\x9b\\xc2\\x9f2J \xc2\xb0\xc3\xa9\\x7f\t00:00:00\tstopped\t(No category)\n");
    // The time log's line ends stay line ends.
    Run({"add", "0", "2008-04-07 07:00:00", "2008-04-07 08:00:00"});
    const std::string log = Run({"log"}).out;
    EXPECT_EQ(log.substr(log.size() - 21), "2008-04-07 08:00:00\r\n");
}

TEST_F(CliTest, Categories_CreateRenameListMoveTasksAndDelete)
{
    CreateTask("A");
    CreateTask("B");
    EXPECT_EQ(Run({"category-create", "Work"}).out, "1\n");
    EXPECT_EQ(Run({"category-create", "Home"}).out, "2\n");
    EXPECT_EQ(Run({"set-category", "A", "1"}).status, 0);
    EXPECT_EQ(Run({"set-category", "B", "1"}).status, 0);
    // Saving a category moves it to the end of the catalogue.
    EXPECT_EQ(Run({"categories"}).out, "2\tHome\t\n1\tWork\t0,1\n");
    EXPECT_EQ(Run({"set-category", "A", "2"}).status, 0); // leaves Work
    EXPECT_EQ(Run({"category-rename", "2", "Home \"office\""}).status, 0);
    EXPECT_EQ(Run({"categories"}).out, "1\tWork\t1\n2\tHome \"office\"\t0\n");
    EXPECT_EQ(Run({"tasks"}).out, "0\tA\t00:00:00\tstopped\tHome \"office\"\n1\tB\t00:00:00\tstopped\tWork\n");
    EXPECT_EQ(Run({"set-category", "B", "none"}).status, 0);
    EXPECT_EQ(Run({"categories"}).out, "2\tHome \"office\"\t0\n1\tWork\t\n");

    EXPECT_EQ(Run({"set-category", "A", "9"}).status, 1);
    EXPECT_EQ(Run({"set-category", "A", "x"}).status, 2);
    EXPECT_EQ(Run({"category-rename", "9", "x"}).err, "No category with the id 9.\n");

    // Deleting a category keeps its tasks unless asked; a running member goes with it.
    Run({"set-category", "B", "1"});
    Run({"start", "A"});
    m_clock->SetUtc(2008, 4, 7, 9, 30);
    EXPECT_EQ(Run({"category-delete", "1"}).status, 0);
    EXPECT_EQ(Run({"category-delete", "2", "--with-tasks"}).status, 0);
    EXPECT_EQ(Run({"tasks"}).out, "1\tB\t00:00:00\tstopped\t(No category)\n");
    EXPECT_EQ(Run({"categories"}).out, "");
    EXPECT_EQ(Run({"category-delete", "2"}).status, 1);
}

TEST_F(CliTest, DamagedCategoryFile_WarnsForTaskCommandsFailsForCategoryCommands)
{
    CreateTask("A");
    WriteFile(m_data / "categories.xml", "<xml>\r\n<categories>\r\n</xml>");
    const std::string text = (m_data / "categories.xml").string() +
                             ": the category file is damaged: '<categories> ... </xml>' is not wel-formed. (line 3, "
                             "column 3)";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"tasks"}, {"create", "B"}, {"start", "A"}, {"stop"}, {"log"}, {"status"}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 0) << args[0] << r.err;
        EXPECT_EQ(r.err, "kelmora-cli: warning: " + text + "; categories are left out\n");
    }
    // A log that names categories would show every task as having none.
    EXPECT_EQ(Run({"log", "--format", "json"}).status, 1);
    const Result r = Run({"categories"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelmora-cli: " + text + "\n");
}

TEST_F(CliTest, DamagedTasks_StartStopsNothingDeleteCleansUp)
{
    CreateTask("A");
    CreateTask("B");
    Run({"category-create", "C"});
    Run({"set-category", "B", "1"});
    Run({"start", "A"});
    WriteFile(m_data / "1.tsk", "\x05");
    EXPECT_EQ(Run({"start", "1"}).status, 1);
    EXPECT_EQ(Run({"tasks"}).out.substr(0, 24), "0\tA\t00:00:00\trunning\t(No");
    const Result r = Run({"delete", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Task 1 was damaged ("), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(m_data / "1.tsk"));
    EXPECT_EQ(Run({"categories"}).out, "1\tC\t\n");
    std::filesystem::remove(m_data / "0.tsk");
    std::filesystem::create_directories(m_data / "0.tsk" / "inside"); // cannot go: not deleted
    EXPECT_EQ(Run({"delete", "0"}).status, 1);
    // A task its category cannot let go of stays whole, and the command says so.
    CreateTask("D");
    Run({"set-category", "D", "1"});
    {
        testsupport::ScopedFileSizeLimit limit(10);
        const Result kept = Run({"delete", "D"});
        EXPECT_EQ(kept.status, 1);
        EXPECT_NE(kept.err.find("the task stays, since it could not be taken out of the category \"C\""),
                  std::string::npos)
            << kept.err;
    }
    EXPECT_EQ(Run({"categories"}).out, "1\tC\t2\n");
    EXPECT_EQ(Run({"tasks"}).out.substr(0, 5), "2\tD\t0");
}

TEST_F(CliTest, IntervalCommands_NumberRemoveEditWithTheMergeRules)
{
    CreateTask("A");
    Run({"add", "A", "2008-01-01 09:00:00", "2008-01-01 10:00:00"});
    Run({"add", "A", "2008-01-01 11:00:00", "2008-01-01 12:00:00"});
    Run({"add", "A", "2008-01-01 13:00:00", "2008-01-01 14:00:00"});
    EXPECT_EQ(Run({"edit-interval", "A", "3", "2008-01-01 09:30:00", "2008-01-01 11:30:00"}).status, 0);
    EXPECT_EQ(Run({"intervals", "A"}).out, "1\t2008-01-01 09:00:00\t2008-01-01 12:00:00\t03:00:00\tclosed\n");
    EXPECT_EQ(Run({"remove-interval", "A", "2"}).err, "Task 0 has no interval 2; it has 1.\n");
    EXPECT_EQ(Run({"remove-interval", "A", "1"}).status, 0);
    EXPECT_EQ(Run({"intervals", "A"}).out, "");
    // N counts in tens even with a leading zero: 010 is the tenth interval, never the eighth.
    for (int hour = 10; hour < 20; ++hour) {
        const std::string day = "2008-01-02 " + std::to_string(hour);
        Run({"add", "A", day + ":00:00", day + ":30:00"});
    }
    EXPECT_EQ(Run({"remove-interval", "A", "010"}).status, 0);
    EXPECT_EQ(Run({"edit-interval", "A", "09", "2008-01-02 20:00:00", "2008-01-02 20:30:00"}).status, 0);
    const std::string left = Run({"intervals", "A"}).out;
    EXPECT_NE(left.find("8\t2008-01-02 17:00:00"), std::string::npos) << left;
    EXPECT_NE(left.find("9\t2008-01-02 20:00:00"), std::string::npos) << left;
    EXPECT_EQ(Run({"remove-interval", "A", "10"}).err, "Task 0 has no interval 10; it has 9.\n");
    // While A runs, nothing may land behind its running span; it would count for ever.
    Run({"start", "A"});
    const Result late = Run({"add", "A", "2008-04-07 10:00:00", "2008-04-07 11:00:00"});
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.err.find("stop it first"), std::string::npos);
    EXPECT_EQ(Run({"stop"}).status, 0);
}

TEST_F(CliTest, Status_RunningTaskForStatusBars)
{
    ScopedTimeZone berlin("Europe/Berlin");
    CreateTask("Deep\twork");
    EXPECT_EQ(Run({"status"}).out, ""); // nothing runs: nothing printed, exit 0
    Run({"category-create", "J\tob"});
    Run({"set-category", "0", "1"});
    Run({"add", "0", "2008-04-06 10:00:00", "2008-04-06 11:00:00"}); // Sunday, this week for en_US
    Run({"add", "0", "2008-04-07 06:00:00", "2008-04-07 06:30:00"}); // today: each figure of status differs
    testsupport::ScopedTimeLocale sundayFirst("en_US.UTF-8");
    Run({"start", "0"});
    m_clock->Advance(90'000);
    const Result r = Run({"status"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Deep work\t00:01:30\n");
    EXPECT_EQ(Run({"status", "--format", "{{{category}}} {today}/{week}"}).out, "{J ob} 00:31:30/01:31:30\n");
    // Where each period begins is the model's rule; here only that tasks counts the period it is given.
    EXPECT_EQ(Run({"tasks", "--period", "day"}).out, "0\tDeep work\t00:31:30\trunning\tJ ob\n");
    // The cache of running states only spares work: where it cannot be kept, nothing else changes.
    WriteFile(m_root.path() / "file", "");
    for (const std::filesystem::path& cacheHome : {m_root.path() / "file", m_data, m_root.path() / "cache"}) {
        m_env["XDG_CACHE_HOME"] = cacheHome.string();
        const Result again = Run({"status"});
        EXPECT_EQ(again.status, 0);
        EXPECT_EQ(again.out + again.err, "Deep work\t00:01:30\n") << cacheHome;
    }
}

// The file system's clock ticks every few milliseconds: waits until a change made now gets a change time after
// every file in `folder`, as a change made a while after the previous run would.
void WaitForFileClockTick(const std::filesystem::path& folder)
{
    std::int64_t newest = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        newest = std::max(newest, model::StampAt(AT_FDCWD, entry.path().c_str())->ctimeNs);
    }
    const std::filesystem::path probe = folder.parent_path() / "probe";
    do {
        WriteFile(probe, "x");
    } while (model::StampAt(AT_FDCWD, probe.c_str())->ctimeNs <= newest);
}

// The cache only spares reading: after each change another program, a sync tool or a hand could make, every
// command answers, and changes the files, as it does with no cache at all. Runs are made as if ten seconds after
// the files were written, so that the cache keeps what it read, changes included.
TEST_F(CliTest, Cache_EveryCommandAnswersAsWithoutOneAfterEveryOutsideChange)
{
    namespace fs = std::filesystem;
    const struct
    {
        const char* what;
        std::function<void(const fs::path& data, const fs::path& cache)> change;
    } changes[] = {
        {"nothing", [](const fs::path&, const fs::path&) {}},
        {"another writer starts a task", [](const fs::path& d, const fs::path&) { model::StartTask(d, 2); }},
        {"another writer stops the running task", [](const fs::path& d, const fs::path&) { model::StopTask(d, 1); }},
        {"a span opened in place, same size and times",
         [](const fs::path& d, const fs::path&) { RewriteInPlace(d / "3.tsk", -17, std::string(1, '\0')); }},
        {"a name changed in place", [](const fs::path& d, const fs::path&) { RewriteInPlace(d / "2.tsk", 4, "t0"); }},
        {"a span moved in place into this week",
         [](const fs::path& d, const fs::path&) {
             RewriteInPlace(d / "0.tsk", -8, std::string("\x79\x9a\0\0\x80\xee\x36\0", 8));
         }},
        {"a span rewritten in place to run backwards",
         [](const fs::path& d, const fs::path&) {
             RewriteInPlace(d / "2.tsk", -8, std::string("\x79\x9a\0\0\0\x97\x49\x01", 8));
         }},
        {"a file added", [](const fs::path& d, const fs::path&) { fs::copy_file(d / "1.tsk", d / "7.tsk"); }},
        {"a file removed", [](const fs::path& d, const fs::path&) { fs::remove(d / "1.tsk"); }},
        {"a file renamed", [](const fs::path& d, const fs::path&) { fs::rename(d / "2.tsk", d / "5.tsk"); }},
        {"a file damaged", [](const fs::path& d, const fs::path&) { fs::resize_file(d / "3.tsk", 30); }},
        // With its sum unchecked, task 0 would pass for "t3".
        {"a damaged cache",
         [](const fs::path& d, const fs::path& c) {
             std::string bytes = ReadFile(model::TaskFactsCacheFile(c, d));
             bytes.replace(bytes.find("t0"), 2, "t3");
             WriteFile(model::TaskFactsCacheFile(c, d), bytes);
         }},
        {"a cache from another folder",
         [](const fs::path& d, const fs::path& c) {
             const fs::path other = d.parent_path() / "other";
             fs::copy(d, other);
             model::StopTask(other, 1);
             model::GatherTaskFacts(other, {0, 1, 2, 3}, c);
             fs::rename(model::TaskFactsCacheFile(c, other), model::TaskFactsCacheFile(c, d));
         }},
    };
    // Reading commands first: they leave the files as they were, so the next one needs only the cache put back.
    const std::vector<std::vector<std::string>> commands = {{"status"},
                                                            {"status", "--format", "{name} {today} {week}"},
                                                            {"tasks"},
                                                            {"tasks", "--period", "week"},
                                                            {"intervals", "t2"},
                                                            {"start", "t0"},
                                                            {"stop"},
                                                            {"add", "t3", "2008-04-01 09:00:00", "2008-04-01 10:00:00"},
                                                            {"rename", "1", "t2"}};
    const model::ScopedWallClockShift later(10'000'000'000);
    const fs::path data = m_data;
    const fs::path copy = m_root.path() / "copy";
    const fs::path start = m_root.path() / "start";
    for (const char* name : {"t0", "t1", "t2", "t3"}) {
        CreateTask(name);
        Run({"add", name, "2008-04-06 09:00:00", "2008-04-06 10:00:00"});
    }
    Run({"edit-interval", "t2", "1", "2008-04-07 07:00:00", "2008-04-07 08:00:00"}); // this week, whole
    Run({"start", "1"});
    m_clock->Advance(90'000);
    fs::rename(data, start);
    const fs::path cacheFile = model::TaskFactsCacheFile(m_home.path() / ".cache" / "kelmora", data);
    for (const auto& change : changes) {
        std::string cacheBytes;
        for (const auto& command : commands) {
            SCOPED_TRACE(std::string(change.what) + ": " + command.front());
            if (!cacheBytes.empty()) {
                WriteFile(cacheFile, cacheBytes);
            } else {
                for (const fs::path& folder : {data, copy, m_root.path() / "other", m_home.path() / ".cache"}) {
                    fs::remove_all(folder);
                }
                fs::copy(start, data);
                Run({"status"});
                WaitForFileClockTick(data);
                change.change(data, cacheFile.parent_path());
                fs::copy(data, copy);
            }
            const bool writes =
                command.front() != "status" && command.front() != "tasks" && command.front() != "intervals";
            cacheBytes = writes ? std::string() : ReadFile(cacheFile);
            const Result cached = Run(command);
            m_cache = false;
            m_data = copy;
            const Result uncached = Run(command);
            m_cache = true;
            m_data = data;
            EXPECT_EQ(cached.status, uncached.status);
            EXPECT_EQ(cached.out, uncached.out);
            EXPECT_EQ(cached.err.size(), uncached.err.size()) << cached.err << uncached.err;
            for (const auto& entry : fs::directory_iterator(data)) {
                EXPECT_EQ(ReadFile(entry.path()), ReadFile(copy / entry.path().filename())) << entry.path();
            }
        }
    }
}

TEST_F(CliTest, Report_PeriodsToStandardOutputOrAFile)
{
    CreateTask("A");
    CreateTask("B");
    Run({"add", "0", "2008-04-07 07:00:00", "2008-04-07 08:00:00"});
    Run({"add", "B", "2008-04-06 22:00:00", "2008-04-06 23:30:00"});
    Run({"add", "0", "2008-03-01 10:00:00", "2008-03-01 11:00:00"});
    const Result custom = Run({"report", "--from", "2008-04-06 23:00", "--to", "2008-04-07 07:30:00"});
    EXPECT_EQ(custom.status, 0) << custom.err;
    model::TaskStore store(m_data);
    ASSERT_TRUE(store.Load());
    const model::Interval period(testsupport::Utc(2008, 4, 6, 23, 0), testsupport::Utc(2008, 4, 7, 7, 30));
    EXPECT_EQ(custom.out, reports::BuildPeriodReport(store, period).text + "\n");
    // Written as the user's document, with the mode any new one gets (a link stays a link, the writer's test shows).
    const mode_t mask = umask(022);
    const Result toFile = Run({"report", "--output", (m_root.path() / "r.htm").string(), "--from",
                               "2008-04-06 23:00:00", "--to", "2008-04-07 07:30"});
    umask(mask);
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(ReadFile(m_root.path() / "r.htm") + "\n", custom.out);
    EXPECT_EQ(testsupport::ModeOf(m_root.path() / "r.htm"), 0644u);

    const struct
    {
        std::vector<std::string> args;
        const char* heading;
    } periods[] = {
        {{}, "2008-04-07 00:00:00 - 2008-04-07 09:00:00 (09:00:00)"}, // this day by default
        {{"--period=month"}, "2008-04-01 00:00:00 - 2008-04-07 09:00:00 (153:00:00)"},
        {{"--period", "all"}, "all working time"},
        {{"--period", "yesterday"}, "2008-04-06 00:00:00 - 2008-04-07 00:00:00 (24:00:00)"},
    };
    for (const auto& p : periods) {
        SCOPED_TRACE(p.heading);
        std::vector<std::string> args{"report"};
        args.insert(args.end(), p.args.begin(), p.args.end());
        const Result r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(std::string(" report for ") + p.heading + ":</h1>"), std::string::npos) << r.out;
    }
}

TEST_F(CliTest, Log_HtmlIsTheTimeLogsTable_CsvQuotesAndJsonEscapesWithTheZoneOffset)
{
    ScopedTimeZone berlin("Europe/Berlin");
    CreateTask("a,\"b\"\nc");
    CreateTask("t\\\x01\xff\xc3\xa9");
    Run({"category-create", "Job, \"x\""});
    Run({"set-category", "0", "1"});
    Run({"add", "0", "2008-01-10 09:00:00", "2008-01-10 10:00:00"});
    Run({"add", "1", "2008-03-30 01:30:00", "2008-03-30 03:30:00"}); // across the change to summer time
    Run({"start", "1"});                                             // 11:00 in Berlin
    m_clock->Advance(90'500);
    const Result csv = Run({"log", "--format", "csv"});
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out, "Task,Category,Start,End,Duration\r\n"
                       "t\\\x01\xff\xc3\xa9,,2008-04-07 11:00:00,2008-04-07 11:01:30,00:01:30\r\n"
                       "t\\\x01\xff\xc3\xa9,,2008-03-30 01:30:00,2008-03-30 03:30:00,01:00:00\r\n"
                       "\"a,\"\"b\"\"\nc\",\"Job, \"\"x\"\"\",2008-01-10 09:00:00,2008-01-10 10:00:00,01:00:00\r\n");
    const Result json = Run({"log", "--format", "json", "--period", "year"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(
        json.out,
        "[\n{\"task\":\"t\\\\\\u0001\xef\xbf\xbd\xc3\xa9\",\"category\":null,\"start\":\"2008-04-07T11:00:00+02:00\","
        "\"end\":null,\"running\":true,\"duration\":90},\n"
        "{\"task\":\"t\\\\\\u0001\xef\xbf\xbd\xc3\xa9\",\"category\":null,\"start\":\"2008-03-30T01:30:00+01:00\","
        "\"end\":\"2008-03-30T03:30:00+02:00\",\"running\":false,\"duration\":3600},\n"
        "{\"task\":\"a,\\\"b\\\"\\u000Ac\",\"category\":\"Job, \\\"x\\\"\",\"start\":\"2008-01-10T09:00:00+01:00\","
        "\"end\":\"2008-01-10T10:00:00+01:00\",\"running\":false,\"duration\":3600}\n]\n");
    std::filesystem::create_directory(m_root.path() / "empty");
    EXPECT_EQ(RunRaw({"log", "--format", "json", "--data-dir", (m_root.path() / "empty").string()}).out, "[]\n");
    model::TaskStore store(m_data);
    ASSERT_TRUE(store.Load());
    model::TimeLog log;
    ASSERT_TRUE(log.BuildAll(store));
    EXPECT_EQ(Run({"log", "--format", "html"}).out, log.ToHtmlTable() + "\n");
}

TEST(LogFormats, IsoTimeCarriesTheOffsetInForceThen)
{
    const struct
    {
        const char* zone;
        int year, month, day, hour;
        const char* iso;
    } cases[] = {
        {"America/New_York", 2026, 12, 1, 14, "2026-12-01T09:00:00-05:00"},
        {"Asia/Kolkata", 2026, 12, 1, 3, "2026-12-01T08:30:00+05:30"},
        {"UTC", 1960, 2, 29, 23, "1960-02-29T23:00:00+00:00"},
        {"Europe/Berlin", 1890, 6, 1, 12, "1890-06-01T12:00:00Z"}, // local mean time: +00:53:28
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedTimeZone zone(c.zone);
        EXPECT_EQ(IsoTime(testsupport::Utc(c.year, c.month, c.day, c.hour, 0)), c.iso);
    }
}

// RFC 4180 for spreadsheets; valid UTF-8 for strict JSON readers: U+FFFD per stray byte, all else as it is.
TEST(LogFormats, NamesQuotedForCsvEscapedForJson)
{
    const std::string r = "\xef\xbf\xbd";
    const std::array<std::string, 3> cases[] = {
        // name, CSV field, JSON string; empty: the name itself, in quotes for JSON
        {"a\rb", "\"a\rb\"", "\"a\\u000Db\""},
        {"a\n", "\"a\n\"", "\"a\\u000A\""},
        {"1,5 \"x\"", "\"1,5 \"\"x\"\"\"", "\"1,5 \\\"x\\\"\""},
        {"\x1f\x7f", "", "\"\\u001F\\u007F\""},
        // U+1F600, U+10000, U+10FFFF, U+0800, U+D7FF, U+E000, U+0080
        {"\xf0\x9f\x98\x80\xf0\x90\x80\x80\xf4\x8f\xbf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xc2\x80", "", ""},
        {"\xed\xa0\xbd\xf4\x90\x80\x80", "", "\"" + r + r + r + r + r + r + r + "\""}, // a surrogate, past U+10FFFF
        {"\xe0\x9f\xbf\xc1\xbf\xf5", "", "\"" + r + r + r + r + r + r + "\""},         // overlong forms, no lead byte
        {"\xf0\x9f\x98z\xe2\x82", "", "\"" + r + r + r + "z" + r + r + "\""},          // cut short
    };
    for (const auto& [name, csv, json] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CsvField(name), csv.empty() ? name : csv);
        EXPECT_EQ(JsonString(name), json.empty() ? "\"" + name + "\"" : json);
    }
}

// The real program, as a script would run it.
TEST(CliProgram, ExitStatusAndStreams)
{
    TempDir dir;
    const std::string cli = KELMORA_CLI_PATH;
    const std::string base = "TZ=UTC '" + cli + "' --data-dir '" + dir.path().string() + "' ";
    auto run = [&](const std::string& args) {
        const std::string command =
            base + args + " >'" + (dir.path() / "out").string() + "' 2>'" + (dir.path() / "err").string() + "'";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(run("create abc"), 0);
    EXPECT_EQ(ReadFile(dir.path() / "out"), "0\n");
    EXPECT_EQ(run("stop"), 1);
    EXPECT_EQ(ReadFile(dir.path() / "err"), "No started tasks\n");
}

// kelmora-cli processes and an in-process writer standing in for the tray, all on one folder at once.
TEST(CliProgram, ManyWritersAtOnce_LoseNoAddAndLeaveOneSpanOpen)
{
    TempDir dir;
    model::TaskStore store(dir.path());
    ASSERT_TRUE(store.Load());
    for (int i = 0; i < 4; ++i) {
        store.CreateTask(std::to_string(i) + "t");
    }
    constexpr int kProcesses = 3;
    constexpr int kRounds = 24;
    // Each loop prints the adds that succeeded; every add is a span of its own, long before anything runs.
    std::string script = "cli='" KELMORA_CLI_PATH "'; dir='" + dir.path().string() + "'\n";
    for (int p = 0; p < kProcesses; ++p) {
        script += "for r in $(seq 0 " + std::to_string(kRounds - 1) + "); do t=$(( (r + " + std::to_string(p) +
                  ") % 4 )); case $(( r % 3 )) in\n"
                  "0) \"$cli\" --data-dir \"$dir\" start $t ;;\n"
                  "1) \"$cli\" --data-dir \"$dir\" stop ;;\n"
                  "*) m=$(printf %02d $r); \"$cli\" --data-dir \"$dir\" add $t \"2001-01-01 0" +
                  std::to_string(p) + ":$m:00\" \"2001-01-01 0" + std::to_string(p) + ":$m:30\" && echo \"$t " +
                  std::to_string(p) +
                  " $r\" ;;\n"
                  "esac; done >\"$dir/added." +
                  std::to_string(p) + "\" 2>/dev/null &\n";
    }
    script += "wait\n";
    WriteFile(dir.path() / "writers.sh", script);
    std::vector<std::pair<std::int32_t, model::Interval>> expected;
    std::thread tray([&dir, &expected] {
        for (int r = 0; r < kRounds; ++r) {
            const std::int32_t id = r % 4;
            const model::Interval span(testsupport::Utc(2002, 1, 1, 0, r), testsupport::Utc(2002, 1, 1, 0, r, 30));
            if (r % 3 == 0) {
                model::StartTask(dir.path(), id);
            } else if (r % 3 == 1) {
                model::StopTask(dir.path(), model::kAnyTask);
            } else if (model::InsertSpan(dir.path(), id, span)) {
                expected.emplace_back(id, span);
            }
        }
    });
    const std::string command = "TZ=UTC bash '" + (dir.path() / "writers.sh").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    tray.join();
    EXPECT_EQ(expected.size(), std::size_t{kRounds / 3});
    for (int p = 0; p < kProcesses; ++p) {
        std::istringstream lines(ReadFile(dir.path() / ("added." + std::to_string(p))));
        int id = 0;
        int process = 0;
        int r = 0;
        int count = 0;
        while (lines >> id >> process >> r) {
            expected.emplace_back(id, model::Interval(testsupport::Utc(2001, 1, 1, process, r),
                                                      testsupport::Utc(2001, 1, 1, process, r, 30)));
            ++count;
        }
        EXPECT_EQ(count, kRounds / 3) << "adds reported by process " << p;
    }
    EXPECT_EQ(testsupport::FolderFaults(dir.path(), expected), "");
}

} // namespace
} // namespace kelmora::cli
