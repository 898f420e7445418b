#include "exchange/aa_text.h"

#include <gtest/gtest.h>

#include "render/part_markup.h"

namespace glyphora {
namespace {

const std::string kA = "\x82\xA0";  // "あ" in Shift_JIS

TEST(AaText, DetectsTheEncodingAndConvertsToShiftJis) {
    // Shift_JIS stays as it is, even where a byte pair would look like UTF-8 to a lax check.
    const std::string sjis = "\x81\x69\x81\x4C\x81\x45\x83\xD6\x81\x45\x81\x4D\x81\x6A\xB1";  // （´・ω・｀）ｱ
    DecodedText d = decode_aa_text(sjis);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.report.encoding, TextEncoding::sjis);
    EXPECT_EQ(d.text, sjis);

    d = decode_aa_text("\xE3\x81\x82 A");
    EXPECT_EQ(d.report.encoding, TextEncoding::utf8);
    EXPECT_EQ(d.text, kA + " A");

    d = decode_aa_text("\xEF\xBB\xBF\xE3\x81\x82");
    EXPECT_EQ(d.report.encoding, TextEncoding::utf8_bom);
    EXPECT_EQ(d.text, kA);  // the BOM is no part of the text

    // ASCII alone reads the same either way; it is taken as Shift_JIS.
    EXPECT_EQ(decode_aa_text("plain ascii").report.encoding, TextEncoding::sjis);
    // A lone byte above 0x7F (or an overlong form) makes a file Shift_JIS.
    EXPECT_EQ(detect_encoding("\xE3\x81\x82\xB1"), TextEncoding::sjis);
    EXPECT_EQ(detect_encoding("\xC0\xAF"), TextEncoding::sjis);
    EXPECT_EQ(detect_encoding("\xED\xA0\x80"), TextEncoding::sjis);  // a surrogate
}

TEST(AaText, LineEndsBecomeCrLf) {
    EXPECT_EQ(decode_aa_text("a\nb\r\nc\rd\r\r\n").text, "a\r\nb\r\nc\r\nd\r\n\r\n");
    EXPECT_EQ(decode_aa_text("\xE3\x81\x82\n\xE3\x81\x82\r").text, kA + "\r\n" + kA + "\r\n");
}

TEST(AaText, RefusesUtf16AndBrokenUtf8AfterABom) {
    EXPECT_FALSE(decode_aa_text(std::string("\xFF\xFE"
                                            "a\0",
                                            4))
                     .ok);
    const DecodedText d = decode_aa_text(
        "\xEF\xBB\xBF"
        "ok\r\nok\n\xE3\x81 x");
    EXPECT_FALSE(d.ok);
    EXPECT_NE(d.error.find("0xE3 on line 3"), std::string::npos) << d.error;
}

TEST(AaText, ReferencesBecomeTheirCharacters) {
    const DecodedText d = decode_aa_text("&#12354;&#x3042;&#X3042;&#65;&#x00041;");
    EXPECT_EQ(d.text, kA + kA + kA + "AA");
    EXPECT_EQ(d.report.references_converted, 5u);
    EXPECT_EQ(d.report.unconvertible_count, 0u);
    // In a UTF-8 file too; "&#38;" is the ampersand, written as the byte markup where it would start markup.
    EXPECT_EQ(decode_aa_text("\xE3\x81\x82&#12354;&#38;x&#38;nbsp;").text, kA + kA + "&x&=26;nbsp;");
}

TEST(AaText, UnconvertibleCharactersStayAsReferencesAndAreReported) {
    // Line 2: a reference; line 3: the character itself in UTF-8 (U+1F600 and the euro sign).
    const DecodedText d = decode_aa_text("a\n&#x1F600;b\r\n\xF0\x9F\x98\x80\xE2\x82\xAC");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.text, "a\r\n&#x1F600;b\r\n&#128512;&#8364;");
    EXPECT_EQ(d.report.unconvertible_count, 3u);
    ASSERT_EQ(d.report.unconvertible.size(), 3u);
    EXPECT_EQ(d.report.unconvertible[0], (UnconvertibleChar{2, 0x1F600, "&#x1F600;", true}));
    EXPECT_EQ(d.report.unconvertible[1], (UnconvertibleChar{3, 0x1F600, "&#128512;", false}));
    EXPECT_EQ(d.report.unconvertible[2], (UnconvertibleChar{3, 0x20AC, "&#8364;", false}));
    const std::string told = describe_decode_report(d.report);
    EXPECT_NE(told.find("3 character(s)"), std::string::npos) << told;
    EXPECT_NE(told.find("U+20AC &#8364; on line 3"), std::string::npos) << told;

    // Past the first few they are counted, not listed.
    std::string many;
    for (int i = 0; i < 8; ++i) many += "&#9731;\n";
    const DecodedText m = decode_aa_text(many);
    EXPECT_EQ(m.report.unconvertible_count, 8u);
    ASSERT_EQ(m.report.unconvertible.size(), kListedUnconvertible);
    EXPECT_EQ(m.report.unconvertible[4].line, 5);
}

TEST(AaText, MalformedReferencesStayByteForByte) {
    const std::string odd =
        "&#;&#x;&#x110000;&#xD800;&#0;&#10;&#12354&#x3042 &#00000012354;&#x0003042;&#-1;&#12a;&&#";
    const DecodedText d = decode_aa_text(odd);
    EXPECT_EQ(d.text, odd);
    EXPECT_EQ(d.report.references_converted, 0u);
    EXPECT_EQ(d.report.unconvertible_count, 0u);
}

TEST(AaText, WebSpacesBecomeTheSpaceMarkup) {
    // As UTF-8 characters and as references, decimal and hex.
    const DecodedText d = decode_aa_text("\xC2\xA0\xE2\x80\x82\xE2\x80\x89|&#160;&#xA0;&#8194;&#x2009;");
    EXPECT_EQ(d.text, "&nbsp;&ensp;&thinsp;|&nbsp;&nbsp;&ensp;&thinsp;");
    EXPECT_EQ(d.report.web_space_characters, 3u);
    EXPECT_EQ(d.report.references_converted, 4u);
    // What the renderer reads them as.
    EXPECT_EQ(match_markup("&nbsp;", 0).kind, MarkupKind::nbsp);
    EXPECT_EQ(match_markup("&ensp;", 0).kind, MarkupKind::ensp);
    EXPECT_EQ(match_markup("&thinsp;", 0).kind, MarkupKind::thinsp);
}

TEST(AaText, NulBytesAreLeftOutAndCounted) {
    const DecodedText d = decode_aa_text(std::string("a\0b\0", 4));
    EXPECT_EQ(d.text, "ab");
    EXPECT_EQ(d.report.nul_bytes_dropped, 2u);
    EXPECT_NE(describe_decode_report(d.report).find("2 NUL"), std::string::npos);
    EXPECT_EQ(describe_decode_report(decode_aa_text("plain").report), "");
}

}  // namespace
}  // namespace glyphora
