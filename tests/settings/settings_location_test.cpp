#include "settings/settings_location.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace glyphora {
namespace {

namespace fs = std::filesystem;

// Every case spells out its environment, so no test looks at the real home folder.
class SettingsLocation : public ::testing::Test {
  protected:
    fs::path root;
    void SetUp() override {
        root =
            fs::path(std::getenv("GLYPHORA_HOME")) /
            ("location-" +
             std::string(
                 ::testing::UnitTest::GetInstance()->current_test_info()->name()));  // tests run in parallel
        fs::remove_all(root);
        fs::create_directories(root / "bin");
    }
    std::string exe() const { return (root / "bin" / "glyphora").string(); }
    std::string missing_exe() const { return (root / "no" / "such" / "glyphora").string(); }
};

TEST_F(SettingsLocation, GlyphoraHomeOverridesEverythingAndIsCreated) {
    const LocationEnvironment env{(root / "home" / "sub").string(), (root / "xdg").string(), root.string()};
    const PathResult file = settings_file_path(exe(), env);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.path, (root / "home" / "sub" / "glyphora.ini").string());
    EXPECT_TRUE(fs::is_directory(root / "home" / "sub"));
    EXPECT_EQ(default_library_path(exe(), env).path, (root / "home" / "sub" / "library.aal").string());
}

TEST_F(SettingsLocation, NextToAWritableExecutableTheFileTakesItsBaseName) {
    const LocationEnvironment env{"", (root / "xdg").string(), root.string()};
    EXPECT_EQ(settings_directory(exe(), env).path, (root / "bin").string() + "/");
    EXPECT_EQ(settings_file_path((root / "bin" / "aa.tool.exe").string(), env).path,
              (root / "bin" / "aa.tool.ini").string());
    EXPECT_EQ(default_library_path(exe(), env).path, (root / "bin" / "library.aal").string());
    EXPECT_FALSE(fs::exists(root / "xdg"));
}

TEST_F(SettingsLocation, OtherwiseTheXdgConfigFolderIsUsed) {
    const PathResult xdg = settings_file_path(missing_exe(), {"", (root / "xdg").string(), root.string()});
    ASSERT_TRUE(xdg.ok) << xdg.error;
    EXPECT_EQ(xdg.path, (root / "xdg" / "glyphora" / "glyphora.ini").string());
    EXPECT_TRUE(fs::is_directory(root / "xdg" / "glyphora"));

    // Unset or relative XDG_CONFIG_HOME: ~/.config.
    for (const std::string xdg_value : {"", "relative/xdg"}) {
        const PathResult home = settings_directory(missing_exe(), {"", xdg_value, root.string()});
        ASSERT_TRUE(home.ok) << home.error;
        EXPECT_EQ(home.path, (root / ".config" / "glyphora").string() + "/");
    }
}

// Root can write to /usr/bin, but an installed program keeps its settings with the user; and a reader that
// only looks creates nothing.
TEST_F(SettingsLocation, InstalledProgramsAndLookingReadersNeverWriteBesideThemselvesOrCreateFolders) {
    const LocationEnvironment env{"", (root / "xdg").string(), root.string()};
    for (const char* bin : {"/usr/bin", "/usr/local/bin", "/usr/bin/", "/usr/./bin"}) {
        EXPECT_TRUE(is_system_program_folder(bin)) << bin;
        EXPECT_EQ(settings_directory(std::string(bin) + "/glyphora", env, FolderCreation::never).path,
                  (root / "xdg" / "glyphora").string() + "/");
    }
    EXPECT_FALSE(is_system_program_folder((root / "bin").string()));
    EXPECT_FALSE(fs::exists(root / "xdg"));

    const LocationEnvironment home{(root / "home").string(), "", root.string()};
    EXPECT_EQ(settings_file_path(exe(), home, FolderCreation::never).path,
              (root / "home" / "glyphora.ini").string());
    EXPECT_FALSE(fs::exists(root / "home"));
}

TEST_F(SettingsLocation, AFolderThatCannotBeCreatedIsReported) {
    std::ofstream(root / "plain") << "a file, not a folder";
    const PathResult r = settings_directory(exe(), {(root / "plain" / "sub").string(), "", ""});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("plain"), std::string::npos);
}

TEST(RunningExecutable, IsTheTestProgram) {
    EXPECT_EQ(fs::path(running_executable_path()).filename(), "settings_tests");
}

}  // namespace
}  // namespace glyphora
