// The renderer against the plain reference renderer on many random pages: same bytes, same has_content,
// same error report, same number of dots drawn.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/mirror_table.h"
#include "render/gap_fill.h"
#include "render/literal_render.h"
#include "render/measure_part.h"
#include "render/render_line.h"
#include "render/render_page.h"
#include "render/test_support.h"

namespace glyphora {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// The sanitizers make the reference renderer many times slower; the plain build runs the full count.
constexpr int kPages = 1000;
constexpr int kLineTrials = 40;
#else
constexpr int kPages = 10000;
constexpr int kLineTrials = 300;
#endif

// Widths chosen to mix narrow, wide and mirror images of other widths.
constexpr const char* kMixedMetrics =
    "line_height 18\ndefault 8\n0x20 5\n0x8140 11\n0x2E 3\n0x69 2\n0x57 13\n0x82A0 16\n0x26 7\n"
    "0x28 4\n0x29 6\n0xC9 5\n0x8152 9\n0x2F 4\n0x98A4 12\n";

class Random {
  public:
    explicit Random(uint32_t seed) : rng_(seed) {}
    int range(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return range(0, 99) < percent; }
    template <std::size_t N>
    const char* pick(const char* const (&items)[N]) {
        return items[range(0, static_cast<int>(N) - 1)];
    }

  private:
    std::mt19937 rng_;
};

const char* const kChars[] = {
    "A",        "B",  "Z",  "W", "i", ".", ".", " ", " ", " ",
    "\x81\x40",  // "　"
    "\x82\xA0",  // "あ"
    "(",        ")",  "/",
    "\xC9",      // "ﾉ"
    "\x81\x52",  // "ヽ"
    "\x98\xA4",  // "丶"
    "&",        "\t", "\n",
};
const char* const kMarkup[] = {
    "&ttt;", "&www;", "&ensp;", "&nbsp;", "&thinsp;", "&=26;",  "&=0d;",        "&=00;",
    "&=4a;", "&=2e;", "&=zz;",  "&=",     "&ttt",     "&space", "&space=A\r\n",
};
const char* const kNarrow[] = {".", "i", "A", "&ttt; ", " ", "&thinsp;", "."};
const char* const kLineEnds[] = {"\r\n", "\r\n", "\r\n", "\r\n", "\r", "&=0d;"};
const char* const kBulky[] = {"\x82\xA0", "\x82\xA0", "&thinsp;", "A", "&nbsp;", "&ttt; "};

std::string random_line(Random& r, int items) {
    std::string s;
    for (int i = 0; i < items; ++i) s += r.chance(15) ? r.pick(kMarkup) : r.pick(kChars);
    return s;
}

std::string random_declarations(Random& r) {
    std::string s;
    for (int n = r.range(1, 3); n > 0; --n) {
        s += "&space";
        const int kind = r.range(0, 9);
        if (kind < 5) {
            s += "=";
        } else if (kind < 9) {
            s += std::to_string(r.range(0, 9)) + "=";
        } else {
            s += "x=";
        }
        for (int k = r.range(0, r.chance(10) ? 70 : 4); k > 0; --k) s += r.pick(kChars);
        if (!r.chance(5)) s += "\r\n";
    }
    return s;
}

std::string random_text(Random& r, int kind) {
    std::string s;
    if (r.chance(20)) s += random_declarations(r);
    int lines = r.range(1, 6);
    int items = 30;
    if (kind == 1) {  // a line pressed against the cell limit
        lines = 1;
        for (int i = r.range(950, 1300); i > 0; --i) s += r.pick(kNarrow);
        return s;
    }
    if (kind == 2) {  // one of the parts side by side whose texts together overflow the output
        for (int l = r.range(60, 85); l > 0; --l) {
            for (int i = r.range(40, 90); i > 0; --i) s += r.pick(kBulky);
            s += "\r\n";
        }
        return s;
    }
    if (r.chance(5)) {
        lines = r.range(20, 90);
    }
    for (int l = 0; l < lines; ++l) {
        if (l > 0) s += r.pick(kLineEnds);
        s += random_line(r, r.range(0, items));
    }
    return s;
}

void random_part(Random& r, Part& p, const CharWidthTable& widths, int kind, int column) {
    clear_slot(p);
    p.in_use = true;
    p.is_label = r.chance(10);
    p.icon = r.chance(10);
    p.always_opaque = r.chance(40);
    p.flip_h = r.chance(25);
    p.flip_v = r.chance(20);
    p.no_mirror_table = r.chance(20);
    p.border_left = r.chance(30) ? r.range(-4, 24) : 0;
    p.border_right = r.chance(30) ? r.range(-4, 24) : 0;
    const int where = r.range(0, 99);
    if (where < 85) {
        p.x = r.range(-40, 500);
    } else if (where < 98) {
        p.x = r.range(-3000, 20000);
    } else {
        p.x = r.chance(50) ? 2147483000 : -2147483000;
    }
    if (kind == 2) p.x = column * 1500 + r.range(-40, 40);
    p.y = kind == 2 ? r.range(-20, 40) : r.range(-40, 1500);
    set_text(p, random_text(r, kind));
    const int box = r.range(0, 9);
    if (box < 4) {
        p.box = measure_part(p, widths);
    } else if (box < 7) {
        p.box = Box{r.range(-50, 600), r.range(-40, 1500), r.range(-50, 1200), r.range(-40, 1600)};
    }
}

std::string escaped(std::string_view s) {
    std::string out;
    char buf[8];
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string describe(const Page& page, const RenderSettings& s) {
    std::string d = "settings:";
    for (int i = 0; i < RenderSettings::kCount; ++i) d += s.flag(i) ? " 1" : " 0";
    d += "\n";
    for (int i = 0; i < kPartsPerPage; ++i) {
        const Part& p = page.slots[i];
        if (!p.in_use) continue;
        char head[256];
        std::snprintf(head, sizeof head,
                      "slot %d: x %d y %d box (%d %d %d %d) opaque %d flip %d/%d nomirror %d borders %d/%d\n",
                      i, p.x, p.y, p.box.left, p.box.top, p.box.right, p.box.bottom, p.always_opaque,
                      p.flip_h, p.flip_v, p.no_mirror_table, p.border_left, p.border_right);
        d += head;
        d += "  text \"" + escaped(get_string(p.text)) + "\"\n";
    }
    return d;
}

TEST(RenderDifferential, RandomPagesMatchTheReference) {
    const auto mixed = testing::widths_from(kMixedMetrics);
    const auto plain = testing::test_widths();
    auto tables = std::make_unique<MirrorTables>();
    load_mirror_tables(*tables, "-", "-");
    insert(tables->horizontal, 'A', 'Z');
    insert(tables->horizontal, '.', 'W');  // narrow to wide: the drift-reducing mode matters
    insert(tables->horizontal, 'i', 0x82A0);
    insert(tables->vertical, 'A', 'B');
    insert(tables->vertical, 0x82A0, '.');
    insert(tables->vertical, '&', 0x20);

    auto book = std::make_unique<PreviewBook>();
    auto ws = std::make_unique<RenderWorkspace>();
    auto out = std::make_unique<RenderOutput>();
    auto lit_ws = std::make_unique<literal::Workspace>();
    auto lit_out = std::make_unique<literal::Output>();
    Random r(20240611);
    int with_content = 0, full_lines = 0, gap_no_room = 0, too_long = 0, too_many_lines = 0, inexact = 0,
        too_many_blanks = 0;

    for (int n = 0; n < kPages; ++n) {
        const CharWidthTable& widths = r.chance(70) ? *mixed : *plain;
        const int page = r.range(0, kPreviewPages - 1);
        RenderSettings s;
        for (int i = 0; i < RenderSettings::kCount; ++i) s.flag(i) = r.chance(35);
        const int kind_roll = r.range(0, 99);
        const int kind = kind_roll < 4 ? 1 : kind_roll < 6 ? 2 : 0;
        const int parts = kind == 0 ? r.range(0, 8) : r.range(2, 4);
        clear_page(book->pages[page]);
        for (int k = 0; k < parts; ++k) {
            // On a page with a long line the other parts overlap it; bulky parts stand side by side.
            const int part_kind = kind == 1 && k > 0 ? 0 : kind;
            random_part(r, book->pages[page].slots[r.range(0, kPartsPerPage - 1)], widths, part_kind, k);
        }
        const MirrorTable* h = r.chance(85) ? &tables->horizontal : nullptr;
        const MirrorTable* v = r.chance(85) ? &tables->vertical : nullptr;

        const uint32_t seed = static_cast<uint32_t>(r.range(0, 1 << 30));
        set_dot_random_state(seed);
        literal::dot_state = seed;
        render_page(*ws, widths, *book, h, v, page, s, *out);
        literal::render_page(*lit_ws, widths, *book, h, v, page, s, *lit_out);

        const std::string got(out->text, out->length);
        const std::string want(lit_out->text, lit_out->length);
        if (got != want || out->has_content != lit_out->has_content || !(out->report == lit_out->report) ||
            dot_random_state() != literal::dot_state || out->text[out->length] != '\0') {
            std::size_t at = 0;
            while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
            std::string slots;
            for (int k = 1; k < kErrorSlots; ++k)
                slots += " " + std::to_string(out->report.slots[k]) + "/" +
                         std::to_string(lit_out->report.slots[k]);
            FAIL() << "page " << n << " differs at byte " << at << "\nerrors (got/want):" << slots
                   << "\ngot:  " << escaped(got.substr(at > 40 ? at - 40 : 0, 120))
                   << "\nwant: " << escaped(want.substr(at > 40 ? at - 40 : 0, 120)) << "\n"
                   << describe(book->pages[page], s);
        }
        with_content += out->has_content ? 1 : 0;
        full_lines += out->report.slots[index_of(ErrorKind::line_full)] ? 1 : 0;
        gap_no_room += out->report.slots[index_of(ErrorKind::gap_no_room)] ? 1 : 0;
        too_long += out->report.slots[index_of(ErrorKind::text_too_long)] ? 1 : 0;
        too_many_lines += out->report.slots[index_of(ErrorKind::too_many_lines)] ? 1 : 0;
        inexact += out->report.slots[index_of(ErrorKind::inexact_blank)] ? 1 : 0;
        too_many_blanks += out->report.slots[index_of(ErrorKind::too_many_blanks)] ? 1 : 0;
    }
    RecordProperty("pages_with_content", with_content);
    RecordProperty("line_full", full_lines);
    RecordProperty("gap_no_room", gap_no_room);
    RecordProperty("text_too_long", too_long);
    RecordProperty("too_many_lines", too_many_lines);
    RecordProperty("inexact", inexact);
    RecordProperty("too_many_blanks", too_many_blanks);
    // The generator must keep reaching every limit, or the comparison proves little.
    EXPECT_GT(with_content, kPages / 2);
    EXPECT_GT(full_lines, kPages / 200);
    EXPECT_GT(gap_no_room, kPages / 500);
    EXPECT_GT(too_long, kPages / 500);
    EXPECT_GT(too_many_lines, kPages / 100);
    EXPECT_GT(inexact, kPages / 10);
    EXPECT_GT(too_many_blanks, kPages / 500);
}

// One line driven directly: long sequential runs, jumps, wide cells and far more than 1000 cells, compared
// cell by cell at random moments (so the gap of the buffer sits anywhere in between).
TEST(RenderDifferential, LineOperationsMatchTheReference) {
    Random r(777);
    auto line = std::make_unique<RenderLine>();
    auto lit = std::make_unique<literal::Line>();
    auto filled = std::make_unique<LineCell[]>(kCellsPerLine);
    const int32_t codes[] = {'A',
                             0x82A0,
                             0x20,
                             0x8140,
                             code_of(BlankCode::wide),
                             code_of(BlankCode::fill),
                             code_of(BlankCode::thin)};
    int full_seen = 0, no_room_seen = 0;
    for (int trial = 0; trial < kLineTrials; ++trial) {
        line->clear(5);
        literal::clear_line(*lit, 5);
        const int ops = r.range(50, 4000);
        const int max_w = r.chance(50) ? 3 : 16;
        const int span = r.chance(50) ? 2500 : 6000;
        const int wide = r.chance(50) ? 0 : 5;  // share of wide cells, which clear whole stretches
        int64_t cursor = r.range(0, 100);
        for (int op = 0; op < ops; ++op) {
            const int what = r.range(0, 99);
            int64_t x = cursor;
            int64_t w = r.range(1, max_w);
            if (what < 75) {
                cursor += r.chance(80) ? w : w + r.range(-3, 6);
            } else if (what < 83) {
                x = cursor = r.range(-20, span);
            } else if (what < 93) {
                x = cursor - r.range(1, 40);  // right to left, as a flipped part goes
                cursor = x;
            } else if (what < 93 + wide) {
                x = r.range(0, span);
                w = r.range(20, 600);
            } else {
                w = r.range(-3, 0);
            }
            const int32_t code = codes[r.range(0, 6)];
            ErrorReport report;
            const bool full = line->place_cell(code, x, w);
            literal::place_cell(*lit, report, code, x, w);
            ASSERT_EQ(full, report.slots[index_of(ErrorKind::line_full)] != 0)
                << "trial " << trial << " op " << op;
            full_seen += full ? 1 : 0;
            if (r.chance(3) || op == ops - 1) {
                const LineCell* cells = line->cells();
                const int n = line->size();
                for (int i = 0; i < kCellsPerLine; ++i) {
                    const literal::Cell& c = lit->cells[i];
                    ASSERT_EQ(i < n, c.used) << "trial " << trial << " op " << op << " cell " << i;
                    if (i >= n) break;
                    ASSERT_EQ(cells[i].x, c.x);
                    ASSERT_EQ(cells[i].width, c.width);
                    ASSERT_EQ(cells[i].code, c.code);
                }
            }
        }
        bool no_room = false;
        int n = fill_gaps(line->cells(), line->size(), filled.get(), no_room);
        n = merge_blanks(filled.get(), n);
        ErrorReport report;
        literal::fill_gaps(*lit, report);
        literal::merge_blanks(*lit);
        ASSERT_EQ(no_room, report.slots[index_of(ErrorKind::gap_no_room)] != 0) << "trial " << trial;
        no_room_seen += no_room ? 1 : 0;
        for (int i = 0; i < kCellsPerLine; ++i) {
            const literal::Cell& c = lit->cells[i];
            ASSERT_EQ(i < n, c.used) << "trial " << trial << " cell " << i;
            if (i >= n) break;
            ASSERT_EQ(filled[i].x, c.x);
            ASSERT_EQ(filled[i].width, c.width);
            ASSERT_EQ(filled[i].code, c.code);
        }
    }
    RecordProperty("line_full", full_seen);
    RecordProperty("gap_no_room", no_room_seen);
    EXPECT_GT(full_seen, kLineTrials / 10);
    EXPECT_GT(no_room_seen, kLineTrials / 40);
}

}  // namespace
}  // namespace glyphora
