#include "platform/inisettingsstore.h"
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

TEST(DataFolderLocation, ExplicitThenEnvironmentThenXdgThenHome_SkippingEmptyAndRelative)
{
    const auto all = Env({{"KELMORA_DATA_DIR", "/k"}, {"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}});
    EXPECT_EQ(ResolveDataFolder(std::filesystem::path("/cli"), all), "/cli");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, all), "/k");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, Env({{"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}})), "/x/Kelmora");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, Env({{"HOME", "/h"}})), "/h/.local/share/Kelmora");
    // Empty and relative values are ignored.
    EXPECT_EQ(ResolveDataFolder(std::filesystem::path(), Env({{"KELMORA_DATA_DIR", ""}, {"HOME", "/h"}})),
              "/h/.local/share/Kelmora");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, Env({{"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}})),
              "/h/.local/share/Kelmora");
}

TEST(ExecutableFolder, IsTheFolderOfThisTestProgramAsCurrentExecutableSays)
{
    const auto folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(currentExecutable(), folder / "platform_tests");
}

} // namespace
} // namespace kelmora::platform
