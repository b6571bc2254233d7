#include "platform/paths.h"

#include <gtest/gtest.h>

#include <map>

namespace kelmora::platform {
namespace {

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

TEST(DataFolderLocation, ExplicitThenEnvironmentThenXdgThenHome)
{
    const auto all = Env({{"KELMORA_DATA_DIR", "/k"}, {"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}});
    EXPECT_EQ(ResolveDataFolder(std::filesystem::path("/cli"), all), "/cli");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, all), "/k");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, Env({{"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}})), "/x/Kelmora");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, Env({{"HOME", "/h"}})), "/h/.local/share/Kelmora");
}

TEST(DataFolderLocation, EmptyAndRelativeValuesAreIgnored)
{
    EXPECT_EQ(ResolveDataFolder(std::filesystem::path(), Env({{"KELMORA_DATA_DIR", ""}, {"HOME", "/h"}})),
              "/h/.local/share/Kelmora");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, Env({{"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}})),
              "/h/.local/share/Kelmora");
}

TEST(CacheFolderLocation, AbsoluteXdgThenHome)
{
    EXPECT_EQ(CacheFolder(Env({{"XDG_CACHE_HOME", "/c"}, {"HOME", "/h"}})), "/c/kelmora");
    EXPECT_EQ(CacheFolder(Env({{"XDG_CACHE_HOME", "rel"}, {"HOME", "/h"}})), "/h/.cache/kelmora");
    EXPECT_EQ(CacheFolder(Env({{"XDG_CACHE_HOME", ""}, {"HOME", "/h"}})), "/h/.cache/kelmora");
}

TEST(ExecutableFolder, IsTheFolderOfThisTestProgram)
{
    const auto folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(std::filesystem::exists(folder / "platform_tests"));
}

} // namespace
} // namespace kelmora::platform
