#include "render/gap_fill.h"

#include <initializer_list>

#include "model/sjis.h"

namespace glyphora {

namespace {

uint32_t g_dot_state = 1;

class TokenSink {
  public:
    explicit TokenSink(TokenList& list) : list_(list) { list_.count = 0; }
    // False once a token would be the 301st.
    bool add(int token) {
        if (list_.count >= kMaxTokens) return false;
        list_.tokens[list_.count++] = static_cast<uint8_t>(token);
        return true;
    }
    bool add(std::initializer_list<int> tokens) {
        for (int t : tokens)
            if (!add(t)) return false;
        return true;
    }

  private:
    TokenList& list_;
};

// The choice of one token while more than 11 pixels remain.
int loop_token(int64_t r, bool last5, bool dot, bool no_entities) {
    const int64_t m = r % 11;
    const bool m31 = m == 3 || m == 1;
    if (m == 0) return 11;
    if (m == 5 && !last5) return 5;
    if (dot && (m == 3 || r % 16 == 3) && r < 55) return 3;
    if (dot && m == 1 && !last5 && r % 16 != 3) return 5;
    if (m31 && dot) return 3;
    if (m31 && !no_entities) return 8;
    if (m31 && !last5) return 5;
    if (m31) return 11;
    if (!last5 && r % 16 <= 8) return 5;
    return 11;
}

struct Tail {
    bool ok;
    bool inexact;
};

// The last 1 to 11 pixels when entities may be used.
Tail tail_with_entities(TokenSink& sink, int64_t r, int64_t b, bool dot) {
    switch (r) {
        case 11:
            return {sink.add(11), false};
        case 10:
            return {sink.add({8, 2}), false};
        case 9:
            return {sink.add({5, 2, 2}), false};
        case 8:
            return {sink.add(8), false};
        case 7:
            return {sink.add({5, 2}), false};
        case 6:
            return {sink.add({2, 2, 2}), false};
        case 5:
            return {sink.add(5), false};
        case 4:
            return {sink.add({2, 2}), false};
        case 3:
            if (dot) return {sink.add(3), false};
            return {b > 0 ? sink.add({2, 2}) : sink.add(2), true};
        case 2:
            return {sink.add(2), false};
        default:  // 1
            return {b > 0 ? sink.add(2) : true, true};
    }
}

// The last 1 to 11 pixels with plain spaces only ("nr": avoid two half-width spaces even if it drifts).
Tail tail_without_entities(TokenSink& sink, int64_t r, int64_t b, bool dot, bool nr, bool last5) {
    const bool nr5 = nr && last5;
    switch (r) {
        case 11:
            return {sink.add(11), false};
        case 10:
            return nr ? Tail{sink.add(11), true} : Tail{sink.add({5, 5}), false};
        case 9:
            if (!nr) return {sink.add({5, 5}), true};
            return dot ? Tail{sink.add({3, 3, 3}), false} : Tail{sink.add(11), true};
        case 8:
            if (dot) return {last5 ? sink.add({3, 5}) : sink.add({5, 3}), false};
            if (!nr) return {sink.add({5, 5}), true};
            if (b > 1) return {sink.add(11), true};
            return {last5 ? true : sink.add(5), true};
        case 7:
            if (dot) return {last5 ? sink.add({3, 5}) : sink.add({5, 3}), true};
            return {nr5 ? sink.add(11) : sink.add(5), true};
        case 6:
            if (dot) return {sink.add({3, 3}), false};
            return {nr5 ? true : sink.add(5), true};
        case 5:
            // Not recorded even when it writes 3 pixels or nothing.
            if (nr5) return {dot ? sink.add(3) : true, false};
            return {sink.add(5), false};
        case 4:
            if (dot) return {sink.add(3), true};
            return {nr5 ? true : sink.add(5), true};
        case 3:
            if (dot) return {sink.add(3), false};
            return {b <= 1 || nr5 ? true : sink.add(5), true};
        default:  // 2 and 1
            if (dot) return {b > 0 ? sink.add(3) : true, false};
            return {b <= 2 || nr5 ? true : sink.add(5), true};
    }
}

}  // namespace

bool exact_split(int64_t target, TokenList& out) {
    out.count = 0;
    if (target <= 0) return false;
    const int64_t fives = (9 * target) % 11;     // 5 * fives leaves a multiple of 11
    if (16 * fives > target + 11) return false;  // too few 11s to keep the 5s apart
    const int64_t elevens = (target - 5 * fives) / 11;
    if (elevens + fives > kMaxTokens) return false;
    int n = 0;
    if (fives == 0) {
        for (int64_t i = 0; i < elevens; ++i) out.tokens[n++] = 11;
    } else {
        for (int64_t i = 0; i < elevens - fives + 1; ++i) out.tokens[n++] = 11;
        out.tokens[n++] = 5;
        for (int64_t i = 1; i < fives; ++i) {
            out.tokens[n++] = 11;
            out.tokens[n++] = 5;
        }
    }
    out.count = n;
    return true;
}

GapResult decompose_gap(int64_t target, int64_t drift, const RenderSettings& settings, TokenList& out) {
    if (exact_split(target, out)) return GapResult::exact;
    out.count = 0;
    if (target <= 0) return GapResult::exact;  // already at or past the end of the run
    const bool dot = settings.renderdotflag;
    const bool no_entities = settings.rendernotsp;
    TokenSink sink(out);
    int64_t r = target;
    bool last5 = false;
    while (r > 11) {
        const int token = loop_token(r, last5, dot, no_entities);
        if (!sink.add(token)) return GapResult::too_many;
        r -= token;
        last5 = token == 5;
    }
    const Tail tail = no_entities
                          ? tail_without_entities(sink, r, drift, dot, settings.rendernotrenspace, last5)
                          : tail_with_entities(sink, r, drift, dot);
    if (!tail.ok) return GapResult::too_many;
    return tail.inexact ? GapResult::inexact : GapResult::exact;
}

int next_dot_random() {
    g_dot_state = g_dot_state * 214013u + 2531011u;
    return static_cast<int>((g_dot_state >> 16) & 0x7FFF);
}

uint32_t dot_random_state() {
    return g_dot_state;
}
void set_dot_random_state(uint32_t state) {
    g_dot_state = state;
}
void reset_dot_random() {
    g_dot_state = 1;
}

void scatter_dots(TokenList& tokens) {
    for (int i = 0; i < tokens.count; ++i) {
        if (tokens.tokens[i] != 3) continue;
        for (int k = next_dot_random() % tokens.count; k < tokens.count; ++k) {
            if (tokens.tokens[k] == 11) {
                tokens.tokens[i] = 11;
                tokens.tokens[k] = 3;
                break;
            }
        }
    }
}

void LineWriter::write_char(int32_t code, int64_t width) {
    char bytes[2];
    const int n = put_code(bytes, code);
    out_.put(bytes, static_cast<std::size_t>(n), line_number_);
    written_ += width;
    last_half_ = false;
}

void LineWriter::write_blank(int64_t x, int64_t width) {
    // Runs that are whole multiples of 11 or 16, or exactly 5, are written at their own width: they have
    // an exact split, and leaving them alone keeps regular spacing regular.
    const int64_t drift = (width % 11 == 0 || width % 16 == 0 || width == 5) ? 0 : x - written_;
    TokenList tokens;
    const GapResult result = decompose_gap(width + drift, drift, settings_, tokens);
    if (result == GapResult::too_many) {
        record_error(out_.report, ErrorKind::too_many_blanks, line_number_);
        return;
    }
    scatter_dots(tokens);
    for (int i = 0; i < tokens.count; ++i) written_ += tokens.tokens[i];
    if (result == GapResult::inexact) record_error(out_.report, ErrorKind::inexact_blank, line_number_);
    for (int i = 0; i < tokens.count; ++i) {
        switch (tokens.tokens[i]) {
            case 11:
                out_.put("\x81\x40", 2, line_number_);  // full-width space
                last_half_ = false;
                break;
            case 8:
                out_.put("&ensp;", 6, line_number_);
                last_half_ = false;
                break;
            case 5:
                if (last_half_ && !settings_.rendernotsp) {
                    out_.put("&nbsp;", 6, line_number_);
                } else {
                    out_.put(" ", 1, line_number_);
                }
                last_half_ = true;
                break;
            case 3:
                out_.put(".", 1, line_number_);
                break;
            default:
                out_.put("&thinsp;", 8, line_number_);
                last_half_ = false;
                break;
        }
    }
}

}  // namespace glyphora
