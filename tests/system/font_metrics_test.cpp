#include "system/font_metrics.h"

#include <gtest/gtest.h>

#include <memory>

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

}  // namespace
}  // namespace glyphora
