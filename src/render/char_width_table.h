#pragma once
// The advance width of every character code of the rendering font and the height of a text line.
// Measured once per run; never rebuilt, so later font changes do not move anything already composed.

#include <cstdint>
#include <string>
#include <string_view>

namespace glyphora {

struct AbcWidth {
    int32_t a = 0;   // space before the glyph
    uint32_t b = 0;  // the glyph's own width
    int32_t c = 0;   // space after the glyph
};

// Where build() gets its measurements from: the font layer, or a metrics file.
class GlyphMetricsSource {
  public:
    virtual ~GlyphMetricsSource() = default;
    virtual AbcWidth measure(int code) = 0;
    virtual int text_height() = 0;
};

struct CharWidthTable {
    static constexpr int kCapacity = 32768;
    static constexpr int kSingleFirst = 32;
    static constexpr int kSingleLast = 254;
    static constexpr int kDoubleFirst = 0x8140;
    static constexpr int kDoubleLast = 0xFCFE;
    static constexpr int kSingleCount = kSingleLast - kSingleFirst + 1;                // 223
    static constexpr int kEntryCount = kSingleCount + kDoubleLast - kDoubleFirst + 1;  // 31902

    int32_t codes[kCapacity] = {};
    AbcWidth widths[kCapacity] = {};
    int32_t count = 0;
    bool built = false;
    int32_t line_height = 0;

    // Measures every code once; does nothing when already built.
    void build(GlyphMetricsSource& source);

    // Advance width in pixels; 0 before build() and for codes outside the table.
    int32_t width(int code) const {
        const int i = index_of(code);
        if (!built || i < 0) return 0;
        const AbcWidth& w = widths[i];
        return static_cast<int32_t>(static_cast<uint32_t>(w.a) + w.b + static_cast<uint32_t>(w.c));
    }

    // The entry of a code. The codes are consecutive within each range, so the entry is found directly
    // instead of by bisection; the result is the same.
    static int index_of(int code) {
        if (code >= kSingleFirst && code <= kSingleLast) return code - kSingleFirst;
        if (code >= kDoubleFirst && code <= kDoubleLast) return kSingleCount + (code - kDoubleFirst);
        return -1;
    }
};

// A metrics file: lines "line_height N", "default W" and "CODE W" (CODE in hex with 0x or decimal,
// lead * 256 + trail for a double-byte character); '#' starts a comment. Used by tests and the CLI in place
// of a font.
struct MetricsFile {
    int line_height = 0;
    int default_width = 0;
    bool has_line_height = false;
    // Width per table entry; -1 where the file gave none (the default applies).
    int32_t widths[CharWidthTable::kCapacity];
    MetricsFile();
};

struct MetricsParseResult {
    bool ok = false;
    int line = 0;         // 1-based line of the first error
    std::string message;  // what is wrong there
};

MetricsParseResult parse_metrics(std::string_view content, MetricsFile& out);
MetricsParseResult load_metrics_file(const std::string& path, MetricsFile& out);

class MetricsFileSource : public GlyphMetricsSource {
  public:
    explicit MetricsFileSource(const MetricsFile& file) : file_(file) {}
    AbcWidth measure(int code) override;
    int text_height() override { return file_.line_height - 2; }

  private:
    const MetricsFile& file_;
};

}  // namespace glyphora
