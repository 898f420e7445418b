#include "system/font_metrics.h"

#include <gtest/gtest.h>

#include <memory>

#include "gtest_support/test_support.h"

namespace glyphora {
namespace {

TEST(FontMetrics, PixelSizeAt96Dpi) {
    EXPECT_EQ(pixel_size_for(120), 16);
    EXPECT_EQ(pixel_size_for(90), 12);
    EXPECT_EQ(pixel_size_for(0), 1);
}

TEST(FontMetrics, UnknownFaceFallsBackToMonapo) {
    const ResolvedFont font = resolve_font("No Such Face 12345");
    ASSERT_FALSE(font.file.empty()) << "Monapo (fonts-monapo) is not installed";
    EXPECT_TRUE(font.fell_back);
    EXPECT_EQ(font.family, "Monapo");
}

TEST(FontMetrics, DefaultSettingsGiveTheClassicWidths) {
    auto table = std::make_unique<CharWidthTable>();
    std::string error;
    // The default face, as the settings file stores it: "ＭＳ Ｐゴシック" in Shift_JIS.
    const std::string face = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";
    ASSERT_TRUE(build_width_table_from_font(*table, face, 120, error)) << error;
    EXPECT_EQ(table->width(0x20), 5);
    EXPECT_EQ(table->width(0x8140), 11);
    EXPECT_EQ(table->width('.'), 3);
    EXPECT_EQ(table->line_height, 18);
    EXPECT_EQ(table->width(0x817F), 0);  // code page 932 has no character there
    EXPECT_GT(table->width(0x82A0), 0);  // hiragana a
}

// The widths of references as Chromium lays them out in Monapo at 16 px: the spaces Monapo lacks at the
// widths the browser's shaper gives them (a fraction of the em, a digit, "."), other characters from the
// font fontconfig falls back to.
TEST(FontMetrics, CodePointsAsTheBrowserMeasuresThem) {
    const ResolvedFont monapo = resolve_font("Monapo");
    if (monapo.file.empty() || monapo.fell_back) GLYPHORA_SKIP_UNLESS_CI << "Monapo is not installed";
    auto table = std::make_unique<CharWidthTable>();
    std::string error;
    ASSERT_TRUE(build_width_table_from_font(*table, "Monapo", 120, error)) << error;
    struct Case {
        char32_t code_point;
        int32_t sixty_fourths;
    };
    const Case cases[] = {
        {0x200A, 64},      // hair space: 1/16 em
        {0x2009, 128},     // thin space: Monapo's own, 2
        {0x2008, 3 * 64},  // punctuation space: as wide as "."
        {0x2005, 256},     // four-per-em: 4
        {0x2002, 512},     // en space: Monapo's own, 8
        {0x2007, 8 * 64},  // figure space: as wide as "0"
        {0x2003, 1024},    // em space
        {0x2006, 171},     // six-per-em: 2.667
        {0x2004, 341},     // three-per-em: 5.333
        {0x2000, 512},     // en quad: as the en space
        {0x205F, 228},     // 4/18 em
        {0x00A0, 5 * 64},  // no-break space: as the space
        {0x202F, 5 * 32},  // narrow no-break space: half the space
    };
    for (const Case& c : cases)
        EXPECT_EQ(table->code_point_width(c.code_point).sixty_fourths, c.sixty_fourths)
            << std::hex << static_cast<uint32_t>(c.code_point);
    EXPECT_EQ(table->code_point_width(0x2005).pixels(), 4);
    EXPECT_FALSE(table->code_point_width(0x2005).fractional());
    EXPECT_EQ(table->code_point_width(0x200A).pixels(), 1);
    EXPECT_FALSE(table->code_point_width(0x200A).fractional());
    EXPECT_EQ(table->code_point_width(0x2006).pixels(), 3);
    EXPECT_TRUE(table->code_point_width(0x2006).fractional());

    // Characters of code page 932 are the table's, whatever the font would say unhinted.
    EXPECT_EQ(table->code_point_width('A').sixty_fourths, table->width('A') * 64);
    EXPECT_EQ(table->code_point_width(0x3000).sixty_fourths, 11 * 64);
    EXPECT_EQ(table->code_point_width(0x3042).sixty_fourths, table->width(0x82A0) * 64);  // hiragana a

    // U+2661 is not in Monapo: the font fontconfig falls back to draws and measures it.
    const std::string fallback = fallback_font_file(monapo, 0x2661);
    if (fallback.empty()) GLYPHORA_SKIP_UNLESS_CI << "no installed font has U+2661";
    EXPECT_NE(fallback, monapo.file);
    const CodePointWidth heart = table->code_point_width(0x2661);
    EXPECT_NE(heart.sixty_fourths, 0);
    if (fallback.ends_with("/DejaVuSans.ttf")) {
        EXPECT_EQ(heart.sixty_fourths, 918);  // 14.344
        EXPECT_EQ(heart.pixels(), 14);
        EXPECT_TRUE(heart.fractional());
    }
    EXPECT_EQ(fallback_font_file(monapo, 'A'), monapo.file);
}

TEST(FontMetrics, OnlyCharactersThatComeBackAreTheTables) {
    const ResolvedFont monapo = resolve_font("Monapo");
    if (monapo.file.empty() || monapo.fell_back) GLYPHORA_SKIP_UNLESS_CI << "Monapo is not installed";
    std::string error;
    const auto metrics = FontMetrics::open(monapo, 16, error);
    ASSERT_TRUE(metrics) << error;
    const auto code_points = metrics->code_points();
    EXPECT_EQ(code_points->sjis_code('A'), 'A');
    EXPECT_EQ(code_points->sjis_code(0x3000), 0x8140);
    // Shift_JIS writes U+00A5 as 0x5C, but 0x5C reads back as the backslash.
    EXPECT_EQ(code_points->sjis_code(0xA5), -1);
    EXPECT_EQ(code_points->sjis_code(0x2661), -1);
    EXPECT_EQ(code_points->sjis_code(0x2005), -1);
}

}  // namespace
}  // namespace glyphora
