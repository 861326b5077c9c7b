// Where REGISTER.INI is read from: the user's own file in the Windows directory wins; without
// it, the maker's copy in the first system settings folder that holds one.

#include "app/Settings.h"

#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(SettingsPlaceTest, OwnFileWinsThenTheFirstSystemFolderThatHoldsOne)
{
    testsupport::TestWorld world;
    const auto first = world.root() / "first", second = world.root() / "second";
    // A relative folder is no place at all, as the XDG rules say.
    testsupport::ScopedEnv dirs("XDG_CONFIG_DIRS",
                                "relative:" + first.string() + ":" + second.string());
    auto place = [&](const std::filesystem::path& file, const char* dialString) {
        world.writeFile(file, std::string("[modem]\nDialString=") + dialString + "\n");
    };
    place(world.programDir() / "relative/pantrix/REGISTER.INI", "ATDRELATIVE");

    struct Case
    {
        bool inFirst, inSecond, own;
        const char* expected;
    };
    for (const Case& c : {Case{false, false, false, "ATD"}, Case{false, true, false, "ATDSECOND"},
                          Case{true, true, false, "ATDFIRST"}, Case{true, true, true, "ATDOWN"}}) {
        std::filesystem::remove_all(first);
        std::filesystem::remove_all(second);
        if (c.inFirst)
            place(first / "pantrix/REGISTER.INI", "ATDFIRST");
        if (c.inSecond)
            place(second / "pantrix/REGISTER.INI", "ATDSECOND");
        if (c.own)
            place(world.windowsDir() / "REGISTER.INI", "ATDOWN");
        resetProgramState();
        ReadSettings(programRecord);
        EXPECT_EQ(programRecord.settings.DialString.str(), c.expected);
    }
    resetProgramState();
}

} // namespace
