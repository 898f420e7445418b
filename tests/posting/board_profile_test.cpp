#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "io/file_io.h"
#include "posting/board_profile.h"

namespace glyphora::posting {
namespace {

// "ＡＡ（アスキーアート）" in Shift_JIS
const std::string kTitleSjis =
    "\x82\x60\x82\x60\x81\x69\x83\x41\x83\x58\x83\x4c\x81\x5b\x83\x41\x81\x5b\x83\x67\x81\x6a";
const std::string kTitleUtf8 = "ＡＡ（アスキーアート）";

TEST(SettingTxt, ReadsTheLimitsOfABoard) {
    const std::string file = "BBS_TITLE=" + kTitleSjis +
                             "\r\nBBS_NONAME_NAME=x\r\nBBS_LINE_NUMBER=16\r\nBBS_MESSAGE_COUNT=2048\r\n"
                             "BBS_UNICODE=pass\r\n";
    BoardProfile p;
    std::string error;
    ASSERT_TRUE(parse_setting_txt(file, p, error)) << error;
    EXPECT_EQ(p.name, kTitleUtf8);
    EXPECT_EQ(p.bytes_per_post, 2048);
    EXPECT_EQ(p.lines_per_post, 32);  // twice the published number
    EXPECT_TRUE(p.references_pass);
    EXPECT_EQ(p.encoding, BoardProfile::sjis);

    // LF lines, no title, no line number, references changed.
    ASSERT_TRUE(parse_setting_txt("BBS_MESSAGE_COUNT=4096\nBBS_UNICODE=change\n", p, error)) << error;
    EXPECT_EQ(p.name, "SETTING.TXT");
    EXPECT_EQ(p.lines_per_post, 60);
    EXPECT_FALSE(p.references_pass);
}

TEST(SettingTxt, RefusesWhatIsNoSettingTxt) {
    const BoardProfile before = builtin_profile();
    for (const std::string& bad : {
             std::string(),                                         // empty
             std::string("BBS_TITLE=x\r\nBBS_LINE_NUMBER=16\r\n"),  // no byte count
             std::string("BBS_MESSAGE_COUNT=many\r\n"),             // not a number
             std::string("BBS_MESSAGE_COUNT=0\r\n"),                // absurd
             std::string("BBS_MESSAGE_COUNT=99999999\r\n"),         // absurd
             std::string("BBS_MESSAGE_COUNT=2048\r\nBBS_LINE_NUMBER=-3\r\n"),
             std::string("BBS_MESSAGE_COUNT=2048\r\nBBS_UNICODE=maybe\r\n"),
             std::string("BBS_MESSAGE_COUNT=2048\r\n\x89PNG\x1a\x00\x01", 31),  // binary junk
             std::string("BBS_MESSAGE_COUNT=2048\r\nBBS_TITLE=\x85\x40\r\n"),   // no Shift_JIS
         }) {
        BoardProfile p = before;
        std::string error;
        EXPECT_FALSE(parse_setting_txt(bad, p, error)) << bad;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(p, before) << "a refused file changed the profile";
    }
}

TEST(Profiles, SurviveTheFileAndRefuseDamage) {
    ProfileList list;
    list.profiles.push_back(builtin_profile());
    BoardProfile b;
    b.name = "狭い板";
    b.bytes_per_post = 1024;
    b.lines_per_post = 20;
    b.references_pass = false;
    b.encoding = BoardProfile::utf8;
    b.rules.line_break = 1;
    b.rules.amp = 1;
    list.profiles.push_back(b);

    const std::string path = std::string(std::getenv("GLYPHORA_HOME")) + "/profiles-test.txt";
    std::filesystem::remove(path);
    ProfileList read;
    ASSERT_TRUE(load_profiles(path, read).ok);  // none saved yet: the built-in one
    ASSERT_EQ(read.profiles.size(), 1u);
    EXPECT_EQ(read.profiles[0].name, kBuiltinProfileName);

    ASSERT_TRUE(save_profiles(path, list).ok);
    ASSERT_TRUE(load_profiles(path, read).ok);
    ASSERT_EQ(read.profiles.size(), 2u);
    EXPECT_EQ(read.profiles[0], builtin_profile());
    EXPECT_EQ(read.profiles[1], b);
    EXPECT_EQ(&current_profile(read, "狭い板"), &read.profiles[1]);
    EXPECT_EQ(current_profile(read, "gone").name, kBuiltinProfileName);

    for (const char* damaged :
         {"[a]\nbytes=x\n", "bytes=10\n", "[a]\nbytes=0\n", "[a]\n[a]\n", "[a]\ncolour=red\n"}) {
        ASSERT_TRUE(write_file_atomically(path, damaged).ok);
        const IoResult r = load_profiles(path, read);
        EXPECT_FALSE(r.ok) << damaged;
        EXPECT_NE(r.error.find("line"), std::string::npos) << r.error;
        EXPECT_EQ(read.profiles.size(), 1u);
    }
    b.bytes_per_post = 0;
    list.profiles[1] = b;
    EXPECT_FALSE(save_profiles(path, list).ok);
}

}  // namespace
}  // namespace glyphora::posting
