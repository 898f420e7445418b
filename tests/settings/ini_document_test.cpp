#include "settings/ini_document.h"

#include <gtest/gtest.h>

#include <string>

namespace glyphora {
namespace {

// A hand-edited file: CR LF line ends, blanks, comments, stray lines and a last line without a line end.
const std::string kMessy =
    "; made by hand\r\n"
    "[Option]\r\n"
    "  TotalFontSize = 95 \r\n"
    "this line has no equals sign\r\n"
    "fontface= \x82\x6C\x82\x72 \r\n"
    "\r\n"
    "[file]\r\n"
    "renderext=txt";

TEST(IniDocument, ParseAndSerialiseGiveBackTheSameBytes) {
    for (const std::string& text : {kMessy, std::string(), std::string("\n\n"), std::string("a\rb\r"),
                                    std::string("[x]\nk=v\0w\n", 11), std::string("\xEF\xBB\xBF[a]\nb=c")}) {
        EXPECT_EQ(IniDocument::parse(text).serialise(), text);
    }
}

TEST(IniDocument, NamesMatchWithoutCaseAndValuesAreTheBytesAfterTheEqualsSign) {
    const IniDocument doc = IniDocument::parse(kMessy);
    EXPECT_EQ(doc.find("option", "totalfontsize"), " 95 ");
    EXPECT_EQ(doc.find("OPTION", "TOTALFONTSIZE"), " 95 ");
    EXPECT_EQ(doc.read_int("option", "totalfontsize", 90), 95);
    // Leading and trailing blanks are part of a string value: AA often starts with spaces.
    EXPECT_EQ(doc.find("option", "fontface"), " \x82\x6C\x82\x72 ");
    EXPECT_EQ(doc.find("FILE", "renderext"), "txt");
    EXPECT_FALSE(doc.find("option", "renderext"));  // keys belong to their section
    EXPECT_FALSE(doc.find("option", "this line has no equals sign"));
    EXPECT_FALSE(doc.find("made by hand", ""));
    // A UTF-8 mark before the first section does not hide it.
    EXPECT_EQ(IniDocument::parse("\xEF\xBB\xBF[a]\nb=c").find("a", "b"), "c");
}

TEST(IniDocument, DoubleByteNamesAreComparedByteForByte) {
    EXPECT_TRUE(settings_names_equal("Window0", "wINDOW0"));
    // "ア" (83 41) and "ヂ" (83 61) differ only in a trail byte that looks like a letter.
    EXPECT_FALSE(settings_names_equal("\x83\x41", "\x83\x61"));
    // "ゾ" ends in 5D, the byte of "]": the header still closes at the real bracket.
    const IniDocument doc = IniDocument::parse("[\x83\x5D]\nk=v\n");
    EXPECT_EQ(doc.find("\x83\x5D", "k"), "v");
}

TEST(IniDocument, MalformedIntegersReadAsTheDefault) {
    const IniDocument doc = IniDocument::parse(
        "[n]\na=12abc\nb=\nc=0x10\nd=99999999999\ne= -7\t\nf=+5\ng=1 2\nh=-2147483648\ni=+-1\nj=5\r\r\n");
    EXPECT_EQ(doc.read_int("n", "a", 42), 42);
    EXPECT_EQ(doc.read_int("n", "b", 42), 42);
    EXPECT_EQ(doc.read_int("n", "c", 42), 42);
    EXPECT_EQ(doc.read_int("n", "d", 42), 42);
    EXPECT_EQ(doc.read_int("n", "e", 42), -7);
    EXPECT_EQ(doc.read_int("n", "f", 42), 5);
    EXPECT_EQ(doc.read_int("n", "g", 42), 42);
    EXPECT_EQ(doc.read_int("n", "h", 42), -2147483647 - 1);
    EXPECT_EQ(doc.read_int("n", "i", 42), 42);
    EXPECT_EQ(doc.read_int("n", "j", 42), 5);
    EXPECT_EQ(doc.read_int("n", "missing", 42), 42);
}

TEST(IniDocument, StringsAreCutToTheirCapacityAndAtANul) {
    const IniDocument doc = IniDocument::parse(std::string("[s]\nlong=") + std::string(70, 'x') +
                                               std::string("\nnul=ab\0cd\nempty=\n", 18));
    EXPECT_EQ(doc.read_string("s", "long", "", 64), std::string(63, 'x'));
    EXPECT_EQ(doc.read_string("s", "nul", "", 64), "ab");
    EXPECT_EQ(doc.read_string("s", "empty", "dflt", 64), "");  // present but empty is not missing
    EXPECT_EQ(doc.read_string("s", "missing", "default", 4), "def");
    EXPECT_EQ(doc.read_string("s", "long", "", 0), "");
}

TEST(IniDocument, SetChangesOnlyTheValueAndKeepsEverythingElse) {
    IniDocument doc = IniDocument::parse(kMessy);
    ASSERT_EQ(doc.set("option", "totalfontsize", "100"), "");
    ASSERT_EQ(doc.set("option", "render_pageflag", "1"), "");
    ASSERT_EQ(doc.set("FILE", "renderext", "html"), "");
    ASSERT_EQ(doc.set("menu", "menuchr0", " (\x81\x4C\x83\xD6\x81\x4D) "), "");
    EXPECT_EQ(doc.serialise(),
              "; made by hand\r\n"
              "[Option]\r\n"
              "  TotalFontSize =100\r\n"
              "this line has no equals sign\r\n"
              "fontface= \x82\x6C\x82\x72 \r\n"
              "render_pageflag=1\r\n"
              "\r\n"
              "[file]\r\n"
              "renderext=html\r\n"
              "[menu]\r\n"
              "menuchr0= (\x81\x4C\x83\xD6\x81\x4D) \r\n");
}

TEST(IniDocument, AddedLinesFollowTheFilesLineEnds) {
    IniDocument lf = IniDocument::parse("[a]\nx=1\n");
    ASSERT_EQ(lf.set("b", "y", "2"), "");
    EXPECT_EQ(lf.serialise(), "[a]\nx=1\n[b]\ny=2\n");

    IniDocument fresh;
    ASSERT_EQ(fresh.set("option", "totalfontsize", "90"), "");
    EXPECT_EQ(fresh.serialise(), "[option]\r\ntotalfontsize=90\r\n");

    // A CR ending the file ends the last line; the value before it keeps its meaning when lines follow.
    IniDocument cr = IniDocument::parse("[a]\nx=1\r");
    EXPECT_EQ(cr.find("a", "x"), "1");
    ASSERT_EQ(cr.set("a", "y", "2"), "");
    EXPECT_EQ(cr.serialise(), "[a]\nx=1\r\ny=2\n");
    EXPECT_EQ(IniDocument::parse(cr.serialise()).find("a", "x"), "1");
}

TEST(IniDocument, DuplicatesReadAndWriteTheSameLine) {
    IniDocument doc = IniDocument::parse("[a]\nk=1\nk=2\n[A]\nk=3\nonly=4\n");
    EXPECT_EQ(doc.find("a", "k"), "1");
    EXPECT_EQ(doc.find("a", "only"), "4");  // a later section of the same name is searched too
    ASSERT_EQ(doc.set("a", "only", "5"), "");
    ASSERT_EQ(doc.set("a", "k", "9"), "");
    EXPECT_EQ(doc.serialise(), "[a]\nk=9\nk=2\n[A]\nk=3\nonly=5\n");
}

TEST(IniDocument, EntriesThatCannotReadBackAreRefusedAndChangeNothing) {
    IniDocument doc = IniDocument::parse("[a]\nk=v\n");
    const struct {
        const char* section;
        const char* key;
        std::string value;
    } bad[] = {
        {"a", "k", "two\r\nlines"},
        {"a", "k", "x\n[option]\nrender_pageflag=1"},
        {"a", "k", std::string("n\0ul", 4)},
        {"", "k", "v"},
        {"a]", "k", "v"},
        {" a", "k", "v"},
        {"a", "", "v"},
        {"a", "k=", "v"},
        {"a", "[k", "v"},
        {"a", ";k", "v"},
        {"a", "k ", "v"},
        {"\x83", "k", "v"},  // lead byte would eat the "]"
    };
    for (const auto& b : bad) {
        EXPECT_NE(doc.set(b.section, b.key, b.value), "") << b.section << "/" << b.key;
        EXPECT_EQ(doc.serialise(), "[a]\nk=v\n");
    }
}

}  // namespace
}  // namespace glyphora
