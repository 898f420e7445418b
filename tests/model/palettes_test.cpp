#include "model/palettes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/sjis.h"

namespace glyphora {
namespace {

// "その１" and "お気に入り", the first and last built-in tab names.
const std::string kFirstName = "\x82\xBB\x82\xCC\x82\x50";
const std::string kFavourites = "\x82\xA8\x8B\x43\x82\xC9\x93\xFC\x82\xE8";
// "─", "│" and "ﾐ" (half-width katakana, one byte).
const std::string kHorizontal = "\x84\x9F";
const std::string kVertical = "\x84\xA0";
constexpr char kHalfMi = '\xD0';

TEST(Palettes, BuiltInsAreSevenPalettesAndAnEmptyFavourite) {
    const PaletteSet p = builtin_palettes();
    EXPECT_EQ(p[0].name, kFirstName);
    EXPECT_EQ(p[7].name, kFavourites);
    EXPECT_TRUE(p[7].content.empty());
    // Characters per palette: single-byte ones ("_", "-", "|", "=", half-width katakana) count as one.
    const std::size_t expected[kPaletteCount] = {32, 15, 35, 44, 44, 48, 45, 0};
    for (int i = 0; i < kPaletteCount; ++i) {
        EXPECT_EQ(palette_codes(p[i].content).size(), expected[i]) << "palette " << i;
        EXPECT_LT(p[i].content.size(), kPaletteContentCapacity);
    }
    const std::vector<int> first = palette_codes(p[0].content);
    EXPECT_EQ(first.front(), 0x849F);
    const std::vector<int> third = palette_codes(p[2].content);
    EXPECT_NE(std::find(third.begin(), third.end(), 0xD0), third.end());  // "ﾐ"
    const std::vector<int> second = palette_codes(p[1].content);
    EXPECT_EQ(second[1], '_');
}

TEST(Palettes, SectionsReplacePalettesInOrderAndLinesOutsideAreIgnored) {
    PaletteSet p = builtin_palettes();
    read_charset_content(p,
                         "before any section\r\n"
                         "[IndexName=lines]\r\n" +
                             kHorizontal + kVertical +
                             "\r\n"
                             "[END]\r\n"
                             "between sections\r\n"
                             "[IndexName=mixed]tail\n"
                             "a\n"
                             "b" +
                             std::string(1, kHalfMi) +
                             "\n"
                             "c\n"
                             "[END]\n"
                             "after\n");
    EXPECT_EQ(p[0].name, "lines");
    EXPECT_EQ(p[0].content, kHorizontal + kVertical);
    EXPECT_EQ(p[1].name, "mixed");                                  // the name ends at the first "]"
    EXPECT_EQ(p[1].content, "ab" + std::string(1, kHalfMi) + "c");  // three lines back to back
    const PaletteSet builtin = builtin_palettes();
    for (int i = 2; i < kPaletteCount; ++i) EXPECT_EQ(p[i], builtin[i]) << "palette " << i;
}

TEST(Palettes, SectionHeadersAndEnds) {
    PaletteSet p = builtin_palettes();
    // Without "]" the name is all the rest; a header inside a section restarts the same palette; "[END]"
    // must be the whole line; a section left open at the end of the file still counts.
    read_charset_content(p,
                         "[IndexName=open name\n"
                         "lost\n"
                         "[IndexName=second try]\n"
                         "x\n"
                         "[END] \n"
                         "y\n"
                         "[END]\n"
                         "[IndexName=unclosed]\n"
                         "z");
    EXPECT_EQ(p[0].name, "second try");
    EXPECT_EQ(p[0].content, "x[END] y");
    EXPECT_EQ(p[1].name, "unclosed");
    EXPECT_EQ(p[1].content, "z");

    PaletteSet q = builtin_palettes();
    read_charset_content(q, "[IndexName=no bracket at all\n[END]\n");
    EXPECT_EQ(q[0].name, "no bracket at all");
    EXPECT_EQ(q[0].content, "");
}

TEST(Palettes, NinthSectionIsNotRead) {
    PaletteSet p = builtin_palettes();
    std::string file;
    for (int i = 0; i < 9; ++i)
        file += "[IndexName=" + std::to_string(i) + "]\nc" + std::to_string(i) + "\n[END]\n";
    read_charset_content(p, file);
    for (int i = 0; i < kPaletteCount; ++i) {
        EXPECT_EQ(p[i].name, std::to_string(i));
        EXPECT_EQ(p[i].content, "c" + std::to_string(i));
    }
}

TEST(Palettes, FileIsReadInPiecesOfNinetyNineBytes) {
    PaletteSet p = builtin_palettes();
    // A long content line arrives as several pieces, appended back to back.
    const std::string long_line(250, 'a');
    read_charset_content(p, "[IndexName=long]\n" + long_line + "\n[END]\n");
    EXPECT_EQ(p[0].content, long_line);

    // A piece of 99 bytes ends the line, so "[END]" after 99 bytes of content is a line of its own.
    PaletteSet q = builtin_palettes();
    read_charset_content(q, "[IndexName=split]\n" + std::string(99, 'b') + "[END]\n[IndexName=next]\nn\n");
    EXPECT_EQ(q[0].content, std::string(99, 'b'));
    EXPECT_EQ(q[1].name, "next");
    EXPECT_EQ(q[1].content, "n");

    // The line ends at its first CR (everything after it in the piece is dropped) and at a NUL.
    PaletteSet r = builtin_palettes();
    read_charset_content(r, std::string("[IndexName=cr]\nab\rcd\nef\0gh\n[END]\n", 33));
    EXPECT_EQ(r[0].content, "abef");
}

TEST(Palettes, ContentAndNameAreCutAtWholeCharacters) {
    // 500 double-byte characters: 799 bytes would split one, so 399 characters (798 bytes) are kept.
    std::string wide;
    for (int i = 0; i < 500; ++i) wide += kHorizontal;
    PaletteSet p = builtin_palettes();
    read_charset_content(p, "[IndexName=wide]\n" + wide + "\n[END]\n");
    EXPECT_EQ(p[0].content.size(), 798u);
    EXPECT_EQ(palette_codes(p[0].content).size(), 399u);

    // Single bytes fill all 799.
    PaletteSet q = builtin_palettes();
    read_charset_content(q, "[IndexName=narrow]\n" + std::string(900, 'x') + "\n[END]\n");
    EXPECT_EQ(q[0].content, std::string(799, 'x'));

    // A double-byte character split across two pieces of the file is kept whole; a lead byte that ends
    // the section without its trail byte is dropped.
    PaletteSet r = builtin_palettes();
    read_charset_content(r, "[IndexName=pieces]\n" + std::string(98, 'y') + kHorizontal + "\n\x84\n[END]\n");
    EXPECT_EQ(r[0].content, std::string(98, 'y') + kHorizontal);

    // 20 double-byte characters (40 bytes) as a name: 19 of them fit into 39 bytes.
    std::string name;
    for (int i = 0; i < 20; ++i) name += kVertical;
    PaletteSet s = builtin_palettes();
    read_charset_content(s, "[IndexName=" + name + "]\n[END]\n");
    EXPECT_EQ(s[0].name, name.substr(0, 38));
}

TEST(Palettes, PaletteCodesFollowTheLeadByteRule) {
    EXPECT_EQ(palette_codes(kHorizontal + "A" + std::string(1, kHalfMi) + "\xE0\x40"),
              (std::vector<int>{0x849F, 'A', 0xD0, 0xE040}));
    EXPECT_TRUE(palette_codes("").empty());
}

TEST(Palettes, WholeCharsPrefix) {
    EXPECT_EQ(whole_chars_prefix("abc", 2), "ab");
    EXPECT_EQ(whole_chars_prefix("a" + kHorizontal, 2), "a");
    EXPECT_EQ(whole_chars_prefix("a" + kHorizontal, 3), "a" + kHorizontal);
    EXPECT_EQ(whole_chars_prefix("a\x84", 10), "a");
    EXPECT_EQ(whole_chars_prefix("", 10), "");
}

class CharsetFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* home = std::getenv("GLYPHORA_HOME");
        dir_ = std::filesystem::path(home && *home ? home : std::filesystem::temp_directory_path().c_str()) /
               ("charset-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    std::filesystem::path dir_;
};

TEST_F(CharsetFileTest, FileIsReadLikeItsContents) {
    std::string content = "junk\n";
    for (int i = 0; i < 10; ++i)
        content += "[IndexName=s" + std::to_string(i) + "]\r\n" + std::string(150, 'a' + i) + "\r\n[END]\r\n";
    PaletteSet from_content = builtin_palettes();
    read_charset_content(from_content, content);
    EXPECT_EQ(build_palettes(write("asciiset.txt", content)), from_content);
    EXPECT_EQ(from_content[7].name, "s7");
}

TEST_F(CharsetFileTest, MissingOrUnnamedFileLeavesTheBuiltIns) {
    PaletteSet p = builtin_palettes();
    EXPECT_FALSE(load_charset_file(p, "-"));
    EXPECT_FALSE(load_charset_file(p, ""));
    EXPECT_FALSE(load_charset_file(p, (dir_ / "missing.txt").string()));
    EXPECT_EQ(p, builtin_palettes());
    EXPECT_EQ(build_palettes("-"), builtin_palettes());
}

}  // namespace
}  // namespace glyphora
