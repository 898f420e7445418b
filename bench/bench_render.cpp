// render_page on two fixed pages, against the plain reference renderer of the tests in the same run:
// (a) a typical dense page, (b) a worst case whose lines are pressed against the 1000-cell limit.
// Prints both times and their ratio after the usual benchmark table. Then the exact-alignment fill on
// those pages and on (c), whose every line is full of 1- and 3-pixel runs that no classic item writes
// exactly, and on (c) the Unicode fill, whose spaces do.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../tests/render/literal_render.h"
#include "model/mirror_table.h"
#include "render/exact_fill.h"
#include "render/gap_fill.h"
#include "render/measure_part.h"
#include "render/render_page.h"

namespace {

using namespace glyphora;

// Narrow and wide characters, as real AA mixes them.
constexpr const char* kMetrics =
    "line_height 18\ndefault 8\n0x20 5\n0x8140 11\n0x2E 3\n0x69 2\n0x7C 2\n0x27 2\n0x3A 3\n0x6C 3\n0x21 2\n"
    "0x2C 3\n0x28 4\n0x29 4\n0x2F 4\n0x82A0 16\n0x8152 9\n0x98A4 12\n";

// A fixed pseudo-random sequence, so every run renders the same pages.
struct Lcg {
    uint32_t state;
    int next(int n) {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 8) % static_cast<uint32_t>(n));
    }
};

// (d): 10 parts of 8 lines x 30 items, every other one a numeric reference, the others blanks and plain
// characters; (e): the same page with each reference replaced by a plain character of its width. (f) and
// (g) the same with one reference in six items (every third character). The output of (d) stays within
// the text buffer, so that each pair does the same work but for the references.
void build_references(Page& page, bool references, int every) {
    struct Twin {
        const char* reference;
        const char* plain;
    };
    // A code point the metrics do not list is as wide as "default" (8), one of ASCII as its character.
    const Twin pool[] = {{"&#x2661;", "A"}, {"&#9733;", "B"}, {"&#x25A0", "Z"},
                         {"&#40;", "("},    {"&#41;", ")"},   {"&#X2F;", "/"},
                         {"&#46;", "."},    {"&#105;", "i"},  {"&#124;", "|"}};
    const char* const blanks[] = {" ", "\x81\x40", "A", "\x82\xA0"};  // and plain characters
    Lcg rng{11};
    for (int k = 0; k < 10; ++k) {
        Part& p = page.slots[k];
        clear_slot(p);
        p.in_use = true;
        p.always_opaque = k % 4 == 0;
        p.flip_h = k % 5 == 3;
        p.x = (k % 5) * 140 + rng.next(20);
        p.y = (k / 5) * 9 * 18 + rng.next(4) * 18;
        std::string text;
        for (int line = 0; line < 8; ++line) {
            if (line > 0) text += "\r\n";
            for (int c = 0; c < 30; ++c) {
                const Twin& t = pool[rng.next(9)];
                const bool reference = references && (c / 2) % every == 0;
                text += c % 2 == 0 ? (reference ? t.reference : t.plain) : blanks[rng.next(4)];
            }
        }
        set_text(p, text);
    }
}

struct Setup {
    std::unique_ptr<CharWidthTable> widths = std::make_unique<CharWidthTable>();
    std::unique_ptr<PreviewBook> book = std::make_unique<PreviewBook>();
    std::unique_ptr<MirrorTables> tables = std::make_unique<MirrorTables>();
    RenderSettings settings = default_global_render_settings();

    Setup() {
        auto file = std::make_unique<MetricsFile>();
        parse_metrics(kMetrics, *file);
        MetricsFileSource source(*file);
        widths->build(source);
        load_mirror_tables(*tables, "-", "-");
        build_typical(book->pages[0]);
        build_worst(book->pages[1]);
        build_tiny_gaps(book->pages[2]);
        build_references(book->pages[3], true, 1);
        build_references(book->pages[4], false, 1);
        build_references(book->pages[5], true, 3);
        build_references(book->pages[6], false, 3);
        for (Page& page : book->pages) measure_unmeasured(page, *widths);
    }

    // 50 parts of 10 lines x 40 mixed single- and double-byte characters, spread with some overlap.
    static void build_typical(Page& page) {
        const char* const pool[] = {"A",        "B", "(", ")", "/", " ", ".", "i", "|",
                                    "\x82\xA0",   // "あ"
                                    "\x81\x40",   // "　"
                                    "\x81\x52",   // "ヽ"
                                    "\x98\xA4"};  // "丶"
        Lcg rng{42};
        for (int k = 0; k < kPartsPerPage; ++k) {
            Part& p = page.slots[k];
            clear_slot(p);
            p.in_use = true;
            p.always_opaque = k % 4 == 0;
            p.flip_h = k % 7 == 3;
            p.x = (k % 10) * 70 + rng.next(30);
            p.y = (k / 10) * 14 * 18 + rng.next(6) * 18;
            std::string text;
            for (int line = 0; line < 10; ++line) {
                if (line > 0) text += "\r\n";
                for (int c = 0; c < 40; ++c) text += pool[rng.next(13)];
            }
            set_text(p, text);
        }
    }

    // 50 parts of 80 lines x 200 single-byte characters of mixed widths, part k at x = 37 k, y = 0; every
    // third part always opaque with borders, every fifth flipped horizontally.
    static void build_worst(Page& page) {
        // 2 to 4 pixels wide (2.3 on average), so that the 37-pixel strips the later parts leave of each
        // earlier one fill the lines up to the cell limit.
        const char pool[] = {'i', '|', '\'', '!', '.', 'i', '|', '\'', '!', ':', 'i', '('};
        Lcg rng{7};
        for (int k = 0; k < kPartsPerPage; ++k) {
            Part& p = page.slots[k];
            clear_slot(p);
            p.in_use = true;
            p.always_opaque = k % 3 == 0;
            if (p.always_opaque) {
                p.border_left = 6;
                p.border_right = 9;
            }
            p.flip_h = k % 5 == 0;
            p.x = 37 * k;
            p.y = 0;
            std::string text;
            for (int line = 0; line < 80; ++line) {
                if (line > 0) text += "\r\n";
                for (int c = 0; c < 200; ++c) text += pool[rng.next(static_cast<int>(sizeof pool))];
            }
            set_text(p, text);
        }
    }

    // 80 lines of 500 narrow characters, each followed by a declared blank of 1 or 3 pixels (or now and
    // then a half-width space): 1000 cells a line, half of them runs the plan has to move characters for.
    static void build_tiny_gaps(Page& page) {
        const char chars[] = {'i', '|', '(', '/', 'A'};
        const char blanks[] = {'_', '-', '_', '-', ' '};
        Lcg rng{3};
        for (int k = 0; k < 5; ++k) {
            Part& p = page.slots[k];
            clear_slot(p);
            p.in_use = true;
            p.always_opaque = false;
            p.y = k * 16 * 18;
            // "-" is a 3-pixel blank, "_" a 1-pixel one (the second line overwrites the first entry).
            std::string text = "&space3=x-\r\n&space1=_\r\n";
            for (int line = 0; line < 16; ++line) {
                if (line > 0) text += "\r\n";
                for (int c = 0; c < 500; ++c) {
                    text += chars[rng.next(5)];
                    text += blanks[rng.next(5)];
                }
            }
            set_text(p, text);
        }
    }
};

Setup& setup() {
    static Setup s;
    return s;
}

void BM_Render(benchmark::State& state) {
    Setup& s = setup();
    auto ws = std::make_unique<RenderWorkspace>();
    auto out = std::make_unique<RenderOutput>();
    for (auto _ : state) {
        render_page(*ws, *s.widths, *s.book, &s.tables->horizontal, &s.tables->vertical,
                    static_cast<int>(state.range(0)), s.settings, *out);
        benchmark::DoNotOptimize(out->length);
    }
}

void BM_Literal(benchmark::State& state) {
    Setup& s = setup();
    auto ws = std::make_unique<literal::Workspace>();
    auto out = std::make_unique<literal::Output>();
    for (auto _ : state) {
        literal::render_page(*ws, *s.widths, *s.book, &s.tables->horizontal, &s.tables->vertical,
                             static_cast<int>(state.range(0)), s.settings, *out);
        benchmark::DoNotOptimize(out->length);
    }
}

void BM_RenderExact(benchmark::State& state) {
    Setup& s = setup();
    auto ws = std::make_unique<RenderWorkspace>();
    auto out = std::make_unique<RenderOutput>();
    for (auto _ : state) {
        render_page(*ws, *s.widths, *s.book, &s.tables->horizontal, &s.tables->vertical,
                    static_cast<int>(state.range(0)), s.settings, *out, BlankFill::exact);
        benchmark::DoNotOptimize(out->length);
    }
}

// The same widths with the Unicode spaces as Monapo 16 px has them: U+200A and U+2008 reach the 1- and
// 3-pixel runs of (c).
const CharWidthTable& unicode_widths() {
    static const std::unique_ptr<CharWidthTable> widths = [] {
        auto file = std::make_unique<MetricsFile>();
        parse_metrics(std::string(kMetrics) +
                          "U+00A0 5\nU+2002 8\nU+2003 16\nU+2005 4\nU+2006 2.667\nU+2008 3\nU+2009 2\n"
                          "U+200A 1\n",
                      *file);
        MetricsFileSource source(*file);
        auto table = std::make_unique<CharWidthTable>();
        table->build(source);
        return table;
    }();
    return *widths;
}

void BM_RenderUnicodeFill(benchmark::State& state) {
    Setup& s = setup();
    auto ws = std::make_unique<RenderWorkspace>();
    auto out = std::make_unique<RenderOutput>();
    FillItems::with_unicode_spaces(unicode_widths());  // its tables are built once per font, not timed
    for (auto _ : state) {
        render_page(*ws, unicode_widths(), *s.book, &s.tables->horizontal, &s.tables->vertical,
                    static_cast<int>(state.range(0)), s.settings, *out, BlankFill::exact_unicode);
        benchmark::DoNotOptimize(out->length);
    }
}

BENCHMARK(BM_Render)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderExact)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderUnicodeFill)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Literal)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
// references and their plain twins
BENCHMARK(BM_Render)->Arg(3)->Arg(4)->Arg(5)->Arg(6)->Unit(benchmark::kMillisecond);

class Recorder : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration || r.aggregate_name == "mean")
                ms[r.run_name.str()] = r.GetAdjustedRealTime();
    }
};

// What the pages do to their lines, and that both renderers agree on them.
void describe_pages() {
    Setup& s = setup();
    auto ws = std::make_unique<RenderWorkspace>();
    auto out = std::make_unique<RenderOutput>();
    auto lit_ws = std::make_unique<literal::Workspace>();
    auto lit_out = std::make_unique<literal::Output>();
    for (int page = 0; page < 3; ++page) {
        set_dot_random_state(1);
        literal::dot_state = 1;
        render_page(*ws, *s.widths, *s.book, &s.tables->horizontal, &s.tables->vertical, page, s.settings,
                    *out);
        int most = 0;
        long total = 0;
        for (RenderLine& line : ws->lines) {
            most = std::max(most, line.size());
            total += line.size();
        }
        literal::render_page(*lit_ws, *s.widths, *s.book, &s.tables->horizontal, &s.tables->vertical, page,
                             s.settings, *lit_out);
        const bool same =
            out->length == lit_out->length &&
            std::string_view(out->text, out->length) == std::string_view(lit_out->text, lit_out->length) &&
            out->report == lit_out->report;
        std::printf("page (%c): %zu bytes, cells per line after layout: up to %d (%ld in all); errors",
                    'a' + page, out->length, most, total);
        for (int k = 1; k < kErrorSlots; ++k) std::printf(" %d", out->report.slots[k]);
        std::printf("; reference output %s\n", same ? "identical" : "DIFFERENT");
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    describe_pages();
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    const char* names[] = {"typical dense page (a)", "worst-case page (b)"};
    for (int page = 0; page < 2; ++page) {
        std::string arg = "/";
        arg += std::to_string(page);
        const auto r = recorder.ms.find("BM_Render" + arg);
        const auto l = recorder.ms.find("BM_Literal" + arg);
        if (r == recorder.ms.end() || l == recorder.ms.end()) continue;
        std::printf("%s: render_page %.3f ms, reference %.3f ms, %.1f times faster\n", names[page], r->second,
                    l->second, l->second / r->second);
    }
    const char* exact_names[] = {"typical dense page (a)", "worst-case page (b)", "tiny runs page (c)"};
    for (int page = 0; page < 3; ++page) {
        const std::string arg = "/" + std::to_string(page);
        const auto r = recorder.ms.find("BM_Render" + arg);
        const auto e = recorder.ms.find("BM_RenderExact" + arg);
        if (r == recorder.ms.end() || e == recorder.ms.end()) continue;
        std::printf("%s, exact-alignment fill: %.3f ms (classic fill %.3f ms)\n", exact_names[page],
                    e->second, r->second);
    }
    if (const auto u = recorder.ms.find("BM_RenderUnicodeFill/2"); u != recorder.ms.end()) {
        // What the Unicode spaces cost in bytes, and whether any line still misses (the report keeps the
        // last line that did, 0 for none).
        auto ws = std::make_unique<RenderWorkspace>();
        auto out = std::make_unique<RenderOutput>();
        const auto render = [&](BlankFill fill) {
            render_page(*ws, unicode_widths(), *setup().book, nullptr, nullptr, 2, setup().settings, *out,
                        fill);
            return std::pair(out->length, out->report.slots[index_of(ErrorKind::inexact_blank)]);
        };
        const auto [exact_bytes, exact_missed] = render(BlankFill::exact);
        const auto [unicode_bytes, unicode_missed] = render(BlankFill::exact_unicode);
        std::printf(
            "tiny runs page (c), Unicode fill: %.3f ms, %zu bytes, last line missed %d (exact fill: "
            "%zu bytes, last line missed %d)\n",
            u->second, unicode_bytes, unicode_missed, exact_bytes, exact_missed);
    }
    for (const auto& [page, what] : {std::pair(3, "half of the items references (d, e)"),
                                     std::pair(5, "one item in six a reference (f, g)")}) {
        const auto refs = recorder.ms.find("BM_Render/" + std::to_string(page));
        const auto plain = recorder.ms.find("BM_Render/" + std::to_string(page + 1));
        if (refs == recorder.ms.end() || plain == recorder.ms.end()) continue;
        auto ws = std::make_unique<RenderWorkspace>();
        auto out = std::make_unique<RenderOutput>();
        Setup& s = setup();
        render_page(*ws, *s.widths, *s.book, &s.tables->horizontal, &s.tables->vertical, page, s.settings,
                    *out);
        const std::size_t ref_bytes = out->length;
        const int32_t references = out->report.references;
        render_page(*ws, *s.widths, *s.book, &s.tables->horizontal, &s.tables->vertical, page + 1, s.settings,
                    *out);
        std::printf(
            "%s: %.3f ms, %d references, %zu bytes; with plain characters %.3f ms, %zu bytes; %+.1f%%\n",
            what, refs->second, references, ref_bytes, plain->second, out->length,
            100.0 * (refs->second - plain->second) / plain->second);
    }
    benchmark::Shutdown();
    return 0;
}
