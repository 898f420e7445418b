#pragma once
// The advance width of every character code of the rendering font and the height of a text line.
// Measured once per run; never rebuilt, so later font changes do not move anything already composed.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace glyphora {

struct AbcWidth {
    int32_t a = 0;   // space before the glyph
    uint32_t b = 0;  // the glyph's own width
    int32_t c = 0;   // space after the glyph
};

// The widths of characters written as numeric references ("&#x2005;"), most of them beyond code page 932.
// Asked once per code point, when a text first holds it, from any thread but never from two at once.
class CodePointMetricsSource {
  public:
    virtual ~CodePointMetricsSource() = default;
    // The advance in 1/64 pixel, as a browser lays the character out (no hinting, the rendering font or the
    // font that stands in for it).
    virtual int32_t advance_64ths(char32_t code_point) = 0;
    // The Shift_JIS code of a code point that code page 932 holds, else -1: such a character is exactly as
    // wide as in the table.
    virtual int sjis_code(char32_t code_point) {
        return code_point >= 0x20 && code_point < 0x7F ? static_cast<int>(code_point) : -1;
    }
};

// Where build() gets its measurements from: the font layer, or a metrics file.
class GlyphMetricsSource {
  public:
    virtual ~GlyphMetricsSource() = default;
    virtual AbcWidth measure(int code) = 0;
    virtual int text_height() = 0;
    // What measures the characters written as references; kept by the table for as long as it lives.
    virtual std::shared_ptr<CodePointMetricsSource> code_points() { return nullptr; }
};

// The width of a character written as a reference. Widths stay whole pixels on the page; a character
// whose advance is a fraction of a pixel is measured rounded and said to be fractional, so that the fill
// never counts on it.
struct CodePointWidth {
    int32_t sixty_fourths = 0;
    int32_t pixels() const { return (sixty_fourths + 32) >> 6; }
    bool fractional() const { return (sixty_fourths & 63) != 0; }
};

class CodePointCache;

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

    // The width of a code point written as a reference, measured the first time it is asked for and kept.
    // Thread-safe. 0 while the table has no source for them (before build()).
    CodePointWidth code_point_width(char32_t code_point) const;
    // Replaces what measures code points (build() takes the source's own); forgets what was measured.
    void set_code_point_source(std::shared_ptr<CodePointMetricsSource> source);

    // The entry of a code. The codes are consecutive within each range, so the entry is found directly
    // instead of by bisection; the result is the same.
    static int index_of(int code) {
        if (code >= kSingleFirst && code <= kSingleLast) return code - kSingleFirst;
        if (code >= kDoubleFirst && code <= kDoubleLast) return kSingleCount + (code - kDoubleFirst);
        return -1;
    }

  private:
    std::shared_ptr<CodePointCache> code_points_;
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
    // "U+2005 4", "U+2006 2.667": widths of characters written as references, in 1/64 pixel. A code point
    // not listed is as wide as its table entry when it is printable ASCII, else default.
    std::map<char32_t, int32_t> code_point_64ths;
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
    std::shared_ptr<CodePointMetricsSource> code_points() override;

  private:
    const MetricsFile& file_;
};

}  // namespace glyphora
