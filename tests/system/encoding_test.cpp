#include "system/encoding.h"

#include <gtest/gtest.h>

namespace glyphora {
namespace {

TEST(Encoding, RoundTripsJapaneseAndHalfWidthKana) {
    const std::string utf8 = "あ ｱ(´･ω･`)～";
    const Conversion sjis = utf8_to_sjis(utf8);
    ASSERT_TRUE(sjis.ok);
    EXPECT_EQ(sjis.text.substr(0, 2), "\x82\xA0");
    EXPECT_EQ(sjis.text[3], '\xB1');
    const Conversion back = sjis_to_utf8(sjis.text);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.text, utf8);
    // The wave dash is taken as code page 932's 0x8160, which reads back as the full-width tilde.
    EXPECT_EQ(utf8_to_sjis("〜").text, "\x81\x60");
}

TEST(Encoding, UnmappableCharacterIsReportedNotReplaced) {
    const std::string utf8 = "ab€c";  // the euro sign is not in code page 932
    const Conversion r = utf8_to_sjis(utf8);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error_offset, 2u);
    EXPECT_EQ(r.bad_char, "€");
    const std::string message = describe_unmappable(utf8, r);
    EXPECT_NE(message.find("U+20AC"), std::string::npos) << message;
    EXPECT_NE(message.find("character 3"), std::string::npos) << message;
}

TEST(Encoding, InvalidShiftJisBytesAreReported) {
    const Conversion r = sjis_to_utf8(std::string("ok\x82", 3));  // a lead byte without a trail
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error_offset, 2u);
}

TEST(Encoding, LenientConversionKeepsTheRestOfABrokenText) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(sjis_to_utf8_lenient("a\x82\xA0 \xB1"), "a\u3042 \uFF71");
    EXPECT_EQ(sjis_to_utf8_lenient(""), "");
    EXPECT_EQ(sjis_to_utf8_lenient("ok\x82"), "ok" + fffd);  // a lead byte at the end
    EXPECT_EQ(sjis_to_utf8_lenient("a\x82 b\x82\xA0"),
              "a" + fffd + " b\u3042");  // the space is no trail byte
    EXPECT_EQ(sjis_to_utf8_lenient("a\x85\x40"
                                   "b"),
              "a" + fffd + "b");                                      // one unmapped code
    EXPECT_EQ(sjis_to_utf8_lenient("\xA0\xFDx"), fffd + fffd + "x");  // bytes that start no character
    // For a terminal the bytes themselves are shown.
    EXPECT_EQ(sjis_to_utf8_lenient("a\x85\x40"
                                   "b\x82",
                                   Unconvertible::hex_bytes),
              "a\\x85\\x40b\\x82");
}

TEST(Encoding, CodesToUnicode) {
    EXPECT_EQ(sjis_code_to_unicode(0x20), 0x20);
    EXPECT_EQ(sjis_code_to_unicode(0x8140), 0x3000);
    EXPECT_EQ(sjis_code_to_unicode(0xB1), 0xFF71);
    EXPECT_EQ(sjis_code_to_unicode(0x817F), -1);  // no character has this code
    EXPECT_EQ(sjis_code_to_unicode(0xA0A0), -1);  // not a double-byte code at all
}

TEST(Encoding, UnicodeToCodesAgreesWithTheConverter) {
    EXPECT_EQ(unicode_to_sjis_code(0x41), 0x41);
    EXPECT_EQ(unicode_to_sjis_code(0x3042), 0x82A0);
    EXPECT_EQ(unicode_to_sjis_code(0xFF71), 0xB1);
    EXPECT_EQ(unicode_to_sjis_code(0xA5), 0x5C);   // as utf8_to_sjis writes the yen sign
    EXPECT_EQ(unicode_to_sjis_code(0x20AC), -1);   // the euro sign
    EXPECT_EQ(unicode_to_sjis_code(0xA0), -1);     // no-break space
    EXPECT_EQ(unicode_to_sjis_code(0x1F600), -1);  // beyond the Basic Multilingual Plane
    EXPECT_EQ(unicode_to_sjis_code(0x110000), -1);
}

TEST(Encoding, PartTextTakesTheWebSpacesAsMarkupAndOtherCharactersAsReferences) {
    const Conversion r = utf8_to_part_text("a\u00A0b\u2002\u2002c\u2009\u3042");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.text, "a&nbsp;b&ensp;&ensp;c&thinsp;\x82\xA0");
    // What code page 932 lacks becomes a decimal reference, also beyond the Basic Multilingual Plane; what
    // it holds converts as before (the yen sign and the wave dash to their code page 932 codes).
    const Conversion refs = utf8_to_part_text("\u2661\u2005x\u20AC\U0001F600\u00A5\u301C\u2588\t\x7F");
    ASSERT_TRUE(refs.ok);
    EXPECT_EQ(refs.text, "&#9825;&#8197;x&#8364;&#128512;\x5C\x81\x60&#9608;\t\x7F");
    EXPECT_EQ(utf8_to_part_text("").text, "");
}

TEST(Encoding, PartTextRefusesWhatNoPartCanHold) {
    const struct {
        std::string input;
        std::size_t offset;
        std::string bad;
        std::string message;
    } cases[] = {
        {std::string("ab\0c", 4), 2, std::string(1, '\0'), "the control character U+0000 at character 3"},
        {"\u00A0x\uFFFD", 3, "\uFFFD", "(U+FFFD) at character 3 stands for bytes"},
        {"\u2661\u0085", 3, "\u0085", "the control character U+0085 at character 2"},
        {"a\xE2\x99", 1, "\xE2", "byte 0xE2 at character 2 is not UTF-8"},       // cut short
        {"ab\xED\xA0\x80", 2, "\xED", "byte 0xED at character 3 is not UTF-8"},  // a surrogate
    };
    for (const auto& c : cases) {
        const Conversion bad = utf8_to_part_text(c.input);
        EXPECT_FALSE(bad.ok) << c.message;
        EXPECT_TRUE(bad.text.empty()) << c.message;
        EXPECT_EQ(bad.error_offset, c.offset) << c.message;
        EXPECT_EQ(bad.bad_char, c.bad) << c.message;
        EXPECT_NE(describe_unmappable(c.input, bad).find(c.message), std::string::npos)
            << describe_unmappable(c.input, bad);
    }
}

TEST(Encoding, PartTextPrefixEndsBetweenItems) {
    const std::string text = "A&#9825;\x82\xA0&nbsp;\r\nB";
    const std::size_t ends[] = {1, 8, 10, 16, 18, 19};  // after each item
    std::size_t expected = 0;
    for (std::size_t max = 0; max <= text.size() + 1; ++max) {
        for (const std::size_t end : ends)
            if (end <= max) expected = end;
        EXPECT_EQ(part_text_prefix(text, max), text.substr(0, expected)) << max;
    }
}

// The stored text shown in a text field: what is shown for each stored text.
TEST(Encoding, ShownPartTextShowsReferencesAsTheirCharacters) {
    const struct {
        std::string stored, shown;
    } cases[] = {
        {"A&#9825;B&#x2005Z&#X2661;&#65;&#150;", "A\u2661B\u2005Z\u2661A\u2013"},
        {"x&#128512;\r\ny\rz\nw", "x\U0001F600\ny\nz\nw"},
        // Controls, separators, U+FFFD and noncharacters stay as written; so do entities and non-references.
        // (128-159 are read as Windows-1252, as a browser does; 129 has no character there.)
        {"&#10;&#129;&#8232;&#65533;&#65535;&#0;&#xD800;&nbsp;&#;&#x",
         "&#10;&#129;&#8232;&#65533;&#65535;&#0;&#xD800;&nbsp;&#;&#x"},
        // The declaration lines are shown as written, references included.
        {"&space=&#65;\r\n&#65;", "&space=&#65;\nA"},
        // Bytes that are no character show as U+FFFD.
        {"a\x85\x40"
         "b\x82",
         "a\uFFFDb\uFFFD"},
    };
    for (const auto& c : cases) {
        const ShownPartText shown(c.stored);
        EXPECT_EQ(shown.utf8(), c.shown) << c.stored;
        // An unedited text is stored back byte for byte.
        const Conversion back = shown.store(shown.utf8());
        ASSERT_TRUE(back.ok) << c.stored;
        EXPECT_EQ(back.text, c.stored);
    }
}

// Edits: the stored bytes outside the edited stretch stay exactly as they were.
TEST(Encoding, ShownPartTextStoresOnlyTheEditedStretchAnew) {
    const struct {
        std::string stored, edited, expected;
    } cases[] = {
        // Typed characters become references; the other references keep their form.
        {"&#x2005Z&#X2661;", "\u2005ZY\u2661\u2661", "&#x2005ZY&#9825;&#X2661;"},
        {"&#x2005Z&#X2661;", "\u2661\u2005Z\u2661", "&#9825;&#x2005Z&#X2661;"},
        {"&#65;&#x2661;B", "AX\u2661B", "&#65;X&#x2661;B"},
        {"A&#9825;", "A", "A"},
        // A new line becomes CR LF; a lone CR and a lone LF that were not edited stay.
        {"A\rB\nC", "A\nBx\nC", "A\rBx\nC"},
        {"A\rB", "A\nB\n", "A\rB\r\n"},
        // A reference without ";" gets one where a digit or ";" now follows it...
        {"&#x2005\x82\xA0"
         "1",
         "\u20051", "&#x2005;1"},
        {"&#x2005\x82\xA0"
         "F",
         "\u2005F", "&#x2005;F"},
        {"&#8197\x82\xA0"
         "F",
         "\u2005F", "&#8197F"},
        {"&#8197\x82\xA0;", "\u2005;", "&#8197;;"},
        {"&#8197X", "\u20057X", "&#8197;7X"},
        // ...and a lone CR stays a line of its own before a new LF.
        {"A\rB\nC", "A\n\nC", "A\r\n\nC"},
        // Bytes that are no character are kept where they were not edited.
        {"\x85\x40"
         "AB",
         "\uFFFD"
         "A",
         "\x85\x40"
         "A"},
        {"A\xFD", "AB\uFFFD", "AB\xFD"},
        // Several edits apart: what lies between them keeps its bytes too.
        {"&#x2005Z&#X2661;&#65;", "\u2588\u2005Z\u2661A\u2661", "&#9608;&#x2005Z&#X2661;&#65;&#9825;"},
        {"&#9825;&#x2005Z&#X2661;", "\u2661Q\u2005\u2661", "&#9825;Q&#x2005&#X2661;"},
        // Declaration lines: a reference typed there is kept as written.
        {"&space=.\r\nA", "&space=.&#65;\nA", "&space=.&#65;\r\nA"},
    };
    for (const auto& c : cases) {
        const Conversion r = ShownPartText(c.stored).store(c.edited);
        ASSERT_TRUE(r.ok) << c.stored;
        EXPECT_EQ(r.text, c.expected) << c.stored;
        EXPECT_EQ(ShownPartText(r.text).utf8(), c.edited) << c.stored;  // it shows as edited
    }
    // Too many edits apart to be searched for: the stretch between the first and the last one is taken
    // anew as a whole, still showing as edited.
    std::string stored = "&#X41;", edited = "A", expected = "&#X41;&#x2661;y";
    for (int i = 0; i < 1500; ++i) {
        stored += "&#x2661;x";
        edited += "\u2661y";
        if (i > 0) expected += "&#9825;y";  // the first one is before the first edit
    }
    stored += "&#x2005";
    edited += "\u2005";
    expected += "&#x2005";
    const Conversion r = ShownPartText(stored).store(edited);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.text == expected);
}

TEST(Encoding, ShownPartTextRefusesWhatNoPartCanHold) {
    // U+FFFD typed anew, or a lead byte that ended the text and now would pair with a new character.
    const struct {
        std::string stored, edited;
        std::size_t offset;
    } cases[] = {{"AB", "A\uFFFDB", 1}, {"A&#9825;B", "A\u2661x\uFFFD", 5}, {"A\x82", "A\uFFFDB", 1}};
    for (const auto& c : cases) {
        const Conversion r = ShownPartText(c.stored).store(c.edited);
        EXPECT_FALSE(r.ok) << c.stored;
        EXPECT_EQ(r.error_offset, c.offset) << c.stored;
        EXPECT_EQ(r.bad_char, "\uFFFD");
    }
}

}  // namespace
}  // namespace glyphora
