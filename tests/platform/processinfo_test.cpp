#include "model/userfolders.h"
#include "platform/inisettingsstore.h"
#include "platform/processinfo.h"
#include "support/childprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <unistd.h>

namespace kelmora::platform {
namespace {

using model::CacheFolder;
using model::EnvironmentLookup;
using model::ExecutableFolder;
using model::ResolveDataFolder;
using testsupport::ChildProcess;
using testsupport::TempDir;

// Only a live process of this user, running a program of the expected name, counts.
TEST(ProcessCheck, LiveProcessOfThisUserUnderItsName)
{
    EXPECT_TRUE(isOwnProgram(::getpid(), "platform_tests"));
    EXPECT_FALSE(isOwnProgram(::getpid(), "kelmora"));
    EXPECT_FALSE(isOwnProgram(::getpid(), ""));
    for (const std::int64_t impossible : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{1} << 40}) {
        EXPECT_FALSE(isOwnProgram(impossible, "platform_tests")) << impossible;
    }
    // A copy of the system's "sleep" runs a program of our name.
    TempDir dir;
    std::filesystem::copy_file("/bin/sleep", dir.path() / "kelmora");
    ChildProcess sleeper(dir.path() / "kelmora", {"600"});
    ASSERT_GT(sleeper.pid(), 0);
    EXPECT_TRUE(isOwnProgram(sleeper.pid(), "kelmora"));
    EXPECT_FALSE(isOwnProgram(sleeper.pid(), "sleep"));
    EXPECT_TRUE(isProgramOfUser(sleeper.pid(), "kelmora", ::getuid()));
    EXPECT_FALSE(isProgramOfUser(sleeper.pid(), "kelmora", ::getuid() + 1));
    sleeper.kill();
    EXPECT_FALSE(isOwnProgram(sleeper.pid(), "kelmora"));
}

EnvironmentLookup Env(std::map<std::string, std::string> values)
{
    return [values = std::move(values)](const std::string& name) -> std::optional<std::string> {
        const auto it = values.find(name);
        if (it == values.end()) {
            return std::nullopt;
        }
        return it->second;
    };
}

TEST(ProcessAndPathTexts, RealUidProgramNameAndDataFolder)
{
    EXPECT_EQ(realUidFromStatus("Name:\tbash\nUmask:\t0022\nUid:\t1000\t1001\t1002\t1003\nGid:\t5\t5\t5\t5\n"), 1000u);
    EXPECT_EQ(realUidFromStatus("Uid:\t0\t0\t0\t0"), 0u);
    EXPECT_FALSE(realUidFromStatus("Name:\tbash\nGid:\t5\t5\t5\t5\n"));
    EXPECT_FALSE(realUidFromStatus("Uid:\tabc\t1\t1\t1\n"));
    EXPECT_FALSE(realUidFromStatus("Uid:\t12x\t1\t1\t1\n"));
    EXPECT_FALSE(realUidFromStatus("Uid:\n"));
    EXPECT_FALSE(realUidFromStatus("XUid:\t1000\n"));
    EXPECT_EQ(programNameFromExeTarget("/usr/bin/kelmora"), "kelmora");
    EXPECT_EQ(programNameFromExeTarget("/usr/bin/kelmora (deleted)"), "kelmora");
    EXPECT_EQ(programNameFromExeTarget("kelmora"), "kelmora");
    // The data folder past --data-dir and KELMORA_DATA_DIR (the CLI's tests drive those): XDG, then home,
    // skipping a relative value.
    EXPECT_EQ(ResolveDataFolder(std::nullopt, Env({{"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}})), "/x/Kelmora");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, Env({{"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}})),
              "/h/.local/share/Kelmora");
    // The status cache: an absolute XDG_CACHE_HOME, else under home.
    EXPECT_EQ(CacheFolder(Env({{"XDG_CACHE_HOME", "/c"}, {"HOME", "/h"}})), "/c/kelmora");
    EXPECT_EQ(CacheFolder(Env({{"XDG_CACHE_HOME", "rel"}, {"HOME", "/h"}})), "/h/.cache/kelmora");
    EXPECT_EQ(CacheFolder(Env({{"XDG_CACHE_HOME", ""}, {"HOME", "/h"}})), "/h/.cache/kelmora");
    // This test program's folder, as the current executable says.
    const auto folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(currentExecutable(), folder / "platform_tests");
}

} // namespace
} // namespace kelmora::platform
