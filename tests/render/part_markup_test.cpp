// The text walk every reader of part texts shares: numeric references beside the entities.
#include "render/part_markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glyphora {
namespace {

// The reference at the start of text: its code point and length, or length 0.
CharReference ref(std::string_view text) {
    return match_reference(text, 0);
}

TEST(CharReferences, DecimalAndHexOfEitherCase) {
    struct Case {
        const char* text;
        char32_t code_point;
        int length;
        bool terminated;
    };
    const Case cases[] = {
        {"&#9825;", 0x2661, 7, true},       {"&#x2005;", 0x2005, 8, true}, {"&#X2005;", 0x2005, 8, true},
        {"&#x200A;", 0x200A, 8, true},      {"&#xaBcD;", 0xABCD, 8, true}, {"&#65;", 'A', 5, true},
        {"&#000065;", 'A', 9, true},         // leading zeros
        {"&#x10FFFF;", 0x10FFFF, 10, true},  // the last code point
        {"&#xD7FF;", 0xD7FF, 8, true},       // either side of the surrogates
        {"&#xE000;", 0xE000, 8, true},
    };
    for (const Case& c : cases) {
        const CharReference r = ref(c.text);
        EXPECT_EQ(r.code_point, c.code_point) << c.text;
        EXPECT_EQ(r.length, c.length) << c.text;
        EXPECT_EQ(r.terminated, c.terminated) << c.text;
    }
}

TEST(CharReferences, WithoutSemicolonTheDigitsEndAtTheFirstNonDigit) {
    struct Case {
        const char* text;
        char32_t code_point;
        int length;
    };
    const Case cases[] = {
        {"&#x2005", 0x2005, 7},    // at the end of the text
        {"&#x2005 A", 0x2005, 7},  // before a space
        {"&#x2005&#x200A;", 0x2005, 7},
        {"&#8201abc", 8201, 6},    // letters end decimal digits
        {"&#x2005gh", 0x2005, 7},  // g is no hex digit
        {"&#x41zz", 'A', 5},
        {"&#9825\r\n", 0x2661, 6},
        {"&#65:", 'A', 4},
    };
    for (const Case& c : cases) {
        const CharReference r = ref(c.text);
        EXPECT_EQ(r.code_point, c.code_point) << c.text;
        EXPECT_EQ(r.length, c.length) << c.text;
        EXPECT_FALSE(r.terminated) << c.text;
    }
}

TEST(CharReferences, WhatIsNoReferenceStaysOrdinaryText) {
    for (const char* text : {
             "&#0;",
             "&#x0;",
             "&#00000;",  // code point 0
             "&#xD800;",
             "&#xdfff;",
             "&#55296;",  // surrogates
             "&#x110000;",
             "&#1114112;",                                 // beyond U+10FFFF
             "&#99999999999999999999999999999999999999;",  // far beyond, without overflowing back in range
             "&#x1000000000000000000000000002005;",
             "&#4294967361;",
             "&#x100000041;",  // 2^32 + 65: 'A' if the value wrapped
             "&#x200Abc;",     // a, b and c are hex digits too
             "&#;",
             "&#x;",
             "&#X;",
             "&#",
             "&#x",
             "&",
             "&#-5;",
             "&# 65;",
             "&#+65;",
             "&#xg;",
             "&x41;",
             "&amp;",
             "&#\x82\xA0;",
         }) {
        EXPECT_EQ(ref(text).length, 0) << text;
        EXPECT_EQ(ref(text).code_point, 0u) << text;
    }
    // In the middle of a text too, also at its very end.
    EXPECT_EQ(match_reference("AB&#", 2).length, 0);
    EXPECT_EQ(match_reference("AB&", 2).length, 0);
    EXPECT_EQ(match_reference("AB&#x41", 2).length, 5);
}

TEST(CharReferences, TheControlBytesOfWindows1252AreItsCharacters) {
    EXPECT_EQ(ref("&#150;").code_point, 0x2013u);
    EXPECT_EQ(ref("&#x80;").code_point, 0x20ACu);
    EXPECT_EQ(ref("&#x9F;").code_point, 0x178u);
    EXPECT_EQ(ref("&#x81;").code_point, 0x81u);  // none there: the control itself
    EXPECT_EQ(ref("&#x7F;").code_point, 0x7Fu);
    EXPECT_EQ(ref("&#xA0;").code_point, 0xA0u);
}

// The items of a whole text, as "kind:detail" words.
std::vector<std::string> walk(std::string_view text) {
    std::vector<std::string> items;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const TextItem item = next_text_item(text, pos);
        EXPECT_GT(pos, start);
        switch (item.kind) {
            case TextItemKind::markup:
                items.push_back("m" + std::to_string(static_cast<int>(item.markup.kind)) + ":" +
                                std::string(text.substr(start, pos - start)));
                break;
            case TextItemKind::line_break:
                items.push_back("br");
                break;
            case TextItemKind::character:
                items.push_back("c" + std::to_string(item.code));
                break;
            case TextItemKind::reference:
                items.push_back("r" + std::to_string(item.reference.code_point));
                break;
        }
    }
    return items;
}

TEST(TextWalk, ReferencesBesideEntitiesLineBreaksAndCharacters) {
    using V = std::vector<std::string>;
    EXPECT_EQ(walk("A&#x2005;B"), (V{"c65", "r8197", "c66"}));
    EXPECT_EQ(walk("&#x2005&#x200A;&#8201"), (V{"r8197", "r8202", "r8201"}));
    EXPECT_EQ(walk("&nbsp;&#160;&ensp;"), (V{"m4:&nbsp;", "r160", "m3:&ensp;"}));
    // "&=26;" is the byte "&": the "#65;" after it is text, not a reference.
    EXPECT_EQ(walk("&=26;#65;"), (V{"m6:&=26;", "c35", "c54", "c53", "c59"}));
    EXPECT_EQ(walk("&#65;&=26;"), (V{"r65", "m6:&=26;"}));
    // What is no reference: each byte an ordinary character, the walk going on after the "&".
    EXPECT_EQ(walk("&#;&#0;"), (V{"c38", "c35", "c59", "c38", "c35", "c48", "c59"}));
    EXPECT_EQ(walk("&#x"), (V{"c38", "c35", "c120"}));
    EXPECT_EQ(walk("&amp;#65;"), (V{"c38", "c97", "c109", "c112", "c59", "c35", "c54", "c53", "c59"}));
    // Line breaks end a reference without ";"; a double-byte character after one stays whole.
    EXPECT_EQ(walk("&#9825\r\n&#9825\x82\xA0"), (V{"r9825", "br", "r9825", "c33440"}));
    // A lead byte before "&" takes it as its trail byte, as it always has: no reference there.
    EXPECT_EQ(walk("\x82&#65;"), (V{"c33318", "c35", "c54", "c53", "c59"}));
}

TEST(TextWalk, AHugeRunOfDigitsIsOneReferenceOrNone) {
    const std::string zeros(100000, '0');
    EXPECT_EQ(walk("&#" + zeros + "65;"), (std::vector<std::string>{"r65"}));
    std::size_t pos = 0;
    const std::string nines = "&#" + std::string(100000, '9');
    EXPECT_EQ(next_text_item(nines, pos).kind, TextItemKind::character);
    EXPECT_EQ(pos, 1u);
}

}  // namespace
}  // namespace glyphora
