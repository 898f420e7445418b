#pragma once
// The exact-alignment fill (the experimental option renderexactfill). Instead of writing each blank run as
// it comes, a line is planned as a whole: every run may be written a few pixels wider or narrower than it
// is, so that a run that cannot be written at its own width shifts the shorter stretch of characters
// beside it and the next run takes the shift back. The fills follow what a browser does with the page in
// Monapo 16 px: each item has a whole-pixel width that never accumulates rounding, and a half-width space
// vanishes at the start of a line and right after another collapsible blank.
//
// A line plan minimises, in this order: the characters that stand off their composed x, the sum over all
// characters of their distance from it (in pixels), the dots written, and the bytes written.

#include <cstdint>
#include <string_view>

#include "render/gap_fill.h"
#include "render/render_line.h"
#include "render/text_buffer.h"

namespace glyphora {

// The space items of a fill.
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
};
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

// The cheapest exact fill of a width: fewest dots, then fewest bytes, then fewest items.
struct FillCost {
    bool reachable = false;  // there is an exact fill of at most kMaxTokens items
    int dots = 0;
    int bytes = 0;
    int count = 0;
};

struct FillTokens {
    int count = 0;
    FillToken tokens[kMaxTokens];
};

// Exact fills, looked up in tables built once (about 0.7 MB of static storage, no allocation). Width 0 is
// the empty fill; 1 pixel is never reachable, 3 only with dots. `after` is never line_start.
FillCost exact_fill_cost(int64_t width, FillEdge before, FillEdge after, bool dots);
// The items of that fill, left to right; false and no items when the width is not reachable.
bool exact_fill(int64_t width, FillEdge before, FillEdge after, bool dots, FillTokens& out);

// How far, in pixels either way, a plan lets a stretch of characters stand off its composed x.
constexpr int kMaxPlanDrift = 12;

// Writes one line's cells (after fill_gaps and merge_blanks, so blanks never stand side by side and the
// line ends in a character) with planned fills; the line's leading full-width space is already written.
// Records ErrorKind::inexact_blank when some character could not be kept at its x, and
// ErrorKind::too_many_blanks for a run no kMaxTokens items can fill: it writes nothing, as the classic fill
// does, and the plan goes on from where the text then stands.
void write_line_exact(TextBuffer& out, const LineCell* cells, int count, bool dots, int32_t line_number);

}  // namespace glyphora
