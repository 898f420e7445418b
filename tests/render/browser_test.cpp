// The HTML output in a real browser: headless Chromium lays the page out in Monapo, and every character
// must land where our width table says it does (and, when no blank was inexact, where it was composed).
// With the exact-alignment fill, also how many characters land where they were composed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/aa_formats.h"
#include "exchange/library_import.h"
#include "gtest_support/test_support.h"
#include "io/file_io.h"
#include "model/sjis.h"
#include "model/test_support.h"
#include "render/measure_part.h"
#include "render/output.h"
#include "render/part_markup.h"
#include "render/render_page.h"
#include "system/encoding.h"
#include "system/font_metrics.h"

namespace glyphora {
namespace {

namespace fs = std::filesystem;

// Appended after the page: reports every character of the <font> element as "code:left:top".
const char* kMeasureScript = R"(<script>
var f = document.querySelector("font"), out = [];
var walk = document.createTreeWalker(f, NodeFilter.SHOW_TEXT), n;
while ((n = walk.nextNode())) {
  for (var i = 0; i < n.data.length; i++) {
    var r = document.createRange(); r.setStart(n, i); r.setEnd(n, i + 1);
    var b = r.getBoundingClientRect();
    out.push(n.data.charCodeAt(i) + ":" + b.left + ":" + b.top);
  }
}
var p = document.createElement("pre"); p.id = "result"; p.textContent = out.join(" ");
document.body.appendChild(p);
</script>
)";

// The half-width (semi-)voiced sound marks extend the grapheme cluster before them, so the browser reports
// the cluster's box for them; their own advance still shows in the position of the next character.
bool reports_cluster_box(int code) {
    return code == 0xFF9E || code == 0xFF9F;
}

struct Glyph {
    int code;  // UTF-16 unit
    double left;
};

std::string find_chromium() {
    for (const char* c : {"/usr/bin/chromium", "/usr/bin/chromium-browser", "/usr/bin/google-chrome"})
        if (fs::exists(c)) return c;
    return {};
}

// Lines of glyphs, top to bottom, each as laid out by the browser.
std::vector<std::vector<Glyph>> browser_layout(const std::string& html_path, const fs::path& work) {
    const std::string chromium = find_chromium();
    const fs::path dom = work / "dom.html";
    const std::string cmd = chromium +
                            " --headless --no-sandbox --disable-gpu --disable-background-networking"
                            " --disable-component-update --disable-sync --no-first-run --user-data-dir=" +
                            (work / "profile").string() + " --dump-dom file://" + html_path + " >" +
                            dom.string() + " 2>/dev/null";
    const int rc = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << cmd;
    std::string text;
    read_whole_file(dom.string(), text);
    const std::string open = "<pre id=\"result\">";
    const std::size_t a = text.find(open);
    const std::size_t b = text.find("</pre>", a);
    EXPECT_NE(a, std::string::npos) << "no result in the dumped page";
    std::map<double, std::vector<Glyph>> by_top;
    if (a == std::string::npos || b == std::string::npos) return {};
    std::istringstream items(text.substr(a + open.size(), b - a - open.size()));
    std::string item;
    while (items >> item) {
        int code = 0;
        double left = 0, top = 0;
        // The line feeds of the HTML source are white space the browser collapses away.
        if (std::sscanf(item.c_str(), "%d:%lf:%lf", &code, &left, &top) == 3 && code != '\n')
            by_top[top].push_back({code, left});
    }
    std::vector<std::vector<Glyph>> lines;
    for (auto& [top, glyphs] : by_top) lines.push_back(glyphs);
    return lines;
}

// Where our width table puts each item of each rendered line (x from the line's start, leading
// full-width space included), as UTF-16 code and x.
std::vector<std::vector<Glyph>> expected_layout(std::string_view text, const CharWidthTable& widths) {
    std::vector<std::vector<Glyph>> lines(1);
    int x = 0;
    struct Entity {
        std::string_view name;
        int code;
        int width;
    };
    const Entity entities[] = {{"&nbsp;", 0xA0, 5}, {"&ensp;", 0x2002, 8}, {"&thinsp;", 0x2009, 2}};
    for (std::size_t pos = 0; pos < text.size();) {
        if (text[pos] == '\r') {
            pos += text.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
            lines.emplace_back();
            x = 0;
            continue;
        }
        bool entity = false;
        for (const auto& e : entities) {
            if (text.compare(pos, e.name.size(), e.name) == 0) {
                lines.back().push_back({e.code, static_cast<double>(x)});
                x += e.width;
                pos += e.name.size();
                entity = true;
                break;
            }
        }
        if (entity) continue;
        const SjisChar ch = char_at(text, pos);
        const int unicode = sjis_code_to_unicode(ch.code);
        lines.back().push_back({unicode, static_cast<double>(x)});
        x += widths.width(ch.code);
        pos += static_cast<std::size_t>(ch.length);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

class Browser : public ::testing::Test {
  protected:
    std::unique_ptr<CharWidthTable> widths = std::make_unique<CharWidthTable>();
    std::unique_ptr<Documents> docs = make_documents();
    std::unique_ptr<MirrorTables> mirrors = std::make_unique<MirrorTables>();
    std::unique_ptr<RenderWorkspace> ws = std::make_unique<RenderWorkspace>();
    std::unique_ptr<RenderOutput> out = std::make_unique<RenderOutput>();
    fs::path dir;

    void SetUp() override {
        if (find_chromium().empty())
            GLYPHORA_SKIP_UNLESS_CI << "Chromium is not installed (make deps installs it)";
        std::string error;
        ASSERT_TRUE(build_width_table_from_font(*widths, "Monapo", 120, error)) << error;
        load_mirror_tables(*mirrors, "-", "-");
        dir = fs::path(std::getenv("GLYPHORA_HOME")) /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }

    Part& put(int slot, int x, int y, const std::string& utf8_text) {
        const Conversion c = utf8_to_sjis(utf8_text);
        EXPECT_TRUE(c.ok) << utf8_text;
        return test::transparent(test::put_part(docs->preview.pages[0], slot, x, y, c.text));
    }

    // Renders page 0, checks the browser against our widths, and returns the report.
    ErrorReport check_page(BlankFill fill = BlankFill::classic) {
        measure_unmeasured(docs->preview.pages[0], *widths);
        RenderSettings settings = default_global_render_settings();
        render_page(*ws, *widths, docs->preview, &mirrors->horizontal, &mirrors->vertical, 0, settings, *out,
                    fill);
        EXPECT_TRUE(out->has_content);
        const std::string_view text(out->text, out->length);
        std::string html = html_header("browser.aap", "Monapo");
        write_html_text(html, text);
        html += html_footer();
        html += kMeasureScript;
        const fs::path page = dir / "page.html";
        EXPECT_TRUE(write_file_atomically(page.string(), html).ok);

        const auto expected = expected_layout(text, *widths);
        const auto actual = browser_layout(page.string(), dir);
        EXPECT_EQ(actual.size(), expected.size());
        for (std::size_t l = 0; l < expected.size() && l < actual.size(); ++l) {
            EXPECT_EQ(actual[l].size(), expected[l].size()) << "line " << l + 1;
            if (actual[l].size() != expected[l].size()) continue;
            const double origin = actual[l][0].left;
            for (std::size_t i = 0; i < expected[l].size(); ++i) {
                EXPECT_EQ(actual[l][i].code, expected[l][i].code) << "line " << l + 1 << " item " << i;
                if (reports_cluster_box(expected[l][i].code)) continue;
                EXPECT_DOUBLE_EQ(actual[l][i].left - origin, expected[l][i].left)
                    << "line " << l + 1 << " item " << i << " U+" << std::hex << expected[l][i].code;
            }
        }
        last_actual = actual;
        return out->report;
    }

    // Every character cell lands where it was composed, one full-width space to the right.
    void check_composed_positions() {
        const auto [in_place, total] = count_composed_positions();
        EXPECT_EQ(in_place, total);
    }

    // The character cells that land where they were composed, and all character cells.
    std::pair<int, int> count_composed_positions() {
        int in_place = 0, total = 0;
        for (int l = 0; l < kRenderLines && l < static_cast<int>(last_actual.size()); ++l) {
            RenderLine& line = ws->lines[l];
            const LineCell* cells = line.cells();
            const double origin = last_actual[static_cast<std::size_t>(l)][0].left;
            for (int i = 0; i < line.size(); ++i) {
                if (is_blank_code(cells[i].code)) continue;
                const int unicode = sjis_code_to_unicode(cells[i].code);
                if (reports_cluster_box(unicode)) continue;
                bool found = false;
                for (const Glyph& g : last_actual[static_cast<std::size_t>(l)])
                    found = found ||
                            (g.code == unicode && g.left - origin == static_cast<double>(cells[i].x + 11));
                ++total;
                in_place += found ? 1 : 0;
                if (!found && verbose_misses)
                    ADD_FAILURE() << "line " << l + 1 << ": U+" << std::hex << unicode << std::dec
                                  << " composed at " << cells[i].x;
            }
        }
        return {in_place, total};
    }

    // Renders page 0 with the fill and reports the share of characters in place and the bytes written.
    double share_in_place(BlankFill fill, const char* what) {
        check_page(fill);
        const auto [in_place, total] = count_composed_positions();
        const double share = 100.0 * in_place / std::max(total, 1);
        std::printf("%s: %d of %d characters in place (%.1f%%), %zu bytes\n", what, in_place, total, share,
                    out->length);
        RecordProperty(what, std::to_string(share) + "% " + std::to_string(out->length) + " bytes");
        return share;
    }

    bool verbose_misses = true;

    std::vector<std::vector<Glyph>> last_actual;
};

TEST_F(Browser, ComposedPageWithOverlapsFlipsOpaquePartsAndTransparentRuns) {
    put(0, 0, 0, "(´･ω･`)  ／￣￣￣￣￣＼\r\n|　　　　　　|<< 線\r\nいろはにほへと ちりぬるを");
    Part& flipped = put(1, 40, 18, "(つ )\r\n/ ＼");
    flipped.flip_h = true;
    Part& opaque = put(2, 30, 36, "ＡＢＣ\r\nxy");
    opaque.always_opaque = true;
    opaque.border_left = 4;
    opaque.border_right = 7;
    put(3, 0, 54, "&ttt;    透過  &ensp;&nbsp;&thinsp;.");
    Part& upside = put(4, 100, 0, "上\r\n下");
    upside.flip_v = true;
    check_page();
    if (out->report.slots[index_of(ErrorKind::inexact_blank)] == 0) check_composed_positions();
}

TEST_F(Browser, ExactPageLandsWhereItWasComposed) {
    // Gaps of 139 pixels or more always have an exact split; parts abut or lie far apart.
    put(0, 0, 0, "∧＿∧\r\n( ´∀｀)");
    put(1, 300, 0, "ｷﾀ━━━(ﾟ∀ﾟ)━━━!!");
    Part& box = put(2, 0, 54, "┏━━┓\r\n┃AA┃\r\n┗━━┛");
    box.always_opaque = true;
    box.border_left = 11;
    box.border_right = 16;
    Part& mirror = put(3, 400, 54, "(´・ω・`)つ");
    mirror.flip_h = true;
    const ErrorReport report = check_page();
    EXPECT_EQ(report.slots[index_of(ErrorKind::inexact_blank)], 0)
        << "choose positions that can be written exactly";
    check_composed_positions();
}

TEST_F(Browser, ExactFillPutsEveryCharacterInPlaceWhenNoRunIsUnreachable) {
    // Parts side by side with runs of 2 and 4 to 40 pixels between them, from the line's start on, some of
    // them merged with blanks of the parts' own text.
    const char* pieces[] = {"(´･ω･`)", "ﾉ", "A B", "∧＿∧", "｀", " i ", "ﾟ", "━", "!!"};
    const int starts[] = {0, 2, 4, 5, 9, 13};
    int gap = 2;
    for (int line = 0; line < 6; ++line) {
        int x = starts[line];
        for (int k = 0; k < 8; ++k) {
            Part& part = put(line * 8 + k, x, line * 18, pieces[(line + k) % 9]);
            part.box = measure_part(part, *widths);
            x = part.box.right + gap;
            gap = gap == 2 ? 4 : gap >= 40 ? 2 : gap + 1;
        }
    }
    RenderSettings settings = default_global_render_settings();
    render_page(*ws, *widths, docs->preview, nullptr, nullptr, 0, settings, *out);
    const std::size_t classic_bytes = out->length;
    EXPECT_EQ(share_in_place(BlankFill::exact, "reachable runs, exact fill"), 100.0);
    EXPECT_LT(out->length, classic_bytes);
}

TEST_F(Browser, ExactFillKeepsComposedAaInPlace) {
    // Pieces side by side, a few pixels apart or overlapping, at odd offsets: runs of every width are left
    // between them, 1 and 3 pixels included, as when AA is composed from a library.
    const char* cat = "　 ∧＿∧\r\n　（　´∀｀）\r\n　（　　　　）\r\n　｜ ｜　|\r\n　（_＿）＿）";
    const char* mona = "　　∧＿∧\r\n　 （´∀｀）\r\n　 (　　 つ\r\n　 ｜ ｜ |\r\n　 (＿_)＿)";
    const char* bubble = " ＿＿＿＿＿＿＿\r\n｜ こんにちは！｜\r\n￣￣￣ｖ￣￣￣";
    const char* face =
        "　　 ＿＿＿_\r\n　 ／　　 　 ＼\r\n／　 ─　 　 ─＼\r\n|　 （●）　（●） |\r\n"
        "＼ 　 （__人__）　／";
    const char* crowd = "ｷﾀ━━━(ﾟ∀ﾟ)━━━!!\r\n(´・ω・`)　ｼｮﾎﾞｰﾝ\r\n(　ﾟ∀ﾟ)o彡ﾟ ｵｯﾊﾟｲ!";
    struct Piece {
        const char* text;
        int after;  // the gap to the piece before it on its row; negative overlaps it
    };
    const std::vector<std::vector<Piece>> rows = {
        {{cat, 3}, {mona, 1}, {bubble, 3}, {face, -2}},
        {{face, 7}, {crowd, 5}, {cat, 3}},
        {{crowd, 6}, {mona, 9}, {bubble, 1}},
        {{bubble, 0}, {face, 3}, {crowd, 13}, {mona, -5}},
    };
    int slot = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        int x = 0;
        for (const Piece& p : rows[r]) {
            Part& part = put(slot, x + p.after, static_cast<int>(r) * 108 + (slot % 3) * 18, p.text);
            ++slot;
            part.box = measure_part(part, *widths);
            x = part.box.right;
        }
    }
    verbose_misses = false;
    share_in_place(BlankFill::classic, "AA, classic fill");
    EXPECT_GE(share_in_place(BlankFill::exact, "AA, exact fill"), 99.0);
}

// With renderunicodefill: parts side by side 1 and 3 pixels apart, runs no classic item can fill. They are
// filled with the Unicode spaces the font gives those widths, and every character lands where it was
// composed; after characters of fractional width, within half a pixel of it.
TEST_F(Browser, UnicodeFillPutsCharactersAfterOneAndThreePixelRunsInPlace) {
    const char* pieces[] = {"(´･ω･`)", "ﾉ", "A", "∧＿∧", "｀", "i", "ﾟ", "━━", "!!", "|"};
    const int runs[] = {1, 3, 1, 1, 3, 3, 1, 4, 3, 1, 7, 1};
    int slot = 0;
    for (int line = 0; line < kPartsPerPage / 10; ++line) {
        int x = line % 2 ? 1 : 3;
        for (int k = 0; k < 10; ++k, ++slot) {
            Part& part = put(slot, x, line * 18, pieces[(line + k) % 10]);
            part.box = measure_part(part, *widths);
            x = part.box.right + runs[slot % 12];
        }
    }
    const RenderSettings settings = default_global_render_settings();
    const auto layout = [&](BlankFill fill) {
        render_page(*ws, *widths, docs->preview, nullptr, nullptr, 0, settings, *out, fill);
        std::string html = html_header("browser.aap", "Monapo");
        write_html_text(html, std::string_view(out->text, out->length));
        html += html_footer();
        html += kMeasureScript;
        const fs::path page = dir / "page.html";
        EXPECT_TRUE(write_file_atomically(page.string(), html).ok);
        last_actual = browser_layout(page.string(), dir);
        return count_composed_positions();
    };
    verbose_misses = false;
    const auto [classic_in_place, total] = layout(BlankFill::exact);
    EXPECT_LT(classic_in_place, total);
    const std::size_t classic_bytes = out->length;

    verbose_misses = true;
    const auto [in_place, all] = layout(BlankFill::exact_unicode);
    EXPECT_EQ(in_place, all);
    EXPECT_EQ(out->report.slots[index_of(ErrorKind::inexact_blank)], 0);
    const std::string_view text(out->text, out->length);
    EXPECT_NE(text.find("&#8202;"), std::string_view::npos);  // U+200A, 1 pixel
    EXPECT_NE(text.find("&#8200;"), std::string_view::npos);  // U+2008, 3 pixels
    std::printf(
        "1- and 3-pixel runs: exact fill %d of %d characters in place, %zu bytes; with Unicode "
        "spaces %d, %zu bytes\n",
        classic_in_place, total, classic_bytes, in_place, out->length);

    // Two U+2006 (2.67 pixels, 3 on the page) put what follows them two thirds of a pixel early: the run
    // before "ok" is written a pixel wider, so that the browser puts it within half a pixel of its x.
    clear_preview(docs->preview);
    verbose_misses = false;
    Part& art = put(0, 0, 0, "(&#x2006;&#x2006;ﾟ");
    art.box = measure_part(art, *widths);
    put(1, art.box.right + 6, 0, "ok");
    const auto ok_offset = [&](BlankFill fill) {
        layout(fill);
        const double origin = last_actual.at(0).at(0).left;
        for (const Glyph& g : last_actual[0])
            if (g.code == 'o') return g.left - origin - static_cast<double>(art.box.right + 6 + 11);
        ADD_FAILURE() << "no o";
        return 0.0;
    };
    EXPECT_LT(std::abs(ok_offset(BlankFill::exact_unicode)), 0.5) << std::string_view(out->text, out->length);
    EXPECT_GT(std::abs(ok_offset(BlankFill::exact)), 0.5) << std::string_view(out->text, out->length);
}

// AA brought in from a board's UTF-8 template file, spaced with the web's spaces and references, then placed
// into the library by the import: rendered from there, every character lands where the canvas shows it.
TEST_F(Browser, ImportedAaKeepsItsCharactersInPlace) {
    const std::string mlt =
        "\u3000\u3000\u00a0\u2002∧＿∧\r\n\u3000\u00a0\u2009（\u00a0´∀｀）&#x2002;&#12354;\r\n"
        "\u3000\u3000（\u3000\u3000\u00a0つ\r\n[SPLIT]\r\n"
        "ｷﾀ━━━(ﾟ∀ﾟ)━━━!!\r\n&#160;&#160;(´・ω・`)&#8201;ｼｮﾎﾞｰﾝ\r\n";
    const AaReadResult read = read_aa_bytes(mlt, AaFormat::mlt);
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(read.report.unconvertible_count, 0u);
    const ImportFile files[] = {{"board.mlt", read.entries}};
    const ImportPlan plan = import_into_library(docs->library, files, *widths);
    ASSERT_TRUE(plan.ok) << plan.error;
    ASSERT_EQ(plan.placed.size(), 2u);
    copy_page(docs->preview.pages[0], docs->library.pages[0]);
    check_page(BlankFill::exact);
    EXPECT_EQ(out->report.slots[index_of(ErrorKind::inexact_blank)], 0);
    check_composed_positions();
}

// The blanks of a measured line: spaces of every kind, which the fills may write differently.
bool is_blank_unit(int code) {
    return code == ' ' || code == 0x3000 || is_unicode_space(static_cast<char32_t>(code));
}

// The glyphs of a line that are no blank, with x from the line's start (its leading full-width space).
std::vector<Glyph> characters_of(const std::vector<Glyph>& line) {
    std::vector<Glyph> out;
    for (const Glyph& g : line)
        if (!is_blank_unit(g.code)) out.push_back({g.code, g.left - line.front().left});
    return out;
}

// AA spaced with the Unicode spaces written as references (U+2005 4 px, U+200A 1, U+2009 2, U+2006 2.667,
// U+2004 5.334), some without their ";", and a speech bubble with a reference of its own to its right.
TEST_F(Browser, ReferencesLandWhereTheBrowserPutsThemInTheAasOwnText) {
    const std::vector<std::string> aa = {
        "&#x2005;&#x2005;∧＿∧",        "　&#x200A;（&#x2009;´∀｀）&#x2006;ｼｭｯ",
        "&#8197&#8202（　　&#x2006つ", "　 &#x2009|&#x200a;|&#x2005;&#x2005;&#x2005;",
        "&#x2006;&#x2004;(_&#8201;_)",
    };
    std::string aa_text, raw_text;
    for (const std::string& l : aa) {
        aa_text += (aa_text.empty() ? "" : "\r\n") + l;
        raw_text += "　" + l + "\r\n";
    }
    Part& art = put(0, 0, 0, aa_text);
    art.box = measure_part(art, *widths);
    Part& bubble = put(1, art.box.right + 9, 0,
                       "　 ＿＿＿＿＿＿＿\r\n（ &#x2661;ここにあるよ ）\r\n　 ￣￣￣ＶＶ￣￣￣\r\n\r\n   ok");
    bubble.box = measure_part(bubble, *widths);

    RenderSettings settings = default_global_render_settings();
    render_page(*ws, *widths, docs->preview, nullptr, nullptr, 0, settings, *out);
    const ErrorReport& report = out->report;
    EXPECT_EQ(report.slots[index_of(ErrorKind::inexact_blank)], 0) << "place the bubble where runs are exact";
    EXPECT_EQ(report.fractional_lines.to_string().substr(81 - 6), "101100");  // lines 2, 3 and 5
    auto layout_of = [&](std::string_view sjis, const char* name) {
        std::string html = html_header("browser.aap", "Monapo");
        write_html_text(html, sjis);
        html += html_footer();
        html += kMeasureScript;
        const fs::path page = dir / name;
        EXPECT_TRUE(write_file_atomically(page.string(), html).ok);
        return browser_layout(page.string(), dir);
    };
    const auto rendered = layout_of(std::string_view(out->text, out->length), "rendered.html");
    const Conversion raw = utf8_to_sjis(raw_text);
    ASSERT_TRUE(raw.ok);
    const auto alone = layout_of(raw.text, "alone.html");
    ASSERT_GE(rendered.size(), aa.size());
    ASSERT_EQ(alone.size(), aa.size());

    for (std::size_t l = 0; l < aa.size(); ++l) {
        const std::vector<Glyph> expected = characters_of(alone[l]);
        const std::vector<Glyph> actual = characters_of(rendered[l]);
        ASSERT_GE(actual.size(), expected.size()) << "line " << l + 1;
        // Every character of the AA where the browser puts it in the AA's own text.
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(actual[i].code, expected[i].code) << "line " << l + 1 << " item " << i;
            EXPECT_DOUBLE_EQ(actual[i].left, expected[i].left)
                << "line " << l + 1 << " U+" << std::hex << expected[i].code;
        }
        // Every character of the bubble where it was composed; after a character of fractional width
        // the browser puts it within the fraction, less than half a pixel, which the report names.
        RenderLine& line = ws->lines[l];
        const LineCell* cells = line.cells();
        std::size_t next = expected.size();
        for (int c = 0; c < line.size(); ++c) {
            if (cells[c].x < bubble.x || is_blank_code(cells[c].code)) continue;
            const std::string spelling = ws->references.spelling(cells[c].code);
            const int code = spelling.empty() ? sjis_code_to_unicode(cells[c].code)
                                              : static_cast<int>(match_reference(spelling, 0).code_point);
            ASSERT_LT(next, actual.size()) << "line " << l + 1;
            const Glyph& g = actual[next++];
            EXPECT_EQ(g.code, code) << "line " << l + 1;
            const double composed = static_cast<double>(cells[c].x + 11);
            if (report.fractional_lines.test(l + 1)) {
                EXPECT_NEAR(g.left, composed, 0.5) << "line " << l + 1 << " U+" << std::hex << code;
            } else {
                EXPECT_DOUBLE_EQ(g.left, composed) << "line " << l + 1 << " U+" << std::hex << code;
            }
        }
        EXPECT_EQ(next, actual.size()) << "line " << l + 1;
    }
}

}  // namespace
}  // namespace glyphora
