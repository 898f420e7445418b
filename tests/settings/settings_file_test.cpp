#include "settings/settings_file.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "io/test_support.h"

namespace glyphora {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
  protected:
    fs::path dir;
    std::string path;
    void SetUp() override {
        dir =
            fs::path(std::getenv("GLYPHORA_HOME")) /
            ("settings_file-" +
             std::string(
                 ::testing::UnitTest::GetInstance()->current_test_info()->name()));  // tests run in parallel
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "glyphora.ini").string();
    }
    std::string contents() {
        std::string out;
        EXPECT_TRUE(read_whole_file(path, out).ok);
        return out;
    }
    void put(std::string_view text) { ASSERT_TRUE(write_file_atomically(path, text).ok); }
    std::size_t files_in_dir() {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
        return n;
    }
};

TEST_F(SettingsFileTest, WithoutAFileEveryReadGivesItsDefaultAndTheFirstWriteCreatesIt) {
    SettingsFile file(path);
    EXPECT_EQ(file.read_int("option", "totalfontsize", 90), 90);
    EXPECT_EQ(file.read_string("font", "fontface", "face", 64), "face");
    EXPECT_FALSE(fs::exists(path));

    ASSERT_TRUE(file.write_int("window0", "x", -32000).ok);
    ASSERT_TRUE(file.write_string("text", "mru0", "\x81\x40\x83\x5C").ok);
    EXPECT_EQ(contents(), "[window0]\r\nx=-32000\r\n[text]\r\nmru0=\x81\x40\x83\x5C\r\n");
    EXPECT_EQ(file.read_int("WINDOW0", "X", 16), -32000);
    EXPECT_EQ(file.read_string("text", "mru0", "", 64), "\x81\x40\x83\x5C");
    EXPECT_EQ(files_in_dir(), 1u);  // no temporary file left behind
}

TEST_F(SettingsFileTest, AWriteReplacesOneValueAndLeavesEveryOtherByteAlone) {
    put("[option]\nrenderdotflag=5\n; keep me\nstray line\n[font]\nfontface=x\n");
    SettingsFile file(path);
    ASSERT_TRUE(file.write_int("Option", "RenderDotFlag", 1).ok);
    EXPECT_EQ(contents(), "[option]\nrenderdotflag=1\n; keep me\nstray line\n[font]\nfontface=x\n");
}

TEST_F(SettingsFileTest, SeveralValuesGoInOneReplacement) {
    SettingsFile file(path);
    const SettingsEntry entries[] = {int_entry("dialog", "x", 1), int_entry("dialog", "y", 2),
                                     bool_entry("window1", "boxflag", false),
                                     string_entry("file", "renderext", "")};
    ASSERT_TRUE(file.write(entries).ok);
    EXPECT_EQ(contents(), "[dialog]\r\nx=1\r\ny=2\r\n[window1]\r\nboxflag=0\r\n[file]\r\nrenderext=\r\n");

    // One bad entry refuses the whole group.
    const SettingsEntry mixed[] = {int_entry("dialog", "x", 7), string_entry("menu", "menuchr0", "a\nb")};
    const IoResult r = file.write(mixed);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("menuchr0"), std::string::npos);
    EXPECT_EQ(file.read_int("dialog", "x", 0), 1);
}

TEST_F(SettingsFileTest, AFullDiskIsReportedAndLeavesThePreviousFile) {
    const std::string before = "[option]\r\ntotalfontsize=90\r\n";
    put(before);
    SettingsFile file(path);
    {
        FileSizeLimit limit(16);  // writes past 16 bytes fail as on a full disk
        const IoResult r = file.write_string("property", "mojisample", std::string(500, 'x'));
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.empty());
    }
    EXPECT_EQ(contents(), before);
    EXPECT_EQ(files_in_dir(), 1u);
}

TEST_F(SettingsFileTest, AFileThatCannotBeReadIsNeverOverwritten) {
    fs::create_directories(path);  // exists, but cannot be read as a file
    SettingsFile file(path);
    EXPECT_EQ(file.read_int("option", "totalfontsize", 90), 90);
    const IoResult r = file.write_int("option", "totalfontsize", 95);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("not changed"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(path));
}

// Refused although the rename of a new file over it would succeed. The mode does not bind root, so as root
// (as under CI) the write is made by a child that has become an ordinary user owning the folder and the
// file: only the mode can stop it there.
TEST_F(SettingsFileTest, AReadOnlyFileIsRefused) {
    put("[a]\nb=c\n");
    fs::permissions(path, fs::perms::owner_read);
    const auto refused = [this] {
        SettingsFile file(path);
        const IoResult r = file.write_int("a", "b", 1);
        return !r.ok && r.error.find("read-only") != std::string::npos;
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(refused());
    } else {
        const uid_t user = 65534;  // nobody
        ASSERT_EQ(::chown(dir.c_str(), user, user), 0);
        ASSERT_EQ(::chown(path.c_str(), user, user), 0);
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(2);
            if (::access(path.c_str(), R_OK) != 0) ::_exit(3);
            ::_exit(refused() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 2) << "cannot become user " << user;
        ASSERT_NE(WEXITSTATUS(status), 3) << "user " << user << " cannot reach " << path;
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_EQ(contents(), "[a]\nb=c\n");
}

TEST_F(SettingsFileTest, AWriteThatChangesNothingLeavesTheFileInPlace) {
    put("[window0]\r\nx=10\r\n");
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    SettingsFile file(path);
    ASSERT_TRUE(file.write_int("window0", "x", 10).ok);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    ASSERT_TRUE(file.write_int("window0", "x", 11).ok);
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);  // replaced, not rewritten in place
}

TEST_F(SettingsFileTest, ALinkedFileStaysLinked) {
    const fs::path real = dir / "real.ini";
    ASSERT_TRUE(write_file_atomically(real.string(), "[a]\nb=1\n").ok);
    fs::create_symlink(real, path);
    SettingsFile file(path);
    ASSERT_TRUE(file.write_int("a", "b", 2).ok);
    EXPECT_TRUE(fs::is_symlink(path));
    std::string out;
    ASSERT_TRUE(read_whole_file(real.string(), out).ok);
    EXPECT_EQ(out, "[a]\nb=2\n");
}

}  // namespace
}  // namespace glyphora
