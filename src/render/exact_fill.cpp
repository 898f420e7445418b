#include "render/exact_fill.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "model/sjis.h"

namespace glyphora {

namespace {

constexpr std::array<FillTokenInfo, kFillTokenKinds> kTokens = {{
    {11, 2, "\x81\x40"},
    {5, 1, " "},
    {5, 6, "&nbsp;"},
    {8, 6, "&ensp;"},
    {2, 8, "&thinsp;"},
    {3, 1, "."},
}};

constexpr int kNone = std::numeric_limits<int>::max();

// The cost of a line plan as one number, compared as (characters off, total drift, dots, bytes): a line
// has at most 1000 characters, so at most 12000 pixels of drift, and at most 500 fills, each of at most one
// dot (every other width is reachable without one) and ~620 bytes. So dots and bytes together stay below
// kDriftPixel, and the drift below kCharOff.
constexpr int64_t kByte = 1;
constexpr int64_t kDot = int64_t{1} << 20;
constexpr int64_t kDriftPixel = int64_t{1} << 30;
constexpr int64_t kCharOff = int64_t{1} << 44;
constexpr int64_t kInfinite = std::numeric_limits<int64_t>::max() / 4;  // three of them still add up

// The cheapest fills of every width up to kMaxFillWidth, for each of: dots allowed or not, and a fill that
// may or may not start with a half-width space. State: the width and whether the last item is a half-width
// space; each entry remembers its last item and the state before it, so a fill is read back to front.
class FillTable {
  public:
    struct Entry {
        int dots = kNone;
        int bytes = kNone;
        int count = kNone;
        uint8_t token = 0;
        uint8_t previous_half = 0;
    };
    using Table = std::array<std::array<Entry, 2>, kMaxFillWidth + 1>;

    FillTable() {
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
        const Table& t = tables_[dots ? 1 : 0][half_first_ok ? 0 : 1];
        const Entry& plain = t[static_cast<std::size_t>(width)][0];
        const Entry& half = t[static_cast<std::size_t>(width)][1];
        last_half = half_last_ok && less(half, plain) ? 1 : 0;
        const Entry& e = last_half ? half : plain;
        return e.bytes == kNone ? nullptr : &e;
    }

    void read_back(int width, bool dots, bool half_first_ok, int last_half, FillTokens& out) const {
        const Table& t = tables_[dots ? 1 : 0][half_first_ok ? 0 : 1];
        out.count = 0;
        int w = width;
        int f = last_half;
        while (w > 0) {
            const Entry& e = t[static_cast<std::size_t>(w)][static_cast<std::size_t>(f)];
            out.tokens[out.count++] = static_cast<FillToken>(e.token);
            w -= kTokens[e.token].width;
            f = e.previous_half;
        }
        std::reverse(out.tokens, out.tokens + out.count);
    }

  private:
    static bool less(const Entry& a, const Entry& b) {
        if (a.dots != b.dots) return a.dots < b.dots;
        if (a.bytes != b.bytes) return a.bytes < b.bytes;
        return a.count < b.count;
    }

    static void build(Table& t, bool dots, bool half_first_blocked) {
        // The empty fill "ends" in what stands before it: a blocked start acts as a half-width space.
        Entry& empty = t[0][half_first_blocked ? 1 : 0];
        empty.dots = empty.bytes = empty.count = 0;
        for (int w = 1; w <= kMaxFillWidth; ++w) {
            for (int k = 0; k < kFillTokenKinds; ++k) {
                const auto token = static_cast<FillToken>(k);
                const FillTokenInfo& info = kTokens[k];
                if (token == FillToken::dot && !dots) continue;
                if (info.width > w) continue;
                const bool half = token == FillToken::half_space;
                for (int f = 0; f < 2; ++f) {
                    if (half && f == 1) continue;  // two half-width spaces in a row collapse
                    const Entry& from =
                        t[static_cast<std::size_t>(w - info.width)][static_cast<std::size_t>(f)];
                    if (from.bytes == kNone) continue;
                    Entry cand;
                    cand.dots = from.dots + (token == FillToken::dot ? 1 : 0);
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

    std::array<std::array<Table, 2>, 2> tables_;
    std::array<std::array<std::array<std::array<int64_t, kMaxFillWidth + 1>, 2>, 2>, 2> costs_;
};

const FillTable& fill_table() {
    static const FillTable table;
    return table;
}

// A half-width space may begin the fill, and may end it.
bool half_first_ok(FillEdge before) {
    return before == FillEdge::text;
}
bool half_last_ok(FillEdge after) {
    return after == FillEdge::text;
}

// --- Line plans

constexpr int kStates = 2 * kMaxPlanDrift + 1;  // drift -12 to 12, index drift + kMaxPlanDrift
constexpr int kCenter = kMaxPlanDrift;
constexpr int kSteps = 2 * kStates - 1;  // a fill changes the drift by -24 to 24

constexpr int kMaxGaps = kCellsPerLine / 2 + 1;

struct PlannedGap {
    int64_t width = 0;
    FillEdge before = FillEdge::text;
    FillEdge after = FillEdge::text;
    int run = 0;             // characters after it, up to the next gap or the line's end
    bool too_wide = false;   // no fill of it could be written
    int8_t drift_after = 0;  // the plan's result
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

void collect_gaps(const LineCell* cells, int count, LinePlan& plan) {
    plan.gaps = 0;
    for (int i = 0; i < count; ++i) {
        if (!is_blank_code(cells[i].code)) {
            if (plan.gaps > 0) ++plan.gap[plan.gaps - 1].run;
            continue;
        }
        PlannedGap& g = plan.gap[plan.gaps++];
        g.width = cells[i].width;
        // The line's leading full-width space stands before a run at its start.
        g.before = i > 0 ? edge_of(cells[i - 1]) : FillEdge::text;
        g.after = i + 1 < count ? edge_of(cells[i + 1]) : FillEdge::text;
        g.run = 0;
        g.too_wide = false;
    }
}

void solve(LinePlan& plan, bool dots) {
    const FillTable& table = fill_table();
    int64_t cost[kStates];
    int64_t next[kStates];
    int64_t fill[kSteps];
    int leaders[kStates];
    std::fill(cost, cost + kStates, kInfinite);
    cost[kCenter] = 0;  // the line starts where it was composed
    for (int gi = 0; gi < plan.gaps; ++gi) {
        PlannedGap& g = plan.gap[gi];
        const int64_t* costs = table.costs(dots, half_first_ok(g.before), half_last_ok(g.after));
        for (int k = 0; k < kSteps; ++k) {
            const int64_t w = g.width + (k - (kStates - 1));
            fill[k] = w < 0 || w > kMaxFillWidth ? kInfinite : costs[w];
        }
        // Dots and bytes never outweigh a pixel of drift, so a state reached from one of the states with
        // the fewest characters off and the least drift so far is never reached more cheaply from another.
        const int64_t least = *std::min_element(cost, cost + kStates) / kDriftPixel;
        int leader_count = 0;
        for (int s = 0; s < kStates; ++s)
            if (cost[s] / kDriftPixel == least) leaders[leader_count++] = s;
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
            const int drift = to - kCenter;
            next[to] = best + (drift == 0 ? 0 : g.run * (kCharOff + std::abs(drift) * kDriftPixel));
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

}  // namespace

const FillTokenInfo& fill_token_info(FillToken token) {
    return kTokens[static_cast<std::size_t>(token)];
}

FillCost exact_fill_cost(int64_t width, FillEdge before, FillEdge after, bool dots) {
    FillCost c;
    if (width < 0 || width > kMaxFillWidth) return c;
    if (width == 0) {
        c.reachable = true;
        return c;
    }
    int last_half = 0;
    const auto* e = fill_table().best(static_cast<int>(width), dots, half_first_ok(before),
                                      half_last_ok(after), last_half);
    if (!e || e->count > kMaxTokens) return c;
    c.reachable = true;
    c.dots = e->dots;
    c.bytes = e->bytes;
    c.count = e->count;
    return c;
}

bool exact_fill(int64_t width, FillEdge before, FillEdge after, bool dots, FillTokens& out) {
    out.count = 0;
    if (width < 0 || width > kMaxFillWidth) return false;
    if (width == 0) return true;
    const FillTable& table = fill_table();
    int last_half = 0;
    const auto* e =
        table.best(static_cast<int>(width), dots, half_first_ok(before), half_last_ok(after), last_half);
    if (!e || e->count > kMaxTokens) return false;
    table.read_back(static_cast<int>(width), dots, half_first_ok(before), last_half, out);
    return true;
}

void write_line_exact(TextBuffer& out, const LineCell* cells, int count, bool dots, int32_t line_number) {
    LinePlan plan;
    collect_gaps(cells, count, plan);
    solve(plan, dots);
    int gi = 0;
    bool off = false;
    FillTokens tokens;
    for (int i = 0; i < count; ++i) {
        const LineCell& cell = cells[i];
        if (!is_blank_code(cell.code)) {
            char bytes[2];
            const int n = put_code(bytes, cell.code);
            out.put(bytes, static_cast<std::size_t>(n), line_number);
            continue;
        }
        const PlannedGap& g = plan.gap[gi++];
        if (g.too_wide) {
            record_error(out.report, ErrorKind::too_many_blanks, line_number);
            continue;
        }
        off = off || g.drift_after != 0;
        exact_fill(g.width + g.drift_after - g.drift_before, g.before, g.after, dots, tokens);
        for (int k = 0; k < tokens.count; ++k) {
            const FillTokenInfo& info = fill_token_info(tokens.tokens[k]);
            out.put(info.text.data(), info.text.size(), line_number);
        }
    }
    if (off) record_error(out.report, ErrorKind::inexact_blank, line_number);
}

}  // namespace glyphora
