// Per-user folders follow the environment's XDG and HOME settings; the executable is found.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/userdirs.h"
#include "tests/support/tempdir.h"

namespace fs = std::filesystem;

namespace pixhaven::platform {
namespace {

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

#ifndef __APPLE__
TEST(UserDirs, XdgFoldersWhenAbsoluteElseBelowHome) {
    test::TempDir dir;
    const ScopedEnv home("HOME", dir.path().c_str());
    {
        const ScopedEnv data("XDG_DATA_HOME", (dir / "data").c_str());
        const ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
        EXPECT_EQ(UserDataFolder(), dir / "data");
        EXPECT_EQ(UserConfigFolder(), dir / "config");
    }
    {
        const ScopedEnv data("XDG_DATA_HOME", "relative/data");
        const ScopedEnv config("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(UserDataFolder(), dir / ".local" / "share");
        EXPECT_EQ(UserConfigFolder(), dir / ".config");
    }
}

TEST(UserDirs, DeviceSoftwareFolderIsBelowTheDataFolderWhenThatIsKnown) {
    EXPECT_EQ(DeviceSoftwareFolders("/data"), std::vector<fs::path>{"/data/Apple Computer"});
    EXPECT_TRUE(DeviceSoftwareFolders({}).empty()) << "never relative to the working folder";
}
#endif

TEST(UserDirs, RelativeHomeIsNotUsed) {
    const ScopedEnv home("HOME", "relative-home");
    const ScopedEnv data("XDG_DATA_HOME", nullptr);
    const ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    // The password file gives the real home then; either way no folder under the working folder.
    EXPECT_TRUE(UserDataFolder().empty() || UserDataFolder().is_absolute());
    EXPECT_TRUE(UserConfigFolder().empty() || UserConfigFolder().is_absolute());
}

TEST(UserDirs, ExecutableAndTempFolder) {
    const fs::path exe = ExecutableFile();
    EXPECT_TRUE(fs::is_regular_file(exe)) << exe;
    EXPECT_NE(exe.filename().string().find("test_userdirs"), std::string::npos) << exe;
    EXPECT_TRUE(fs::is_directory(TempFolder()));
}

}  // namespace
}  // namespace pixhaven::platform
