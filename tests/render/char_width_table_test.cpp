#include "render/char_width_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

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

TEST(CodePointWidth, WholePixelsRoundedAndTheFractionMarked) {
    struct Case {
        int32_t sixty_fourths;
        int32_t pixels;
        bool fractional;
    };
    const Case cases[] = {
        {0, 0, false},  {64, 1, false},  {256, 4, false}, {171, 3, true},  // 2.672
        {341, 5, true}, {918, 14, true}, {160, 3, true},  {159, 2, true},  // 2.5 goes up
        {1, 0, true},   {63, 1, true},
    };
    for (const Case& c : cases) {
        const CodePointWidth w{c.sixty_fourths};
        EXPECT_EQ(w.pixels(), c.pixels) << c.sixty_fourths;
        EXPECT_EQ(w.fractional(), c.fractional) << c.sixty_fourths;
    }
}

TEST(MetricsFile, UnicodeEntriesForReferences) {
    auto file = std::make_unique<MetricsFile>();
    const auto r = parse_metrics(
        "line_height 18\ndefault 8\n0x20 5\n0x8140 11\n"
        "U+2005 4\nu+2006 2.667   # one sixth of 16\nU+1F600 12\nU+0041 9\nU+200a 1.0\nU+2661 14.344\n",
        *file);
    ASSERT_TRUE(r.ok) << r.line << ": " << r.message;
    auto table = std::make_unique<CharWidthTable>();
    EXPECT_EQ(table->code_point_width(0x2005).sixty_fourths, 0);  // not built: no source yet
    MetricsFileSource source(*file);
    table->build(source);
    EXPECT_EQ(table->code_point_width(0x2005).sixty_fourths, 256);
    EXPECT_FALSE(table->code_point_width(0x2005).fractional());
    EXPECT_EQ(table->code_point_width(0x200A).sixty_fourths, 64);
    const CodePointWidth sixth = table->code_point_width(0x2006);
    EXPECT_EQ(sixth.sixty_fourths, 171);
    EXPECT_EQ(sixth.pixels(), 3);
    EXPECT_TRUE(sixth.fractional());
    EXPECT_EQ(table->code_point_width(0x2661).pixels(), 14);
    EXPECT_TRUE(table->code_point_width(0x2661).fractional());
    EXPECT_EQ(table->code_point_width(0x1F600).pixels(), 12);  // beyond the Basic Multilingual Plane
    // Printable ASCII not listed is as wide as in the table; a listed one is the file's.
    EXPECT_EQ(table->code_point_width(' ').sixty_fourths, 5 * 64);
    EXPECT_EQ(table->code_point_width('.').sixty_fourths, 8 * 64);
    EXPECT_EQ(table->code_point_width('A').sixty_fourths, 9 * 64);
    // Anything else is the default.
    EXPECT_EQ(table->code_point_width(0x3000).sixty_fourths, 8 * 64);
    EXPECT_EQ(table->code_point_width(0x10FFFF).sixty_fourths, 8 * 64);
}

TEST(MetricsFile, UnicodeEntryErrorsNameTheLine) {
    struct Case {
        const char* entry;
        const char* says;
    };
    const Case cases[] = {
        {"U+ 4", "is not a Unicode code point"},
        {"U+0 4", "is not a Unicode code point"},
        {"U+D800 4", "is not a Unicode code point"},
        {"U+110000 4", "is not a Unicode code point"},
        {"U+100000000000000002005 4", "is not a Unicode code point"},
        {"U+20G5 4", "is not a Unicode code point"},
        {"U+-2005 4", "is not a Unicode code point"},
        {"U+2005", "expected a key and a value"},
        {"U+2005 -1", "is not a width"},
        {"U+2005 .5", "is not a width"},
        {"U+2005 2,5", "is not a width"},
        {"U+2005 1e3", "is not a width"},
        {"U+2005 0x10", "is not a width"},
        {"U+2005 10000.5", "is not a width"},
        {"U+2005 4 5", "is not a width"},
    };
    for (const Case& c : cases) {
        auto file = std::make_unique<MetricsFile>();
        const auto r =
            parse_metrics("line_height 18\n# widths\n\n" + std::string(c.entry) + "\nU+2006 2\n", *file);
        EXPECT_FALSE(r.ok) << c.entry;
        EXPECT_EQ(r.line, 4) << c.entry;
        EXPECT_NE(r.message.find(c.says), std::string::npos) << c.entry << ": " << r.message;
    }
    auto file = std::make_unique<MetricsFile>();
    ASSERT_TRUE(parse_metrics("U+2005 0\nU+10FFFF 10000\nU+E000 3.\nline_height 18\n", *file).ok);
    EXPECT_EQ(file->code_point_64ths.at(0x2005), 0);
    EXPECT_EQ(file->code_point_64ths.at(0x10FFFF), 640000);
    EXPECT_EQ(file->code_point_64ths.at(0xE000), 192);
}

// Counts what it is asked, and notices when two threads ask at once.
class CountingCodePoints : public CodePointMetricsSource {
  public:
    std::atomic<int> calls{0};
    std::atomic<int> in_flight{0};
    std::atomic<bool> overlapped{false};
    int32_t advance_64ths(char32_t code_point) override {
        if (in_flight.fetch_add(1) != 0) overlapped = true;
        ++calls;
        std::this_thread::yield();
        in_flight.fetch_sub(1);
        return static_cast<int32_t>(code_point % 1000) + 1;
    }
};

class SourceWithCodePoints : public CountingSource {
  public:
    std::shared_ptr<CountingCodePoints> code_point_source = std::make_shared<CountingCodePoints>();
    std::shared_ptr<CodePointMetricsSource> code_points() override { return code_point_source; }
};

TEST(CharWidthTable, CodePointsAreMeasuredOnceAndAsciiIsTheTables) {
    auto table = std::make_unique<CharWidthTable>();
    SourceWithCodePoints source;
    table->build(source);
    CountingCodePoints& counted = *source.code_point_source;
    EXPECT_EQ(counted.calls, 0);  // building measures none of them
    EXPECT_EQ(table->code_point_width(0x2005).sixty_fourths, 0x2005 % 1000 + 1);
    EXPECT_EQ(table->code_point_width(0x2005).sixty_fourths, 0x2005 % 1000 + 1);
    EXPECT_EQ(table->code_point_width(0x1F600).sixty_fourths, 0x1F600 % 1000 + 1);
    EXPECT_EQ(table->code_point_width(0x1F600).sixty_fourths, 0x1F600 % 1000 + 1);
    EXPECT_EQ(counted.calls, 2);
    for (char32_t c = 0x20; c < 0x7F; ++c)
        EXPECT_EQ(table->code_point_width(c).sixty_fourths, table->width(static_cast<int>(c)) * 64)
            << static_cast<uint32_t>(c);
    EXPECT_EQ(counted.calls, 2);
    EXPECT_EQ(table->code_point_width(0x7F).sixty_fourths, 0x7F + 1);

    // Another source: what was measured is forgotten.
    auto other = std::make_shared<CountingCodePoints>();
    table->set_code_point_source(other);
    table->code_point_width(0x2005);
    EXPECT_EQ(other->calls, 1);
    table->set_code_point_source(nullptr);
    EXPECT_EQ(table->code_point_width(0x2005).sixty_fourths, 0);
}

TEST(CharWidthTable, CodePointCacheFromTwoThreadsAtOnce) {
    auto table = std::make_unique<CharWidthTable>();
    SourceWithCodePoints source;
    table->build(source);
    std::vector<char32_t> code_points;
    for (char32_t c = 0x2000; c < 0x2400; ++c) code_points.push_back(c);
    for (char32_t c = 0x1F000; c < 0x1F100; ++c) code_points.push_back(c);
    std::atomic<int> wrong{0};
    auto ask = [&](bool backwards) {
        for (int round = 0; round < 3; ++round)
            for (std::size_t i = 0; i < code_points.size(); ++i) {
                const char32_t c = code_points[backwards ? code_points.size() - 1 - i : i];
                if (table->code_point_width(c).sixty_fourths != static_cast<int32_t>(c % 1000) + 1) ++wrong;
            }
    };
    std::thread a(ask, false), b(ask, true);
    a.join();
    b.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(source.code_point_source->calls, static_cast<int>(code_points.size()));  // each once
    EXPECT_FALSE(source.code_point_source->overlapped);
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
