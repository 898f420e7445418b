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

TEST(Encoding, PartTextTakesTheWebSpacesAsMarkup) {
    const Conversion r = utf8_to_part_text("a\u00A0b\u2002\u2002c\u2009\u3042");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.text, "a&nbsp;b&ensp;&ensp;c&thinsp;\x82\xA0");
    // Any other character code page 932 lacks fails, named by its place in the input as given.
    const std::string input = "\u00A0x\u20AC";
    const Conversion bad = utf8_to_part_text(input);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.error_offset, 3u);
    EXPECT_EQ(bad.bad_char, "\u20AC");
    EXPECT_NE(describe_unmappable(input, bad).find("character 3"), std::string::npos);
}

}  // namespace
}  // namespace glyphora
