#pragma once
// The exact-alignment fill (the experimental option renderexactfill). Instead of writing each blank run as
// it comes, a line is planned as a whole: every run may be written a few pixels wider or narrower than it
// is, so that a run that cannot be written at its own width shifts the shorter stretch of characters
// beside it and the next run takes the shift back. The fills follow what a browser does with the page in
// Monapo 16 px: each item has a whole-pixel width that never accumulates rounding, and a half-width space
// vanishes at the start of a line and right after another collapsible blank.
//
// A line plan minimises, in this order: the characters that stand off their composed x, the sum over all
// characters of their distance from it, the dots written, and the bytes written.
//
// With renderunicodefill the fills may also use the Unicode spaces the rendering font gives a whole-pixel
// width (U+200A is 1 pixel in Monapo, U+2008 3), written as decimal references, but only for a width the
// classic items cannot fill: each fill first uses the fewest references. Such a plan also counts the
// fractions of a pixel that characters like "&#x2006;" leave (LineCell::fraction64): a character stands at
// its x when the browser puts it within half a pixel of it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "render/char_width_table.h"
#include "render/gap_fill.h"
#include "render/render_line.h"
#include "render/text_buffer.h"

namespace glyphora {

// The space items of a fill. Values from kFillTokenKinds on are the Unicode spaces of a FillItems.
enum class FillToken : uint8_t {
    full_space,  // "　" 11 px, 2 bytes
    half_space,  // " " 5 px, 1 byte; collapsible
    nbsp,        // "&nbsp;" 5 px, 6 bytes
    ensp,        // "&ensp;" 8 px, 6 bytes
    thinsp,      // "&thinsp;" 2 px, 8 bytes
    dot,         // "." 3 px, 1 byte; visible, so only with renderdotflag
};
constexpr int kFillTokenKinds = 6;

struct FillTokenInfo {
    int width;
    int bytes;
    std::string_view text;
    char32_t code_point;  // the Unicode space written as a reference, 0 for the classic items
};
// The classic items only.
const FillTokenInfo& fill_token_info(FillToken token);

// What stands beside a fill, as far as the browser's collapsing of half-width spaces goes.
enum class FillEdge : uint8_t {
    text,        // a character, "　", an entity or a dot: a half-width space beside it stays
    half_space,  // a collapsible blank: a half-width space beside it vanishes
    line_start,  // (before a fill only) the start of a line, where a half-width space vanishes too
};

// Collapsible white space of HTML, which swallows a half-width space beside it.
constexpr bool collapses_with_space(int32_t code) {
    return code == 0x20 || code == 0x09 || code == 0x0A || code == 0x0C || code == 0x0D;
}

// The widest fill of at most kMaxTokens items.
constexpr int kMaxFillWidth = kMaxTokens * 11;

// The cheapest exact fill of a width: fewest references, then fewest dots, then fewest bytes, then fewest
// items.
struct FillCost {
    bool reachable = false;  // there is an exact fill of at most kMaxTokens items
    int refs = 0;            // Unicode spaces
    int dots = 0;
    int bytes = 0;
    int count = 0;
};

struct FillTokens {
    int count = 0;
    FillToken tokens[kMaxTokens];
};

// The items fills are made of, with tables of the cheapest exact fill of every width up to kMaxFillWidth
// (about 0.75 MB each), built once: the classic items, or those and the Unicode spaces of one font.
class FillItems {
  public:
    // The classic items; built on first use.
    static const FillItems& classic();
    // The classic items and each Unicode space (is_unicode_space) whose width in `widths` is a whole
    // number of pixels. Shared by every caller whose table gives the same widths.
    static std::shared_ptr<const FillItems> with_unicode_spaces(const CharWidthTable& widths);

    // The classic items and the given Unicode spaces (code point and width in pixels); of several of one
    // width only the one written in the fewest bytes is kept, and widths outside 1 to kMaxFillWidth are
    // left out. Plans with these items count the fractions of a pixel, even when no space is left.
    struct Space {
        char32_t code_point;
        int width;
        friend bool operator==(const Space&, const Space&) = default;
    };
    explicit FillItems(const std::vector<Space>& unicode_spaces);
    ~FillItems();
    FillItems(const FillItems&) = delete;
    FillItems& operator=(const FillItems&) = delete;

    int kinds() const { return static_cast<int>(tokens_.size()); }
    const FillTokenInfo& info(FillToken token) const { return tokens_[static_cast<std::size_t>(token)]; }
    bool unicode() const { return unicode_; }

    // Width 0 is the empty fill. With the classic items 1 pixel is never reachable, 3 only with dots.
    // `after` is never line_start.
    FillCost cost(int64_t width, FillEdge before, FillEdge after, bool dots) const;
    // The items of that fill, left to right; false and no items when the width is not reachable.
    bool fill(int64_t width, FillEdge before, FillEdge after, bool dots, FillTokens& out) const;

    class Table;
    const Table& table() const { return *table_; }

  private:
    FillItems();

    bool unicode_ = false;
    std::vector<FillTokenInfo> tokens_;
    std::vector<std::unique_ptr<std::string>> texts_;  // where the Unicode items' references are kept
    std::unique_ptr<Table> table_;
};

// The fills of the classic items.
FillCost exact_fill_cost(int64_t width, FillEdge before, FillEdge after, bool dots);
bool exact_fill(int64_t width, FillEdge before, FillEdge after, bool dots, FillTokens& out);

// How far, in pixels either way, a plan lets a stretch of characters stand off its composed x.
constexpr int kMaxPlanDrift = 12;

// Writes one line's cells (after fill_gaps and merge_blanks, so blanks never stand side by side and the
// line ends in a character) with planned fills of `items`; the line's leading full-width space is already
// written. Records ErrorKind::inexact_blank when some character after a blank could not be kept at its x,
// and ErrorKind::too_many_blanks for a run no kMaxTokens items can fill: it writes nothing, as the classic
// fill does, and the plan goes on from where the text then stands. Fractions of a pixel count only with
// items.unicode().
void write_line_exact(TextBuffer& out, const LineCell* cells, int count, bool dots, int32_t line_number,
                      const FillItems& items = FillItems::classic());

}  // namespace glyphora
