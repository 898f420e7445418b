// Blank runs written as space items: exact splits, the fallback rules, drift correction and dots.
#include "render/gap_fill.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "render/test_support.h"

namespace glyphora {
namespace {

using test::put_part;
using test::transparent;
using testing::RenderRig;

const std::string FW = "\x81\x40";  // "　" full-width space

std::vector<int> tokens_of(const TokenList& t) {
    return std::vector<int>(t.tokens, t.tokens + t.count);
}

// The first split met by a depth-first search trying 11 before 5, no two 5s in a row, at most 300 items.
bool dfs_split(int64_t rest, bool last5, int depth, std::vector<int>& out,
               std::map<std::pair<int64_t, int>, bool>& dead) {
    if (rest == 0) return true;
    if (rest < 0 || depth == kMaxTokens) return false;
    const auto key = std::make_pair(rest * 2 + (last5 ? 1 : 0), depth);
    if (dead.count(key)) return false;
    out.push_back(11);
    if (dfs_split(rest - 11, false, depth + 1, out, dead)) return true;
    out.pop_back();
    if (!last5) {
        out.push_back(5);
        if (dfs_split(rest - 5, true, depth + 1, out, dead)) return true;
        out.pop_back();
    }
    dead[key] = true;
    return false;
}

TEST(ExactSplit, FormulaIsTheFirstSplitASearchWouldFind) {
    std::map<std::pair<int64_t, int>, bool> dead;
    for (int64_t t = 1; t <= 1200; ++t) {
        std::vector<int> expected;
        const bool found = dfs_split(t, false, 0, expected, dead);
        TokenList got;
        ASSERT_EQ(exact_split(t, got), found) << t;
        if (found) {
            ASSERT_EQ(tokens_of(got), expected) << t;
        }
    }
}

TEST(ExactSplit, ExamplesAndLimits) {
    TokenList t;
    ASSERT_TRUE(exact_split(16, t));
    EXPECT_EQ(tokens_of(t), (std::vector<int>{11, 5}));
    ASSERT_TRUE(exact_split(21, t));
    EXPECT_EQ(tokens_of(t), (std::vector<int>{5, 11, 5}));
    ASSERT_TRUE(exact_split(38, t));
    EXPECT_EQ(tokens_of(t), (std::vector<int>{11, 11, 11, 5}));
    ASSERT_TRUE(exact_split(800, t));
    std::vector<int> e800(65, 11);
    for (int i = 0; i < 6; ++i) e800.insert(e800.end(), {5, 11});
    e800.pop_back();
    EXPECT_EQ(tokens_of(t), e800);

    std::vector<int64_t> none;
    for (int64_t v = 1; v <= 3250; ++v)
        if (!exact_split(v, t)) none.push_back(v);
    const std::vector<int64_t> expected_none = {
        1,  2,  3,  4,  6,  7,  8,  9,  10, 12, 13, 14, 15, 17,  18,  19,  20,  23,  24,  25,  26, 28,
        29, 30, 31, 34, 35, 36, 39, 40, 41, 42, 45, 46, 47, 50,  51,  52,  56,  57,  58,  61,  62, 63,
        67, 68, 72, 73, 74, 78, 79, 83, 84, 89, 90, 94, 95, 100, 105, 106, 111, 116, 122, 127, 138};
    EXPECT_EQ(none, expected_none);

    // 300 items at most: the largest reachable with 11s alone, and one pixel more.
    EXPECT_TRUE(exact_split(3300, t));
    EXPECT_EQ(t.count, 300);
    EXPECT_FALSE(exact_split(3311, t));
    EXPECT_FALSE(exact_split(0, t));
    EXPECT_FALSE(exact_split(int64_t{1} << 40, t));
}

TEST(DecomposeGap, TargetAtOrBelowZeroWritesNothingWithoutError) {
    TokenList t;
    const RenderSettings s;
    EXPECT_EQ(decompose_gap(0, -1, s, t), GapResult::exact);
    EXPECT_EQ(t.count, 0);
    EXPECT_EQ(decompose_gap(-7, -9, s, t), GapResult::exact);
    EXPECT_EQ(t.count, 0);
}

TEST(DecomposeGap, HugeTargetsStopAfterThreeHundredItems) {
    TokenList t;
    RenderSettings s;
    EXPECT_EQ(decompose_gap(100000, 0, s, t), GapResult::too_many);
    s.rendernotsp = true;
    s.renderdotflag = true;
    EXPECT_EQ(decompose_gap(3313, 0, s, t), GapResult::too_many);
}

// The text written for a run of d pixels between two characters.
struct BlankRun {
    std::string text;
    ErrorReport report;
};

BlankRun run_of(int d, const RenderSettings& settings) {
    RenderRig rig;
    rig.settings = settings;
    transparent(put_part(rig.page(), 0, 0, 0, "A"));
    transparent(put_part(rig.page(), 1, 8 + d, 0, "A"));
    const std::string out = rig.render();
    const std::string head = FW + "A";
    const std::string tail = "A\r\n";
    EXPECT_EQ(out.substr(0, head.size()), head);
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
    return {out.substr(head.size(), out.size() - head.size() - tail.size()), rig.out->report};
}

RenderSettings flags(bool dot, bool notsp, bool nr, bool bar = false) {
    RenderSettings s;
    s.renderdotflag = dot;
    s.rendernotsp = notsp;
    s.rendernotrenspace = nr;
    s.renderspbar = bar;
    return s;
}

TEST(WriteBlank, RunsOfTheExamples) {
    struct Case {
        int d;
        RenderSettings s;
        std::string text;
        bool inexact;
    };
    const RenderSettings off;
    const Case cases[] = {
        {16, off, FW + " ", false},
        {21, off, " " + FW + " ", false},
        {5, off, " ", false},
        {10, off, "&ensp;&thinsp;", false},
        {10, flags(false, true, false), "  ", false},
        {10, flags(false, true, false, true), " _", false},
        {10, flags(false, true, true), FW, true},
        {3, off, "&thinsp;", true},
        {3, flags(true, false, false), ".", false},
        {12, off, "&ensp;&thinsp;&thinsp;", false},
        {12, flags(true, false, false), " &nbsp;&thinsp;", false},
        {13, flags(true, true, false), FW, false},
        {1, off, "", true},
    };
    for (const Case& c : cases) {
        const BlankRun r = run_of(c.d, c.s);
        EXPECT_EQ(r.text, c.text) << c.d;
        EXPECT_EQ(r.report.slots[index_of(ErrorKind::inexact_blank)], c.inexact ? 1 : 0) << c.d;
    }
}

TEST(WriteBlank, DriftOfEarlierRunsIsCorrected) {
    RenderRig rig;
    // A 1-pixel run writes nothing, so the next run starts one pixel behind: 8 + 1 = 9 pixels.
    transparent(put_part(rig.page(), 0, 0, 0, "A"));
    transparent(put_part(rig.page(), 1, 9, 0, "A"));
    transparent(put_part(rig.page(), 2, 25, 0, "A"));
    EXPECT_EQ(rig.render(), FW + "AA &thinsp;&thinsp;A\r\n");
    EXPECT_EQ(rig.error(ErrorKind::inexact_blank), 1);

    // Multiples of 11 or 16 and exactly 5 are written at their own width; the drift waits.
    transparent(put_part(rig.page(), 2, 17 + 16, 0, "A"));
    EXPECT_EQ(rig.render(), FW + "AA" + FW + " A\r\n");

    // Overshoot: the 11 written for 10 pixels makes the next 1-pixel run's target 0.
    rig.settings = flags(false, true, true);
    transparent(put_part(rig.page(), 1, 18, 0, "A"));
    transparent(put_part(rig.page(), 2, 27, 0, "A"));
    EXPECT_EQ(rig.render(), FW + "A" + FW + "AA\r\n");
}

TEST(WriteBlank, ErrorsNameTheLastLine) {
    RenderRig rig;
    for (int line : {3, 7}) {
        transparent(put_part(rig.page(), line, 0, 18 * (line - 1), "A"));
        transparent(put_part(rig.page(), line + 10, 9, 18 * (line - 1), "A"));
    }
    rig.render();
    EXPECT_EQ(rig.error(ErrorKind::inexact_blank), 7);
    EXPECT_EQ(render_result_text(rig.out->report),
              "7行目：パーツの合成中に小さすぎる空白があり、背景がずれたところがあります\r\n");
}

TEST(DotRandom, ClassicSequenceAndOneGeneratorPerRun) {
    reset_dot_random();
    EXPECT_EQ(next_dot_random(), 41);
    EXPECT_EQ(next_dot_random(), 18467);
    EXPECT_EQ(next_dot_random(), 6334);
    EXPECT_EQ(next_dot_random(), 26500);
    reset_dot_random();
    EXPECT_EQ(dot_random_state(), 1u);
}

TEST(ScatterDots, DotsMoveToPseudoRandomFullWidthPlaces) {
    // 36 pixels with dots: 3 11 11 11. Draws 41, 18467, 6334 move the dot to index 1, then 3, then 2.
    TokenList t;
    const RenderSettings s = flags(true, false, false);
    ASSERT_EQ(decompose_gap(36, 0, s, t), GapResult::exact);
    EXPECT_EQ(tokens_of(t), (std::vector<int>{3, 11, 11, 11}));
    reset_dot_random();
    scatter_dots(t);
    EXPECT_EQ(tokens_of(t), (std::vector<int>{11, 11, 3, 11}));

    // The same through the renderer, and the following character stays in place.
    reset_dot_random();
    const BlankRun r = run_of(36, s);
    EXPECT_EQ(r.text, FW + FW + "." + FW);
    EXPECT_FALSE(has_errors(r.report));
    // The generator runs on across renderings: the next one draws other values.
    const BlankRun again = run_of(36, s);
    EXPECT_EQ(again.text.size(), r.text.size());
}

TEST(TextBuffer, CapacityThresholds) {
    struct Case {
        std::size_t n;
        std::size_t last_fitting;  // the largest length at which the write still happens
        bool prefix;
    };
    const Case cases[] = {
        {1, 16382, false}, {2, 16381, false}, {6, 16377, false}, {8, 16375, false}, {5, 16377, true}};
    auto buf = std::make_unique<char[]>(kOutputCapacity);
    for (const Case& c : cases) {
        for (std::size_t start : {c.last_fitting, c.last_fitting + 1}) {
            ErrorReport report;
            TextBuffer text{buf.get(), start, report};
            const std::string bytes(c.n, 'x');
            if (c.prefix) {
                text.put_prefix(bytes.data(), c.n, 12);
            } else {
                text.put(bytes.data(), c.n, 12);
            }
            const bool fits = start == c.last_fitting;
            EXPECT_EQ(text.length, fits ? start + c.n : start) << c.n << " at " << start;
            EXPECT_EQ(report.slots[index_of(ErrorKind::text_too_long)], fits ? 0 : 12);
        }
    }
}

}  // namespace
}  // namespace glyphora
