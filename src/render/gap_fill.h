#pragma once
// Writing runs of empty pixels as space items of fixed widths, so that what follows a run starts at the
// pixel it had in the composed picture: full-width space 11, "&ensp;" 8, half-width space or "&nbsp;" 5,
// "." 3, "&thinsp;" 2.

#include <cstdint>

#include "model/part.h"
#include "render/text_buffer.h"

namespace glyphora {

constexpr int kMaxTokens = 300;

// Space items by their widths.
struct TokenList {
    int count = 0;
    uint8_t tokens[kMaxTokens];
};

// The split of target (> 0) into 11s and 5s with no two 5s in a row and as many leading 11s as possible,
// within kMaxTokens items; false when there is none. A formula, never a search.
bool exact_split(int64_t target, TokenList& out);

enum class GapResult {
    exact,
    inexact,   // the tokens' sum differs from the target: ErrorKind::inexact_blank
    too_many,  // more than kMaxTokens items would be needed: ErrorKind::too_many_blanks, nothing to write
};

// The tokens for a run whose target width is target, drift being the correction folded into it.
GapResult decompose_gap(int64_t target, int64_t drift, const RenderSettings& settings, TokenList& out);

// Moves each dot to the place of a pseudo-randomly chosen full-width space at or after the drawn index.
void scatter_dots(TokenList& tokens);

// The dots' generator: one per run, so the same page gets the same dots in every run of the program.
// The classic C-library LCG: state 1 at start, state = state * 214013 + 2531011, value (state >> 16) &
// 0x7FFF.
int next_dot_random();
uint32_t dot_random_state();
void set_dot_random_state(uint32_t state);
void reset_dot_random();

// Writes one line's items left to right, tracking the written width so every blank run can correct the
// drift of earlier inexact runs.
class LineWriter {
  public:
    LineWriter(TextBuffer& out, const RenderSettings& settings, int32_t line_number)
        : out_(out), settings_(settings), line_number_(line_number) {}

    void write_char(int32_t code, int64_t width);
    void write_blank(int64_t x, int64_t width);
    int64_t written() const { return written_; }

  private:
    TextBuffer& out_;
    const RenderSettings& settings_;
    int32_t line_number_;
    int64_t written_ = 0;  // pixels written so far on the line, its leading full-width space not counted
    bool last_half_ = false;
};

}  // namespace glyphora
