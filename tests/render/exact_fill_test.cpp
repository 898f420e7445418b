// The exact-alignment fill: its table of fills against a search of every combination of items, line plans
// around runs that cannot be written exactly, and that it stays out of the way unless asked for.
#include "render/exact_fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "model/sjis.h"
#include "render/output.h"
#include "render/part_markup.h"
#include "render/test_support.h"

namespace glyphora {
namespace {

using test::put_part;
using test::transparent;
using testing::RenderRig;

struct Best {
    bool found = false;
    int dots = 0;
    int bytes = 0;
};

// The cheapest fill of w over every count of each item. For given counts of the other items the rest,
// 11 f + 5 h, is cheapest and easiest to arrange with the fewest half-width spaces (11 more of them would
// replace 5 full-width spaces and cost a byte), so only that h is tried. The half-width spaces then fit
// when each has a slot of its own between or beside the other items, the slots at a blocked edge excepted.
Best search(int w, bool before_blocked, bool after_blocked, bool dots, int max_bytes) {
    Best best;
    if (w == 0) return {true, 0, 0};
    for (int d = 0; d <= (dots ? 1 : 0); ++d)
        for (int t = 0; 8 * t <= max_bytes; ++t)
            for (int e = 0; 6 * e <= max_bytes; ++e)
                for (int n = 0; 6 * n <= max_bytes; ++n) {
                    const int rest = w - 3 * d - 2 * t - 8 * e - 5 * n;
                    if (rest < 0) continue;
                    const int h = (9 * rest) % 11;
                    if (5 * h > rest) continue;
                    const int f = (rest - 5 * h) / 11;
                    const int others = f + e + n + t + d;
                    const int slots = others == 0 ? (before_blocked || after_blocked ? 0 : 1)
                                                  : others + 1 - before_blocked - after_blocked;
                    if (h > slots) continue;
                    const int bytes = 2 * f + h + 6 * e + 6 * n + 8 * t + d;
                    if (!best.found || std::pair(d, bytes) < std::pair(best.dots, best.bytes))
                        best = {true, d, bytes};
                }
    return best;
}

TEST(ExactFill, EveryWidthUpTo400IsTheCheapestExactFillTheBrowserKeeps) {
    const FillEdge befores[] = {FillEdge::line_start, FillEdge::text, FillEdge::half_space};
    const FillEdge afters[] = {FillEdge::text, FillEdge::half_space};
    FillTokens tokens;
    for (bool dots : {false, true})
        for (FillEdge before : befores)
            for (FillEdge after : afters)
                for (int w = 0; w <= 400; ++w) {
                    const FillCost cost = exact_fill_cost(w, before, after, dots);
                    ASSERT_EQ(exact_fill(w, before, after, dots, tokens), cost.reachable) << w;
                    // Exactly fillable: 2 pixels and every width from 4 on; 3 only with a dot; 1 never.
                    ASSERT_EQ(cost.reachable, w != 1 && (w != 3 || dots)) << w;
                    const bool blocked = before != FillEdge::text;
                    const Best best = search(w, blocked, after != FillEdge::text, dots,
                                             cost.reachable ? cost.bytes : 8 * w + 8);
                    ASSERT_EQ(best.found, cost.reachable) << w;
                    if (!cost.reachable) continue;
                    ASSERT_EQ(std::pair(cost.dots, cost.bytes), std::pair(best.dots, best.bytes))
                        << "width " << w << " dots " << dots << " before " << static_cast<int>(before);

                    int sum = 0, bytes = 0, dot_count = 0;
                    for (int k = 0; k < tokens.count; ++k) {
                        const FillToken t = tokens.tokens[k];
                        const bool half = t == FillToken::half_space;
                        ASSERT_FALSE(half && k == 0 && blocked) << "a half-width space at the start, " << w;
                        ASSERT_FALSE(half && k + 1 == tokens.count && after != FillEdge::text) << w;
                        ASSERT_FALSE(half && k > 0 && tokens.tokens[k - 1] == t) << "two in a row, " << w;
                        sum += fill_token_info(t).width;
                        bytes += fill_token_info(t).bytes;
                        dot_count += t == FillToken::dot ? 1 : 0;
                    }
                    ASSERT_EQ(sum, w);
                    ASSERT_EQ(bytes, cost.bytes);
                    ASSERT_EQ(dot_count, cost.dots);
                    ASSERT_EQ(tokens.count, cost.count);
                }
    // The limit of kMaxTokens items.
    EXPECT_EQ(exact_fill_cost(kMaxFillWidth, FillEdge::text, FillEdge::text, false).count, kMaxTokens);
    EXPECT_FALSE(exact_fill_cost(kMaxFillWidth - 1, FillEdge::text, FillEdge::text, true).reachable);
    EXPECT_FALSE(exact_fill_cost(kMaxFillWidth + 11, FillEdge::text, FillEdge::text, true).reachable);
}

// Each character of each rendered line with the x at which the width table puts it (the leading
// full-width space not counted), and the characters of the composed lines with their cells' x.
using Placed = std::vector<std::vector<std::pair<int32_t, int64_t>>>;

Placed written_positions(const std::string& text, const CharWidthTable& widths) {
    Placed lines(1);
    int64_t x = -11;
    for (std::size_t pos = 0; pos < text.size();) {
        if (text.compare(pos, 2, "\r\n") == 0) {
            lines.emplace_back();
            x = -11;
            pos += 2;
            continue;
        }
        if (const CharReference ref = text[pos] == '&' ? match_reference(text, pos) : CharReference{};
            ref.length > 0) {  // a Unicode space of a fill
            x += widths.code_point_width(ref.code_point).pixels();
            pos += static_cast<std::size_t>(ref.length);
            continue;
        }
        bool fill = false;
        for (int k = 0; k < kFillTokenKinds && !fill; ++k) {
            const FillTokenInfo& info = fill_token_info(static_cast<FillToken>(k));
            if (text.compare(pos, info.text.size(), info.text) != 0) continue;
            x += info.width;
            pos += info.text.size();
            fill = true;
        }
        if (fill) continue;
        const SjisChar ch = char_at(text, pos);
        lines.back().push_back({ch.code, x});
        x += widths.width(ch.code);
        pos += static_cast<std::size_t>(ch.length);
    }
    lines.pop_back();
    return lines;
}

Placed composed_positions(RenderRig& rig, int count) {
    Placed lines(static_cast<std::size_t>(count));
    for (int l = 0; l < count; ++l) {
        const LineCell* cells = rig.ws->lines[l].cells();
        for (int i = 0; i < rig.ws->lines[l].size(); ++i)
            if (!is_blank_code(cells[i].code))
                lines[static_cast<std::size_t>(l)].push_back({cells[i].code, cells[i].x});
    }
    return lines;
}

// Drift of every character of line 1 (the rendered minus the composed x).
std::vector<int64_t> drifts(RenderRig& rig, BlankFill fill) {
    render_page(*rig.ws, *rig.widths, *rig.book, nullptr, nullptr, 0, rig.settings, *rig.out, fill);
    const Placed got = written_positions(std::string(rig.out->text, rig.out->length), *rig.widths);
    const Placed want = composed_positions(rig, 1);
    std::vector<int64_t> d;
    EXPECT_EQ(got[0].size(), want[0].size());
    for (std::size_t i = 0; i < got[0].size() && i < want[0].size(); ++i)
        d.push_back(got[0][i].second - want[0][i].second);
    return d;
}

TEST(ExactFill, RunsThatCannotBeExactMoveTheShorterNeighbourAndTheNextBlankTakesItBack) {
    RenderRig rig;
    const std::vector<int64_t> none(8, 0);
    // "AA", a 1-pixel run, "BBBBB", "C": the two A's take the pixel (the run before them is written one
    // wider or narrower), the five B's stay.
    transparent(put_part(rig.page(), 0, 20, 0, "AA"));
    transparent(put_part(rig.page(), 1, 37, 0, "BBBBB"));
    transparent(put_part(rig.page(), 2, 97, 0, "C"));
    std::vector<int64_t> d = drifts(rig, BlankFill::exact);
    ASSERT_EQ(d.size(), 8u);
    EXPECT_EQ(std::abs(d[0]), 1);
    EXPECT_EQ(d[1], d[0]);
    EXPECT_EQ(std::vector<int64_t>(d.begin() + 2, d.end()), std::vector<int64_t>(6, 0));
    EXPECT_EQ(rig.error(ErrorKind::inexact_blank), 1);

    // Five A's before a 3-pixel run and two B's after it: the B's move, the run after them takes it back.
    transparent(put_part(rig.page(), 0, 20, 0, "AAAAA"));
    transparent(put_part(rig.page(), 1, 63, 0, "BB"));
    transparent(put_part(rig.page(), 2, 97, 0, "C"));
    d = drifts(rig, BlankFill::exact);
    ASSERT_EQ(d.size(), 8u);
    EXPECT_EQ(std::vector<int64_t>(d.begin(), d.begin() + 5), std::vector<int64_t>(5, 0));
    EXPECT_EQ(std::abs(d[5]), 1);
    EXPECT_EQ(d[6], d[5]);
    EXPECT_EQ(d[7], 0);
    // With dots the 3 pixels are a dot: nothing moves and nothing is recorded.
    rig.settings.renderdotflag = true;
    EXPECT_EQ(drifts(rig, BlankFill::exact), none);
    EXPECT_EQ(rig.error(ErrorKind::inexact_blank), 0);
    EXPECT_NE(std::string(rig.out->text, rig.out->length).find("A.B"), std::string::npos);
    rig.settings.renderdotflag = false;

    // "AA" from the line's start cannot move: the B after the 1-pixel run does, and the 5-pixel run after
    // it, which the classic fill writes as it is, takes the pixel back.
    rig = RenderRig();
    transparent(put_part(rig.page(), 0, 0, 0, "AA"));
    transparent(put_part(rig.page(), 1, 17, 0, "B"));
    transparent(put_part(rig.page(), 2, 30, 0, "CCCCC"));
    d = drifts(rig, BlankFill::exact);
    ASSERT_EQ(d.size(), 8u);
    EXPECT_EQ(std::abs(d[2]), 1);
    d[2] = 0;
    EXPECT_EQ(d, none);
    EXPECT_EQ(drifts(rig, BlankFill::classic).back(), -1);  // where the classic fill leaves the line's rest

    // A run no 300 items can fill writes nothing, as the classic fill does; the plan goes on from there.
    rig = RenderRig();
    transparent(put_part(rig.page(), 0, kMaxFillWidth + 2 * kMaxPlanDrift + 1, 0, "A"));
    transparent(put_part(rig.page(), 1, kMaxFillWidth + 2 * kMaxPlanDrift + 19, 0, "B"));
    render_page(*rig.ws, *rig.widths, *rig.book, nullptr, nullptr, 0, rig.settings, *rig.out,
                BlankFill::exact);
    EXPECT_EQ(std::string(rig.out->text, rig.out->length),
              "\x81\x40"
              "A &nbsp;B\r\n");
    EXPECT_EQ(rig.error(ErrorKind::too_many_blanks), 1);
}

TEST(ExactFill, OnlyWhenAskedForAndWhereEntitiesAreAllowed) {
    EXPECT_FALSE(RenderContext{}.exact_fill);
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "AA"));
    transparent(put_part(rig.page(), 1, 26, 0, "B"));  // a 10-pixel run
    rig.settings.rendernotsp = true;
    const std::string classic = rig.render();
    render_page(*rig.ws, *rig.widths, *rig.book, nullptr, nullptr, 0, rig.settings, *rig.out,
                BlankFill::exact);
    EXPECT_EQ(std::string(rig.out->text, rig.out->length), classic);

    // Through the render commands' path: the context's flag picks the fill.
    rig.settings.rendernotsp = false;
    RenderContext ctx;
    ctx.widths = rig.widths.get();
    ctx.global_settings = rig.settings;
    render_preview_page(*rig.book, 0, ctx, *rig.ws, *rig.out);
    EXPECT_EQ(std::string(rig.out->text, rig.out->length),
              "\x81\x40"
              "AA&ensp;&thinsp;B\r\n");
    ctx.exact_fill = true;
    render_preview_page(*rig.book, 0, ctx, *rig.ws, *rig.out);
    EXPECT_EQ(std::string(rig.out->text, rig.out->length),
              "\x81\x40"
              "AA &nbsp;B\r\n");
}

// The spaces as the browser lays them out in Monapo 16 px; U+2004, U+2006, U+202F and U+205F are fractions
// of a pixel wide and never fill anything.
constexpr const char* kUnicodeMetrics =
    "line_height 18\ndefault 8\n0x20 5\n0x8140 11\n0x2E 3\n"
    "U+00A0 5\nU+2000 8\nU+2001 16\nU+2002 8\nU+2003 16\nU+2004 5.334\nU+2005 4\nU+2006 2.667\n"
    "U+2007 8\nU+2008 3\nU+2009 2\nU+200A 1\nU+202F 3.2\nU+205F 3.556\n";

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        lines.push_back(text.substr(pos, end - pos));
    return lines;
}

// Random pages of parts side by side and overlapping: the plan never leaves more characters off their x
// than the classic fill, keeps every character within its reach, and reports exactly the lines it misses.
// With the Unicode spaces every character lands in place, and a line the plan put in place without them
// is written byte for byte as it was.
TEST(ExactFill, RandomPagesAreNeverWorseThanTheClassicFill) {
    RenderRig rig;
    rig.widths =
        testing::widths_from(std::string(kUnicodeMetrics) + "0x69 2\n0x57 13\n0x28 4\n0x29 6\n0x2F 4\n");
    std::mt19937 rng(5);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const char pool[] = "AiW()/ i i";
    int off_total = 0, classic_total = 0, changed = 0;
    for (int n = 0; n < 150; ++n) {
        clear_preview(*rig.book);
        const int parts = pick(2, 12);
        for (int k = 0; k < parts; ++k) {
            std::string text;
            for (int line = 0; line < 3; ++line) {
                if (line > 0) text += "\r\n";
                for (int c = pick(1, 12); c > 0; --c) text += pool[pick(0, 9)];
            }
            transparent(put_part(rig.page(), k, pick(0, 200), 18 * pick(0, 3), text));
        }
        rig.settings.renderdotflag = pick(0, 1) != 0;
        int off[3] = {0, 0, 0};
        std::vector<std::string> lines[3];
        std::vector<bool> missed;  // by the plan without Unicode spaces
        const BlankFill fills[] = {BlankFill::classic, BlankFill::exact, BlankFill::exact_unicode};
        for (int f = 0; f < 3; ++f) {
            render_page(*rig.ws, *rig.widths, *rig.book, nullptr, nullptr, 0, rig.settings, *rig.out,
                        fills[f]);
            const std::string text(rig.out->text, rig.out->length);
            lines[f] = lines_of(text);
            const Placed got = written_positions(text, *rig.widths);
            const Placed want = composed_positions(rig, static_cast<int>(got.size()));
            int missed_line = 0;
            for (std::size_t l = 0; l < got.size(); ++l) {
                ASSERT_EQ(got[l].size(), want[l].size());
                bool line_off = false;
                for (std::size_t i = 0; i < got[l].size(); ++i) {
                    const int64_t d = got[l][i].second - want[l][i].second;
                    off[f] += d != 0 ? 1 : 0;
                    line_off = line_off || d != 0;
                    if (f > 0) {
                        ASSERT_LE(std::abs(d), kMaxPlanDrift);
                    }
                }
                if (line_off) missed_line = static_cast<int>(l) + 1;
                if (f == 1) missed.push_back(line_off);
            }
            if (f > 0) {
                EXPECT_EQ(rig.error(ErrorKind::inexact_blank), missed_line) << text;
                EXPECT_EQ(text.find("  "), std::string::npos) << text;
            }
        }
        ASSERT_LE(off[1], off[0]) << "page " << n;
        ASSERT_EQ(off[2], 0) << "page " << n;
        ASSERT_EQ(lines[2].size(), missed.size());
        for (std::size_t l = 0; l < missed.size(); ++l) {
            if (missed[l]) {
                ++changed;
            } else {
                EXPECT_EQ(lines[2][l], lines[1][l]);
            }
        }
        classic_total += off[0];
        off_total += off[1];
    }
    // Many runs of these pages are 1 to 3 pixels wide, and runs at a line's start cannot move.
    EXPECT_LT(off_total * 2, classic_total);
    EXPECT_GT(changed, 50);
}

// --- With renderunicodefill

std::string fill_text(const FillItems& items, const FillTokens& tokens) {
    std::string text;
    for (int k = 0; k < tokens.count; ++k) text += items.info(tokens.tokens[k]).text;
    return text;
}

TEST(UnicodeFill, ASpaceOnlyForAWidthTheClassicItemsCannotFill) {
    const auto widths = testing::widths_from(kUnicodeMetrics);
    const std::shared_ptr<const FillItems> items = FillItems::with_unicode_spaces(*widths);
    ASSERT_TRUE(items->unicode());
    EXPECT_EQ(FillItems::with_unicode_spaces(*widths), items);  // built once per set of widths
    const FillEdge befores[] = {FillEdge::line_start, FillEdge::text, FillEdge::half_space};
    const FillEdge afters[] = {FillEdge::text, FillEdge::half_space};
    FillTokens classic, tokens;
    for (bool dots : {false, true})
        for (FillEdge before : befores)
            for (FillEdge after : afters)
                for (int w = 0; w <= 400; ++w) {
                    const FillCost want = exact_fill_cost(w, before, after, dots);
                    const FillCost got = items->cost(w, before, after, dots);
                    ASSERT_TRUE(got.reachable) << w;
                    ASSERT_TRUE(items->fill(w, before, after, dots, tokens));
                    if (want.reachable) {
                        exact_fill(w, before, after, dots, classic);
                        ASSERT_EQ(got.refs, 0) << w;
                        ASSERT_EQ(fill_text(*items, tokens), fill_text(FillItems::classic(), classic)) << w;
                        continue;
                    }
                    ASSERT_EQ(got.refs, 1) << w;
                    int sum = 0;
                    for (int k = 0; k < tokens.count; ++k) {
                        const FillTokenInfo& info = items->info(tokens.tokens[k]);
                        sum += info.width;
                        ASSERT_FALSE(widths->code_point_width(info.code_point).fractional()) << w;
                    }
                    ASSERT_EQ(sum, w);
                }
    // 7 bytes each, as decimal references.
    items->fill(1, FillEdge::text, FillEdge::text, false, tokens);
    EXPECT_EQ(fill_text(*items, tokens), "&#8202;");
    items->fill(3, FillEdge::text, FillEdge::text, false, tokens);
    EXPECT_EQ(fill_text(*items, tokens), "&#8200;");

    // A font whose U+2008 is no whole pixel fills 3 pixels with a 1-pixel space and a "&thinsp;"; one
    // without a 1-pixel space cannot fill 1 pixel at all.
    const auto other = testing::widths_from("line_height 18\ndefault 8\nU+2008 3.2\nU+200A 1\n");
    const auto other_items = FillItems::with_unicode_spaces(*other);
    EXPECT_NE(other_items, items);
    const FillCost three = other_items->cost(3, FillEdge::text, FillEdge::text, false);
    EXPECT_EQ(three.refs, 1);
    EXPECT_EQ(three.bytes, 15);
    const auto none = FillItems::with_unicode_spaces(*testing::widths_from("line_height 18\ndefault 8\n"));
    EXPECT_FALSE(none->cost(1, FillEdge::text, FillEdge::text, true).reachable);
}

TEST(UnicodeFill, OneAndThreePixelRunsOnlyWithTheExactFillAndWhereEntitiesAreAllowed) {
    EXPECT_FALSE(RenderContext{}.unicode_fill);
    RenderRig rig;
    rig.widths = testing::widths_from(kUnicodeMetrics);
    // "AA", a 1-pixel run, "BBBBB", a 3-pixel run, "C", a 2-pixel run, "D".
    transparent(put_part(rig.page(), 0, 0, 0, "AA"));
    transparent(put_part(rig.page(), 1, 17, 0, "BBBBB"));
    transparent(put_part(rig.page(), 2, 60, 0, "C"));
    transparent(put_part(rig.page(), 3, 70, 0, "D"));
    RenderContext ctx;
    ctx.widths = rig.widths.get();
    ctx.global_settings = rig.settings;
    const auto render = [&] {
        render_preview_page(*rig.book, 0, ctx, *rig.ws, *rig.out);
        return std::string(rig.out->text, rig.out->length);
    };
    const std::string classic = render();
    ctx.unicode_fill = true;
    EXPECT_EQ(render(), classic);
    ctx.exact_fill = true;
    EXPECT_EQ(render(),
              "\x81\x40"
              "AA&#8202;BBBBB&#8200;C&thinsp;D\r\n");
    EXPECT_EQ(rig.error(ErrorKind::inexact_blank), 0);
    ctx.global_settings.rendernotsp = true;
    const std::string plain = render();
    ctx.exact_fill = ctx.unicode_fill = false;
    EXPECT_EQ(render(), plain);
}

// A line whose characters leave fractions of a pixel: the browser's pen runs behind the written pixels,
// and the plan writes the run after them as wide as it takes to put the next character within half a
// pixel of its x.
TEST(UnicodeFill, FractionsOfAPixelAreCarriedAlongTheLine) {
    const auto cell = [](int64_t x, int64_t w, int32_t code, int32_t fraction64 = 0) {
        return LineCell{x, w, code, fraction64};
    };
    const auto write = [](const std::vector<LineCell>& cells, const FillItems& items, ErrorReport& report) {
        char data[256];
        TextBuffer out{data, 0, report};
        write_line_exact(out, cells.data(), static_cast<int>(cells.size()), false, 1, items);
        return std::string(data, out.length);
    };
    const auto items = FillItems::with_unicode_spaces(*testing::widths_from(kUnicodeMetrics));
    const int32_t gap = code_of(BlankCode::gap);
    ErrorReport report;
    // Each A is a third of a pixel narrower in the browser: after two of them B needs 11 pixels, not 10.
    const std::vector<LineCell> two = {cell(0, 8, 'A', -21), cell(8, 8, 'A', -21), cell(16, 10, gap),
                                       cell(26, 8, 'B')};
    EXPECT_EQ(write(two, *items, report),
              "AA\x81\x40"
              "B");
    EXPECT_EQ(report.slots[index_of(ErrorKind::inexact_blank)], 0);
    EXPECT_EQ(write(two, FillItems::classic(), report), "AA &nbsp;B");  // without the flag, as ever
    // The same from a part's text: "&#x2006;" is 2.667 pixels wide, 3 on the page.
    RenderRig rig;
    rig.widths = testing::widths_from(kUnicodeMetrics);
    transparent(put_part(rig.page(), 0, 0, 0, "A&#x2006;&#x2006;"));
    transparent(put_part(rig.page(), 1, 24, 0, "B"));
    render_page(*rig.ws, *rig.widths, *rig.book, nullptr, nullptr, 0, rig.settings, *rig.out,
                BlankFill::exact_unicode);
    EXPECT_EQ(std::string(rig.out->text, rig.out->length),
              "\x81\x40"
              "A&#x2006;&#x2006;\x81\x40"
              "B\r\n");
    // After one A the browser's B is a third of a pixel early, which is in place.
    const std::vector<LineCell> one = {cell(0, 8, 'A', -21), cell(8, 8, 'A'), cell(16, 10, gap),
                                       cell(26, 8, 'B')};
    EXPECT_EQ(write(one, *items, report), "AA &nbsp;B");
    // A wide character after a run puts those after it 40/64 pixel late: the run is written a pixel
    // narrower, which puts the two of them in place at the cost of the one before, and the line is said
    // to have missed.
    const std::vector<LineCell> after = {cell(0, 8, 'A'), cell(8, 10, gap), cell(18, 8, 'B', 40),
                                         cell(26, 8, 'C'), cell(34, 8, 'D')};
    clear_report(report);
    FillTokens nine;
    ASSERT_TRUE(exact_fill(9, FillEdge::text, FillEdge::text, false, nine));
    EXPECT_EQ(write(after, *items, report), "A" + fill_text(FillItems::classic(), nine) + "BCD");
    EXPECT_EQ(report.slots[index_of(ErrorKind::inexact_blank)], 1);
}

}  // namespace
}  // namespace glyphora
