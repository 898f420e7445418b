#include "render/exact_fill.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <utility>

#include "render/part_markup.h"

namespace glyphora {

namespace {

constexpr std::array<FillTokenInfo, kFillTokenKinds> kTokens = {{
    {11, 2, "\x81\x40", 0},
    {5, 1, " ", 0},
    {5, 6, "&nbsp;", 0},
    {8, 6, "&ensp;", 0},
    {2, 8, "&thinsp;", 0},
    {3, 1, ".", 0},
}};

constexpr int kNone = std::numeric_limits<int>::max();

// The cost of a line plan as one number, compared as (characters off, total drift, dots, bytes). A line has
// at most 1000 characters and at most 500 fills; a fill has at most 300 items of at most 8 bytes and at most
// one dot (two dots make 6 pixels, which three "&thinsp;" fill as well). Drift counts in 1/64 pixel, at most
// kMaxDrift64 per character. So dots and bytes together stay below kDrift64, and the drift below kCharOff.
constexpr int64_t kByte = 1;
constexpr int64_t kDot = int64_t{1} << 21;
constexpr int64_t kDrift64 = int64_t{1} << 30;
constexpr int64_t kCharOff = int64_t{1} << 50;
constexpr int64_t kInfinite = std::numeric_limits<int64_t>::max() / 4;  // three of them still add up
constexpr int kMaxDrift64 = 1023;  // beyond the plan's 12 pixels a character is far off anyway

}  // namespace

// The cheapest fills of every width up to kMaxFillWidth, for each of: dots allowed or not, and a fill that
// may or may not start with a half-width space. State: the width and whether the last item is a half-width
// space; each entry remembers its last item and the state before it, so a fill is read back to front.
// References are counted first, so a width the classic items can fill never gets one.
class FillItems::Table {
  public:
    struct Entry {
        int refs = kNone;
        int dots = kNone;
        int bytes = kNone;
        int count = kNone;
        uint8_t token = 0;
        uint8_t previous_half = 0;
    };
    using Widths = std::array<std::array<Entry, 2>, kMaxFillWidth + 1>;

    explicit Table(const std::vector<FillTokenInfo>& tokens) : tokens_(tokens) {
        for (int dots = 0; dots < 2; ++dots)
            for (int blocked = 0; blocked < 2; ++blocked)
                build(tables_[dots][blocked], dots != 0, blocked != 0);
        for (int dots = 0; dots < 2; ++dots)
            for (int first = 0; first < 2; ++first)
                for (int last = 0; last < 2; ++last) {
                    auto& costs = costs_[dots][first][last];
                    costs[0] = 0;
                    for (int w = 1; w <= kMaxFillWidth; ++w) {
                        int last_half = 0;
                        const Entry* e = best(w, dots != 0, first != 0, last != 0, last_half);
                        costs[static_cast<std::size_t>(w)] =
                            e && e->count <= kMaxTokens ? e->dots * kDot + e->bytes * kByte : kInfinite;
                    }
                }
    }

    // The plan cost of the cheapest fill of every width from 0 to kMaxFillWidth (kInfinite: unreachable).
    const int64_t* costs(bool dots, bool half_first_ok, bool half_last_ok) const {
        return costs_[dots ? 1 : 0][half_first_ok ? 1 : 0][half_last_ok ? 1 : 0].data();
    }

    // The entry of the cheapest fill that may end in a half-width space only when `half_last_ok`; nullptr
    // when there is none.
    const Entry* best(int width, bool dots, bool half_first_ok, bool half_last_ok, int& last_half) const {
        const Widths& t = tables_[dots ? 1 : 0][half_first_ok ? 0 : 1];
        const Entry& plain = t[static_cast<std::size_t>(width)][0];
        const Entry& half = t[static_cast<std::size_t>(width)][1];
        last_half = half_last_ok && less(half, plain) ? 1 : 0;
        const Entry& e = last_half ? half : plain;
        return e.bytes == kNone ? nullptr : &e;
    }

    void read_back(int width, bool dots, bool half_first_ok, int last_half, FillTokens& out) const {
        const Widths& t = tables_[dots ? 1 : 0][half_first_ok ? 0 : 1];
        out.count = 0;
        int w = width;
        int f = last_half;
        while (w > 0) {
            const Entry& e = t[static_cast<std::size_t>(w)][static_cast<std::size_t>(f)];
            out.tokens[out.count++] = static_cast<FillToken>(e.token);
            w -= tokens_[e.token].width;
            f = e.previous_half;
        }
        std::reverse(out.tokens, out.tokens + out.count);
    }

  private:
    static bool less(const Entry& a, const Entry& b) {
        if (a.refs != b.refs) return a.refs < b.refs;
        if (a.dots != b.dots) return a.dots < b.dots;
        if (a.bytes != b.bytes) return a.bytes < b.bytes;
        return a.count < b.count;
    }

    void build(Widths& t, bool dots, bool half_first_blocked) const {
        // The empty fill "ends" in what stands before it: a blocked start acts as a half-width space.
        Entry& empty = t[0][half_first_blocked ? 1 : 0];
        empty.refs = empty.dots = empty.bytes = empty.count = 0;
        for (int w = 1; w <= kMaxFillWidth; ++w) {
            for (std::size_t k = 0; k < tokens_.size(); ++k) {
                const FillTokenInfo& info = tokens_[k];
                const bool dot = k == static_cast<std::size_t>(FillToken::dot);
                if (dot && !dots) continue;
                if (info.width > w) continue;
                const bool half = k == static_cast<std::size_t>(FillToken::half_space);
                for (int f = 0; f < 2; ++f) {
                    if (half && f == 1) continue;  // two half-width spaces in a row collapse
                    const Entry& from =
                        t[static_cast<std::size_t>(w - info.width)][static_cast<std::size_t>(f)];
                    if (from.bytes == kNone) continue;
                    Entry cand;
                    cand.refs = from.refs + (info.code_point != 0 ? 1 : 0);
                    cand.dots = from.dots + (dot ? 1 : 0);
                    cand.bytes = from.bytes + info.bytes;
                    cand.count = from.count + 1;
                    cand.token = static_cast<uint8_t>(k);
                    cand.previous_half = static_cast<uint8_t>(f);
                    Entry& to = t[static_cast<std::size_t>(w)][half ? 1 : 0];
                    if (less(cand, to)) to = cand;
                }
            }
        }
    }

    const std::vector<FillTokenInfo>& tokens_;
    std::array<std::array<Widths, 2>, 2> tables_;
    std::array<std::array<std::array<std::array<int64_t, kMaxFillWidth + 1>, 2>, 2>, 2> costs_;
};

namespace {

// A half-width space may begin the fill, and may end it.
bool half_first_ok(FillEdge before) {
    return before == FillEdge::text;
}
bool half_last_ok(FillEdge after) {
    return after == FillEdge::text;
}

// --- Line plans

// A plan's state at a blank is the drift, in whole pixels, of the characters after it: -12 to 12, index
// drift + kMaxPlanDrift. Where characters have fractional widths, it is the drift the browser shows,
// rounded: the written pixels' drift plus the fractions so far, rounded.
constexpr int kStates = 2 * kMaxPlanDrift + 1;
constexpr int kCenter = kMaxPlanDrift;
constexpr int kSteps = 2 * kStates - 1;  // a fill changes the drift by -24 to 24

constexpr int kMaxGaps = kCellsPerLine / 2 + 1;

struct PlannedGap {
    int64_t width = 0;
    FillEdge before = FillEdge::text;
    FillEdge after = FillEdge::text;
    int first = 0;            // the first cell after it
    int run = 0;              // characters after it, up to the next gap or the line's end
    int64_t shift = 0;        // the whole pixels the fractions moved the text since the gap before
    int32_t fraction = 0;     // what the fractions so far leave beyond those pixels, in 1/64 pixel
    bool fractional = false;  // the characters after it stand off whole pixels
    bool too_wide = false;    // no fill of it could be written
    int8_t drift_after = 0;   // the plan's result
    int8_t drift_before = 0;
    int8_t from[kStates];  // the state before this gap that leads best to each state after it
};

struct LinePlan {
    int gaps = 0;
    PlannedGap gap[kMaxGaps];
};

FillEdge edge_of(const LineCell& cell) {
    return collapses_with_space(cell.code) ? FillEdge::half_space : FillEdge::text;
}

// The nearest whole pixel to a length in 1/64 pixel that may be negative (halves round up).
int64_t nearest_pixel(int64_t sixty_fourths) {
    const int64_t shifted = sixty_fourths + 32;
    return shifted >= 0 ? shifted / 64 : -((-shifted + 63) / 64);
}

// With `fractions`, the characters' fractions of a pixel are carried along the line.
void collect_gaps(const LineCell* cells, int count, bool fractions, LinePlan& plan) {
    plan.gaps = 0;
    int64_t carried = 0;  // the fractions of the characters so far, in 1/64 pixel
    int64_t pixels_before = 0;
    for (int i = 0; i < count; ++i) {
        if (!is_blank_code(cells[i].code)) {
            if (plan.gaps > 0) {
                PlannedGap& g = plan.gap[plan.gaps - 1];
                ++g.run;
                g.fractional = g.fractional || (fractions && cells[i].fraction64 != 0);
            }
            if (fractions) carried += cells[i].fraction64;
            continue;
        }
        PlannedGap& g = plan.gap[plan.gaps++];
        g.width = cells[i].width;
        // The line's leading full-width space stands before a run at its start.
        g.before = i > 0 ? edge_of(cells[i - 1]) : FillEdge::text;
        g.after = i + 1 < count ? edge_of(cells[i + 1]) : FillEdge::text;
        g.first = i + 1;
        g.run = 0;
        const int64_t pixels = nearest_pixel(carried);
        g.shift = pixels - pixels_before;
        g.fraction = static_cast<int32_t>(carried - pixels * 64);
        g.fractional = g.fraction != 0;
        g.too_wide = false;
        pixels_before = pixels;
    }
}

// Whether a character the browser puts `offset64` off its composed x stands off it.
bool stands_off(int64_t offset64) {
    return offset64 <= -32 || offset64 >= 32;
}

// The cost of the characters after a gap for each state.
void run_costs(const LineCell* cells, const PlannedGap& g, int64_t* out) {
    if (!g.fractional) {
        for (int s = 0; s < kStates; ++s) {
            const int drift = s - kCenter;
            out[s] = drift == 0 ? 0 : g.run * (kCharOff + std::abs(drift) * 64 * kDrift64);
        }
        return;
    }
    std::fill(out, out + kStates, 0);
    int64_t offset = g.fraction;
    for (int j = g.first; j < g.first + g.run; ++j) {
        for (int s = 0; s < kStates; ++s) {
            const int64_t at = (s - kCenter) * 64 + offset;
            out[s] +=
                (stands_off(at) ? kCharOff : 0) + std::min<int64_t>(std::abs(at), kMaxDrift64) * kDrift64;
        }
        offset += cells[j].fraction64;
    }
}

bool run_stands_off(const LineCell* cells, const PlannedGap& g) {
    if (!g.fractional) return g.drift_after != 0;
    int64_t offset = g.fraction;
    for (int j = g.first; j < g.first + g.run; ++j) {
        if (stands_off(g.drift_after * 64 + offset)) return true;
        offset += cells[j].fraction64;
    }
    return false;
}

// The width a gap's fill takes under the plan.
int64_t planned_width(const PlannedGap& g) {
    return g.width + g.drift_after - g.drift_before - g.shift;
}

void solve(LinePlan& plan, const LineCell* cells, bool dots, const FillItems::Table& table) {
    int64_t cost[kStates];
    int64_t next[kStates];
    int64_t fill[kSteps];
    int64_t run[kStates];
    int leaders[kStates];
    std::fill(cost, cost + kStates, kInfinite);
    cost[kCenter] = 0;  // the line starts where it was composed
    for (int gi = 0; gi < plan.gaps; ++gi) {
        PlannedGap& g = plan.gap[gi];
        const int64_t* costs = table.costs(dots, half_first_ok(g.before), half_last_ok(g.after));
        for (int k = 0; k < kSteps; ++k) {
            const int64_t w = g.width + (k - (kStates - 1)) - g.shift;
            fill[k] = w < 0 || w > kMaxFillWidth ? kInfinite : costs[w];
        }
        run_costs(cells, g, run);
        // Dots and bytes never outweigh a 64th of a pixel of drift, so a state reached from one of the
        // states with the fewest characters off and the least drift so far is never reached more cheaply
        // from another.
        const int64_t least = *std::min_element(cost, cost + kStates) / kDrift64;
        int leader_count = 0;
        for (int s = 0; s < kStates; ++s)
            if (cost[s] / kDrift64 == least) leaders[leader_count++] = s;
        bool any = false;
        for (int to = 0; to < kStates; ++to) {
            int64_t best = kInfinite;
            int from = kCenter;
            for (int i = 0; i < leader_count; ++i) {
                const int s = leaders[i];
                const int64_t v = cost[s] + fill[to - s + (kStates - 1)];
                if (v < best) {
                    best = v;
                    from = s;
                }
            }
            if (best >= kInfinite) {
                for (int s = 0; s < kStates; ++s) {
                    const int64_t v = cost[s] + fill[to - s + (kStates - 1)];
                    if (v < best) {
                        best = v;
                        from = s;
                    }
                }
            }
            g.from[to] = static_cast<int8_t>(from);
            if (best >= kInfinite) {
                next[to] = kInfinite;
                continue;
            }
            any = true;
            next[to] = best + run[to];
        }
        if (!any) {
            // Nothing can be written for this run: the plan goes on from where the text then stands.
            g.too_wide = true;
            const int from = static_cast<int>(std::min_element(cost, cost + kStates) - cost);
            std::fill(next, next + kStates, kInfinite);
            next[kCenter] = cost[from];
            g.from[kCenter] = static_cast<int8_t>(from);
        }
        std::copy(next, next + kStates, cost);
    }
    int state = static_cast<int>(std::min_element(cost, cost + kStates) - cost);
    for (int gi = plan.gaps - 1; gi >= 0; --gi) {
        PlannedGap& g = plan.gap[gi];
        g.drift_after = static_cast<int8_t>(state - kCenter);
        state = g.from[state];
        g.drift_before = static_cast<int8_t>(state - kCenter);
    }
}

std::string decimal_reference(char32_t code_point) {
    return "&#" + std::to_string(static_cast<uint32_t>(code_point)) + ";";
}

}  // namespace

const FillTokenInfo& fill_token_info(FillToken token) {
    return kTokens[static_cast<std::size_t>(token)];
}

FillItems::FillItems() : tokens_(kTokens.begin(), kTokens.end()), table_(std::make_unique<Table>(tokens_)) {}

FillItems::FillItems(const std::vector<Space>& unicode_spaces)
    : unicode_(true), tokens_(kTokens.begin(), kTokens.end()) {
    for (const Space& space : unicode_spaces) {
        if (space.width < 1 || space.width > kMaxFillWidth) continue;
        auto text = std::make_unique<std::string>(decimal_reference(space.code_point));
        const FillTokenInfo info{space.width, static_cast<int>(text->size()), *text, space.code_point};
        auto same = std::find_if(tokens_.begin() + kFillTokenKinds, tokens_.end(),
                                 [&](const FillTokenInfo& t) { return t.width == space.width; });
        if (same != tokens_.end()) {
            if (same->bytes > info.bytes) *same = info;
        } else {
            tokens_.push_back(info);
        }
        texts_.push_back(std::move(text));
    }
    table_ = std::make_unique<Table>(tokens_);
}

FillItems::~FillItems() = default;

const FillItems& FillItems::classic() {
    static const FillItems items;
    return items;
}

std::shared_ptr<const FillItems> FillItems::with_unicode_spaces(const CharWidthTable& widths) {
    std::vector<Space> spaces;
    for (char32_t cp = 0xA0; cp <= 0x205F; ++cp) {
        if (!is_unicode_space(cp)) continue;
        const CodePointWidth w = widths.code_point_width(cp);
        if (w.sixty_fourths > 0 && !w.fractional()) spaces.push_back({cp, w.pixels()});
    }
    // A table takes a few milliseconds to build and most of a megabyte: one per font a run uses, the last
    // few kept.
    static std::mutex mutex;
    static std::vector<std::pair<std::vector<Space>, std::shared_ptr<const FillItems>>> built;
    const std::lock_guard<std::mutex> lock(mutex);
    for (const auto& [key, items] : built)
        if (key == spaces) return items;
    auto items = std::make_shared<const FillItems>(spaces);
    if (built.size() >= 4) built.erase(built.begin());
    built.emplace_back(std::move(spaces), items);
    return items;
}

FillCost FillItems::cost(int64_t width, FillEdge before, FillEdge after, bool dots) const {
    FillCost c;
    if (width < 0 || width > kMaxFillWidth) return c;
    if (width == 0) {
        c.reachable = true;
        return c;
    }
    int last_half = 0;
    const auto* e =
        table_->best(static_cast<int>(width), dots, half_first_ok(before), half_last_ok(after), last_half);
    if (!e || e->count > kMaxTokens) return c;
    c.reachable = true;
    c.refs = e->refs;
    c.dots = e->dots;
    c.bytes = e->bytes;
    c.count = e->count;
    return c;
}

bool FillItems::fill(int64_t width, FillEdge before, FillEdge after, bool dots, FillTokens& out) const {
    out.count = 0;
    if (width < 0 || width > kMaxFillWidth) return false;
    if (width == 0) return true;
    int last_half = 0;
    const auto* e =
        table_->best(static_cast<int>(width), dots, half_first_ok(before), half_last_ok(after), last_half);
    if (!e || e->count > kMaxTokens) return false;
    table_->read_back(static_cast<int>(width), dots, half_first_ok(before), last_half, out);
    return true;
}

FillCost exact_fill_cost(int64_t width, FillEdge before, FillEdge after, bool dots) {
    return FillItems::classic().cost(width, before, after, dots);
}

bool exact_fill(int64_t width, FillEdge before, FillEdge after, bool dots, FillTokens& out) {
    return FillItems::classic().fill(width, before, after, dots, out);
}

void write_line_exact(TextBuffer& out, const LineCell* cells, int count, bool dots, int32_t line_number,
                      const FillItems& items) {
    LinePlan plan;
    collect_gaps(cells, count, items.unicode(), plan);
    solve(plan, cells, dots, items.table());
    int gi = 0;
    bool off = false;
    FillTokens tokens;
    for (int i = 0; i < count; ++i) {
        const LineCell& cell = cells[i];
        if (!is_blank_code(cell.code)) {
            out.put_char(cell.code, line_number);
            continue;
        }
        const PlannedGap& g = plan.gap[gi++];
        if (g.too_wide) {
            record_error(out.report, ErrorKind::too_many_blanks, line_number);
            continue;
        }
        off = off || run_stands_off(cells, g);
        items.fill(planned_width(g), g.before, g.after, dots, tokens);
        for (int k = 0; k < tokens.count; ++k) {
            const FillTokenInfo& info = items.info(tokens.tokens[k]);
            out.put(info.text.data(), info.text.size(), line_number);
        }
    }
    if (off) record_error(out.report, ErrorKind::inexact_blank, line_number);
}

}  // namespace glyphora
