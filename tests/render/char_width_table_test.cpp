#include "render/char_width_table.h"

#include <gtest/gtest.h>

#include <memory>

namespace glyphora {
namespace {

class CountingSource : public GlyphMetricsSource {
  public:
    int calls = 0;
    AbcWidth measure(int code) override {
        ++calls;
        // Distinct, code-dependent ABC values, with a negative A and C, to check the sum.
        return AbcWidth{-1, static_cast<uint32_t>(code % 7 + 3), 1};
    }
    int text_height() override { return 16; }
};

TEST(CharWidthTable, EntriesCoverBothRangesInOrder) {
    auto table = std::make_unique<CharWidthTable>();
    CountingSource source;
    table->build(source);
    EXPECT_EQ(table->count, 31902);
    EXPECT_EQ(source.calls, 31902);
    EXPECT_EQ(table->codes[0], 32);
    EXPECT_EQ(table->codes[222], 254);
    EXPECT_EQ(table->codes[223], 0x8140);
    EXPECT_EQ(table->codes[31901], 0xFCFE);
    EXPECT_EQ(table->line_height, 18);
    for (int i = 1; i < table->count; ++i) ASSERT_LT(table->codes[i - 1], table->codes[i]);
}

TEST(CharWidthTable, WidthIsSumOfAbcAndZeroOutsideTheTable) {
    auto table = std::make_unique<CharWidthTable>();
    EXPECT_EQ(table->width(0x20), 0);  // not built yet
    CountingSource source;
    table->build(source);
    EXPECT_EQ(table->width(32), 32 % 7 + 3);
    EXPECT_EQ(table->width(0xFCFE), 0xFCFE % 7 + 3);
    EXPECT_EQ(table->width(0x817F), 0x817F % 7 + 3);  // the entry exists though no character has that code
    EXPECT_EQ(table->width(0xA0A0), 0xA0A0 % 7 + 3);
    for (int code : {0, 31, 255, 256, 0x8000, 0x813F, 0xFCFF, 0xFFFF, -1, 70000})
        EXPECT_EQ(table->width(code), 0) << code;
}

TEST(CharWidthTable, BuildsOnlyOnce) {
    auto table = std::make_unique<CharWidthTable>();
    CountingSource source;
    table->build(source);
    const int w = table->width('A');
    struct Other : GlyphMetricsSource {
        AbcWidth measure(int) override { return {0, 99, 0}; }
        int text_height() override { return 40; }
    } other;
    table->build(other);  // a later font change must not move anything
    EXPECT_EQ(table->width('A'), w);
    EXPECT_EQ(table->line_height, 18);
}

TEST(MetricsFile, ExampleWidths) {
    auto file = std::make_unique<MetricsFile>();
    const auto r = load_metrics_file(std::string(GLYPHORA_TEST_DATA) + "/test_metrics.txt", *file);
    ASSERT_TRUE(r.ok) << r.message;
    auto table = std::make_unique<CharWidthTable>();
    MetricsFileSource source(*file);
    table->build(source);
    EXPECT_EQ(table->line_height, 18);
    EXPECT_EQ(table->width('A'), 8);
    EXPECT_EQ(table->width('Z'), 8);
    EXPECT_EQ(table->width(' '), 5);
    EXPECT_EQ(table->width('.'), 3);
    EXPECT_EQ(table->width(0x8140), 11);
    EXPECT_EQ(table->width(0x31), 8);
}

TEST(MetricsFile, NumbersCommentsAndDefaults) {
    auto file = std::make_unique<MetricsFile>();
    const auto r = parse_metrics(
        "  # heading\nline_height 20\r\n33024 12   # 0x8100 is outside\n"
        "0x8141\t7\n65 0\n",
        *file);
    // 33024 = 0x8100 lies between the two ranges.
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.line, 3);

    file = std::make_unique<MetricsFile>();
    ASSERT_TRUE(parse_metrics("line_height 20\n0x8141\t7\n65 0\n", *file).ok);
    auto table = std::make_unique<CharWidthTable>();
    MetricsFileSource source(*file);
    table->build(source);
    EXPECT_EQ(table->width(0x8141), 7);
    EXPECT_EQ(table->width('A'), 0);
    EXPECT_EQ(table->width('B'), 0);  // no default: 0
    EXPECT_EQ(table->line_height, 20);
}

TEST(MetricsFile, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        int line;
    };
    const Case cases[] = {
        {"line_height 18\nfoo 3\n", 2},
        {"line_height 18\n0x20\n", 2},
        {"line_height 18\n0x20 five\n", 2},
        {"line_height 0\n", 1},  // would divide by zero in the renderer
        {"line_height 18\n0x20 -4\n", 2},
        {"line_height 18\n0xZZ 4\n", 2},
        {"0x20 5\n", 1},  // no line height at all
        {"line_height 99999999999999999999999\n", 1},
    };
    for (const auto& c : cases) {
        auto file = std::make_unique<MetricsFile>();
        const auto r = parse_metrics(c.text, *file);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.line, c.line) << c.text;
        EXPECT_FALSE(r.message.empty());
    }
    auto file = std::make_unique<MetricsFile>();
    EXPECT_FALSE(load_metrics_file("/nonexistent/metrics.txt", *file).ok);
}

}  // namespace
}  // namespace glyphora
